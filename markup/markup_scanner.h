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
    // Quotes count only around an attribute value, as in an HTML start tag: a '>' inside a
    // quoted value does not end the construct, and an apostrophe in a name opens nothing.
    bool attribute_quotes = false;
    // "--!>" ends the construct as well, once past its "<!--", as it does an HTML comment.
    bool bang_ends_comment = false;
};

// How the content of an element read as raw text ends (see markup_scanner::read_raw_text).
enum class raw_text_kind : uint8_t {
    none,
    plain,   // at the element's end tag
    script,  // the same, except inside "<!--" and a "<script" there, as browsers read scripts
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
    // Tags open as in HTML: a tag name starts with an ASCII letter ("<:x>" is text), and a '<'
    // right after a construct's '<' starts the construct over, the first one being text.
    void set_html_tag_open(bool on) { html_tag_open_ = on; }
    bool keep_text() const { return keep_text_; }
    // A run of plain text that reaches this many bytes goes to on_text at once, in pieces, so that
    // the token never holds more; 0, the default, reports every run whole. For a reader whose
    // nodes view the input rather than the token.
    void set_text_piece_limit(int32_t bytes) { text_piece_limit_ = bytes; }
    // A kind without a rule (placeholder, text) is ignored.
    void set_rule(construct_kind kind, const construct_rule& rule);
    // A kind without a rule gives an empty rule.
    const construct_rule& rule(construct_kind kind) const { return rules_[rule_index(kind)]; }

    // Called by on_construct for the start tag of a raw text element: from the next byte on all
    // is text up to an end tag named `element` (lower-case letters, matched in either case)
    // followed by white space, '/' or '>', which starts the next construct. `element` must
    // outlive the scan; an empty name never ends, so the rest of the input is text.
    void read_raw_text(std::string_view element, raw_text_kind kind);

    // The pending text run or the complete construct from its '<'. A hook may take over its
    // storage (byte_string::move_from); the scanner starts the next token afresh.
    byte_string& token() { return token_; }
    std::string_view token_view() const { return token_.view(); }
    // Where the token ends in the whole input, as a count of the bytes before its end: the token
    // is the bytes right before it. Set for each hook.
    int64_t token_end() const { return token_end_; }
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
    // A start tag under attribute_quotes: where in the tag the scanner is, as far as quotes
    // are concerned. Any '>' outside a quoted value ends the tag.
    enum class tag_state : uint8_t {
        tag_name,
        before_name,
        name,
        after_name,
        before_value,
        unquoted,
        double_quoted,
        single_quoted,
    };
    static constexpr tag_state next_tag_state(tag_state state, char c);
    // How many bytes ahead leave a start tag open: up to its first '>' outside a quoted value.
    // Moves tag_state_ past them.
    size_t tag_plain_length(std::string_view ahead);
    bool in_quoted_value() const {
        return tag_state_ == tag_state::double_quoted || tag_state_ == tag_state::single_quoted;
    }
    // Raw text: the states of a browser's script reading; a plain element uses the first four.
    enum class raw_state : uint8_t {
        data,
        less_than,
        end_open,
        end_name,
        escape_start,
        escape_start_dash,
        escaped,
        escaped_dash,
        escaped_dash_dash,
        escaped_less_than,
        escaped_end_open,
        escaped_end_name,
        double_escape_start,
        double_escaped,
        double_escaped_dash,
        double_escaped_dash_dash,
        double_escaped_less_than,
        double_escape_end,
    };
    // Takes the raw text byte just appended; true when it ends an end tag of the element.
    bool step_raw_text(char c);
    size_t raw_plain_length(std::string_view ahead) const;
    bool step_escaped(char c);
    bool step_double_escaped(char c);
    // After "</" in raw text: the byte is part of the name, ends raw text, or is to be read
    // again in the state the text goes on in.
    enum class end_tag_step : uint8_t { taken, ends, again };
    end_tag_step step_end_tag(char c, raw_state name, raw_state fallback);
    void start_name(raw_state next);
    void match_name(char c);
    bool name_matches() const { return !name_mismatch_ && name_matched_ == raw_name_.size(); }
    // Reports the raw text before the end tag and makes the end tag the current construct.
    bool start_raw_end_tag();

    std::array<construct_rule, rule_count> rules_;
    construct_set enabled_;
    bool keep_text_ = true;
    bool html_tag_open_ = false;
    int32_t text_piece_limit_ = 0;

    byte_string token_;
    int64_t token_end_ = 0;
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
    bool attribute_quotes_ = false;
    bool bang_ends_comment_ = false;
    tag_state tag_state_ = tag_state::tag_name;

    raw_text_kind raw_kind_ = raw_text_kind::none;
    raw_state raw_state_ = raw_state::data;
    std::string_view raw_name_;
    // Where the '<' of a possible end tag stands in the token.
    int32_t raw_tag_at_ = 0;
    // Letters of the possible end tag's name that matched the element's, and whether one did not.
    size_t name_matched_ = 0;
    bool name_mismatch_ = false;
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
