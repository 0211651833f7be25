#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <span>
#include <string_view>

#include "byte_string.h"
#include "construct_kind.h"

// Input queue of a streaming reader: chunks in arrival order, read one byte at a time.
// The read position names the byte returned last; reading past the last queued chunk
// leaves the position there, so chunks pushed later continue the input seamlessly.
class chunk_queue {
  public:
    static constexpr int end_of_data = -1;  // input exhausted and end_of_input set
    static constexpr int need_more = -2;    // input exhausted, more chunks may come

    chunk_queue() = default;
    chunk_queue(const chunk_queue&) = delete;
    chunk_queue& operator=(const chunk_queue&) = delete;
    virtual ~chunk_queue() = default;

    // Queues a copy of the bytes; the caller's buffer may be reused at once.
    virtual void push_chunk(std::string_view text);
    // Forgets the read position: the next read starts at the first queued chunk.
    virtual void rewind();

    // Next byte (0 to 255), end_of_data or need_more.
    int next_char() {
        if (pos_ + 1 < cur_len_) {
            ++pos_;
            ++chars_read_;
            return static_cast<unsigned char>(cur_data_[pos_]);
        }
        return next_char_slow();
    }

    // Drops the first chunk when it has been read through; false when there is none.
    bool release_consumed();

    void set_end_of_input(bool on) { end_of_input_ = on; }
    bool end_of_input() const { return end_of_input_; }
    void set_size_limit(int32_t limit) { size_limit_ = limit; }
    int32_t size_limit() const { return size_limit_; }
    int64_t chars_read() const { return chars_read_; }
    int32_t released_pending() const { return released_pending_; }
    int32_t chunk_count() const { return static_cast<int32_t>(chunks_.size()); }
    // Bytes of all queued chunks, read or not.
    int64_t queued_bytes() const { return queued_bytes_; }

  protected:
    // Takes over a chunk that is already in its final form (for push_chunk overrides).
    void queue_chunk(byte_string&& chunk);
    // Unread bytes of the current chunk after the position; valid until the next read or push.
    std::string_view lookahead() const {
        if (pos_ + 1 >= cur_len_) return {};
        return {cur_data_ + pos_ + 1, static_cast<size_t>(cur_len_ - pos_ - 1)};
    }
    // Counts n bytes of lookahead() as returned.
    void skip(int32_t n) {
        pos_ += n;
        chars_read_ += n;
    }
    // Counts every queued chunk as read through, so release_consumed drops them all.
    void mark_all_read_through() { released_pending_ = chunk_count(); }

  private:
    int next_char_slow();
    void enter_chunk(int32_t index);

    std::deque<byte_string> chunks_;
    int32_t cur_ = -1;  // index of the current chunk; -1 before the first read
    const char* cur_data_ = nullptr;
    int32_t cur_len_ = 0;
    int32_t pos_ = 0;
    int32_t released_pending_ = 0;
    int64_t chars_read_ = 0;
    int64_t queued_bytes_ = 0;
    int32_t size_limit_ = 65536;
    bool end_of_input_ = false;
};

// Adds the position of the byte returned last: a line feed starts a new line at column 0,
// every other byte (a carriage return too) moves one column on.
class position_tracker : public chunk_queue {
  public:
    // Hides chunk_queue::next_char: reads through the lexer keep line and column.
    int next_char() {
        int c = chunk_queue::next_char();
        if (c == '\n') {
            ++line_;
            column_ = 0;
        } else if (c >= 0) {
            ++column_;
        }
        return c;
    }

    int64_t line() const { return line_; }
    int64_t column() const { return column_; }

  protected:
    // skip() that keeps line and column as n single reads would.
    void skip_counted(int32_t n);

  private:
    int64_t line_ = 1;
    int64_t column_ = 0;
};

