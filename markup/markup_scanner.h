#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <span>
#include <string_view>

#include "byte_string.h"

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
struct sgml_kind {
    byte_string terminator;    // the construct ends at a '>' with which the token ends in this
    bool quote_aware = false;  // a '>' inside quotes does not end the construct
    bool nesting = false;      // kept for the table; a '<' inside a construct is always plain
    bool escapes = false;      // inside quotes a backslash makes the next byte plain
};

// Splits angle-bracket markup into constructs and text runs. Kinds are the document node
// kinds: 1 start tag, 2 end tag, 4 declaration, 5 comment, 6 CDATA, 7 DOCTYPE, 8 ELEMENT,
// 9 ATTLIST, 10 ENTITY, 11 processing instruction, 12 server script, 13 hash block,
// 14 directive comment, 15 unknown markup. A construct of a kind that is not enabled
// stays text. Readers derive from it and override the three hooks.
class markup_scanner : public position_tracker {
  public:
    static constexpr int kind_count = 16;
    static constexpr int needs_input = 0;
    static constexpr int size_exceeded = 1;
    static constexpr int finished = 2;

    markup_scanner();

    // 0 needs more input, 1 queued input reached size_limit (nothing consumed), 2 finished
    // (on_end succeeded), or the first nonzero code of a hook.
    [[nodiscard]] int scan_step();

    // Bit k-1 enables kind k.
    void set_enabled_mask(uint32_t mask) { enabled_ = (mask << 1) & 0xFFFEu; }
    bool is_enabled(int kind) const {
        return kind > 0 && kind < kind_count && (enabled_ >> kind) & 1u;
    }
    void set_keep_text(bool on) { keep_text_ = on; }
    bool keep_text() const { return keep_text_; }
    // A kind outside 0 to 15 is ignored.
    void set_kind(int kind, std::string_view terminator, bool quote_aware, bool nesting,
                  bool escapes);
    // A kind outside 0 to 15 gives the unused entry 0.
    const sgml_kind& kind_entry(int kind) const {
        return kinds_[kind >= 0 && kind < kind_count ? kind : 0];
    }

    // The pending text run or the complete construct from its '<'. A hook may take over its
    // storage (byte_string::move_from); the scanner starts the next token afresh.
    byte_string& token() { return token_; }
    std::string_view token_view() const { return token_.view(); }
    // Kind of the construct being reported by on_construct.
    int kind() const { return kind_; }

  protected:
    // Called at the end of the input when end_of_input is set: forgets the read position,
    // counts every chunk as read through, reports the pending token through on_text and
    // returns its code, or 2.
    virtual int on_end();
    // A text run is in token(); also an unterminated construct at the end of the input.
    virtual int on_text() { return 0; }
    // A complete construct is in token(), its kind in kind().
    virtual int on_construct() { return 0; }

  private:
    void start_construct();
    void finish_construct();
    void classify(int c);
    void end_classification();
    void load_kind(int kind);
    void skip_plain();

    std::array<sgml_kind, kind_count> kinds_;
    uint32_t enabled_ = 0;  // bit k for kind k
    bool keep_text_ = true;

    byte_string token_;
    int kind_ = 0;
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
