#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "byte_string.h"
#include "chunk_queue.h"
#include "construct_kind.h"

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

    // The driving protocol of a reader. Queues the chunk through push_chunk, scans what it
    // completes and drops the input read through.
    [[nodiscard]] scan_status feed(std::string_view chunk);
    // Sets end_of_input and scans to the end of the input.
    [[nodiscard]] scan_status feed_end();
    // Feeds the text in chunks of `chunk_size` bytes (at least 1) up to the first status other
    // than needs_input, and then, when none came, the end.
    [[nodiscard]] scan_status feed_all(std::string_view text, size_t chunk_size);

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
    // scan_step, then drops the input read through.
    scan_status scan_and_release();

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

    // Whether the token ends with the loaded terminator, past the construct's '<'.
    bool ends_construct() const;
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
struct named_entity {
    std::string_view name;
    char value;
};
std::span<const named_entity> named_entities();
// The character of an entity name ("amp" gives '&'), or -1.
int entity_char(std::string_view name);

// Lenient HTML sources: tags, declarations, comments, DOCTYPE and directive comments.
void configure_for_html(markup_scanner& scanner);
// Tagged-value files: tags, comments, CDATA and processing instructions.
void configure_for_tagged_values(markup_scanner& scanner);
// Templates: only directive comments "<!--# ... -->", quotes and escapes respected.
void configure_for_templates(markup_scanner& scanner);