// How the scanner ends and treats a construct of one kind.
struct construct_rule {
    byte_string terminator;    // the construct ends at a '>' with which the token ends in this
    bool quote_aware = false;  // a '>' inside quotes does not end the construct
    bool nesting = false;      // kept for the table; a '<' inside a construct is always plain
    bool escapes = false;      // inside quotes a backslash makes the next byte plain
};

// Where a scan step stopped.
enum class scan_status : uint8_t {
    needs_input,    // the queued input is read; more chunks or the end may follow
    size_exceeded,  // queued input reached size_limit; nothing was consumed
    finished,       // the end of the input was reached and on_end succeeded
    stopped,        // a hook stopped the scan; the reader tells why
};

// Splits angle-bracket markup into constructs and text runs, each construct of one
// construct_kind from start_tag to unknown_markup (empty_tag is never detected, only
// configured). A construct of a kind that is not enabled stays text. Readers derive from it
// and override the three hooks.
class markup_scanner : public position_tracker {
  public:
    markup_scanner();

    [[nodiscard]] scan_status scan_step();

    void set_enabled(construct_set kinds) { enabled_ = kinds; }
    bool is_enabled(construct_kind kind) const { return enabled_.contains(kind); }
    void set_keep_text(bool on) { keep_text_ = on; }
    bool keep_text() const { return keep_text_; }
    // A kind without a rule (placeholder, text) is ignored.
    void set_rule(construct_kind kind, const construct_rule& rule);
    // A kind without a rule gives an empty rule.
    const construct_rule& rule(construct_kind kind) const { return rules_[rule_index(kind)]; }

    // The pending text run or the complete construct from its '<'. A hook may take over its
    // storage (byte_string::move_from); the scanner starts the next token afresh.
    byte_string& token() { return token_; }
    std::string_view token_view() const { return token_.view(); }
    // Kind of the construct being reported by on_construct.
    construct_kind kind() const { return kind_; }

  protected:
    // Called at the end of the input when end_of_input is set: forgets the read position,
    // counts every chunk as read through and reports the pending token through on_text;
    // finished, or stopped when on_text stopped the scan.
    virtual scan_status on_end();
    // A text run is in token(); also an unterminated construct at the end of the input.
    // False stops the scan.
    virtual bool on_text() { return true; }
    // A complete construct is in token(), its kind in kind(). False stops the scan.
    virtual bool on_construct() { return true; }

  private:
    static constexpr size_t rule_count = 16;
    static size_t rule_index(construct_kind kind) {
        const auto index = static_cast<size_t>(kind);
        return index < rule_count ? index : 0;
    }

    void start_construct();
    void finish_construct();
    void classify(int c);
    void end_classification();
    void load_rule(construct_kind kind);
    void skip_plain();

    std::array<construct_rule, rule_count> rules_;
    construct_set enabled_;
    bool keep_text_ = true;

    byte_string token_;
    construct_kind kind_ = construct_kind::placeholder;
    uint32_t candidates_ = 0;  // keywords a "<!" construct may still spell
    bool in_markup_ = false;
    bool classifying_ = false;
    bool in_single_quotes_ = false;
    bool in_double_quotes_ = false;
    bool escape_next_ = false;
    std::string_view terminator_;  // of the loaded kind, or ">" while classifying
    bool quote_aware_ = false;
    bool escapes_ = false;
};

// Named character references the strict reader decodes; names are case-sensitive.
struct sgml_entity {
    std::string_view name;
    char value;
};
std::span<const sgml_entity> sgml_entities();
// The character of an entity name ("amp" gives '&'), or -1.
int entity_char(std::string_view name);

// Lenient HTML sources: tags, declarations, comments, DOCTYPE and directive comments.
void configure_html(markup_scanner& scanner);
// Tagged-value files: tags, comments, CDATA and processing instructions.
void configure_strict(markup_scanner& scanner);
// Templates: only directive comments "<!--# ... -->", quotes and escapes respected.
void configure_template(markup_scanner& scanner);
