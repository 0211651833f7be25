#include "markup_scanner.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <utility>

namespace {

struct default_rule {
    construct_kind kind;
    const char* terminator;
    bool quote_aware;
    bool nesting;
    bool escapes;
};

constexpr default_rule default_rules[] = {
    {construct_kind::start_tag, "#>", true, true, false},
    {construct_kind::end_tag, "#>", false, false, false},
    {construct_kind::empty_tag, "/>", true, true, false},
    {construct_kind::declaration, "#>", false, true, false},
    {construct_kind::comment, "#>", true, true, false},
    {construct_kind::cdata, "]]>", false, false, false},
    {construct_kind::doctype, "#>", false, true, false},
    {construct_kind::element_decl, "#>", false, false, false},
    {construct_kind::attlist_decl, "#>", false, false, false},
    {construct_kind::entity_decl, "#>", false, false, false},
    {construct_kind::processing_instruction, "?>", true, false, true},
    {construct_kind::server_script, "%>", true, false, true},
    {construct_kind::hash_block, "#>", true, false, true},
    {construct_kind::directive_comment, "-->", true, false, true},
    {construct_kind::unknown_markup, "#>", false, true, false},
};

// Keywords a "<!" construct may go on to spell, one bit each.
enum : uint32_t {
    word_comment = 1,
    word_attlist = 2,
    word_doctype = 4,
    word_element = 8,
    word_entity = 16,
    word_cdata = 32,
};

// One allowed byte at one position of "<!..." for some keyword. The set of keywords is not
// narrowed as bytes arrive, so "<!ELTITY" spells an ENTITY as well as "<!ENTITY" does.
struct keyword_step {
    int position;
    char byte;
    uint32_t words;
    construct_kind kind;  // placeholder keeps the kind reached so far
    bool ends;
};

constexpr keyword_step keyword_steps[] = {
    {3, '-', word_comment, construct_kind::comment, false},
    {3, 'C', word_cdata, construct_kind::placeholder, false},
    {3, 'L', word_element, construct_kind::placeholder, false},
    {3, 'N', word_entity, construct_kind::placeholder, false},
    {3, 'O', word_doctype, construct_kind::placeholder, false},
    {3, 'T', word_attlist, construct_kind::placeholder, false},
    {4, '#', word_comment, construct_kind::directive_comment, true},
    {4, 'C', word_doctype, construct_kind::placeholder, false},
    {4, 'D', word_cdata, construct_kind::placeholder, false},
    {4, 'E', word_element, construct_kind::placeholder, false},
    {4, 'T', word_attlist | word_entity, construct_kind::placeholder, false},
    {5, 'A', word_cdata, construct_kind::placeholder, false},
    {5, 'I', word_entity, construct_kind::placeholder, false},
    {5, 'L', word_attlist, construct_kind::placeholder, false},
    {5, 'M', word_element, construct_kind::placeholder, false},
    {5, 'T', word_doctype, construct_kind::placeholder, false},
    {6, 'E', word_element, construct_kind::placeholder, false},
    {6, 'I', word_attlist, construct_kind::placeholder, false},
    {6, 'T', word_cdata | word_entity, construct_kind::placeholder, false},
    {6, 'Y', word_doctype, construct_kind::placeholder, false},
    {7, 'A', word_cdata, construct_kind::placeholder, false},
    {7, 'N', word_element, construct_kind::placeholder, false},
    {7, 'P', word_doctype, construct_kind::placeholder, false},
    {7, 'S', word_attlist, construct_kind::placeholder, false},
    {7, 'Y', word_entity, construct_kind::entity_decl, true},
    {8, 'E', word_doctype, construct_kind::doctype, true},
    {8, 'T', word_element, construct_kind::element_decl, true},
    {8, 'T', word_attlist, construct_kind::attlist_decl, true},
    {8, '[', word_cdata, construct_kind::cdata, true},
};
constexpr int last_keyword_position = 8;

// Bytes that need a look inside a quote-aware or escaping construct: " ' \ >
constexpr auto quote_stops = [] {
    std::array<bool, 256> table{};
    for (unsigned char c : {'"', '\'', '\\', '>'})
        table[c] = true;
    return table;
}();

bool is_ascii_letter(int c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// White space between the parts of an HTML tag.
constexpr bool is_tag_blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

// What may follow the name of an end tag that ends raw text.
bool is_name_end(char c) {
    return is_tag_blank(c) || c == '/' || c == '>';
}

constexpr named_entity entities[] = {
    {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"apos", '\''}, {"quot", '"'},
};

}  // namespace

constexpr markup_scanner::tag_state markup_scanner::next_tag_state(tag_state state, char c) {
    using enum tag_state;
    const bool blank = is_tag_blank(c);
    switch (state) {
        case tag_name:
            return blank || c == '/' ? before_name : tag_name;
        case before_name:
            return blank || c == '/' ? before_name : name;
        case name:
        case after_name:
            if (c == '=') return before_value;
            if (c == '/') return before_name;
            if (blank) return after_name;
            return name;
        case before_value:
            if (blank) return before_value;
            if (c == '"') return double_quoted;
            return c == '\'' ? single_quoted : unquoted;
        case unquoted:
            return blank ? before_name : unquoted;
        case double_quoted:
            return c == '"' ? before_name : double_quoted;
        case single_quoted:
            return c == '\'' ? before_name : single_quoted;
    }
    return state;
}

size_t markup_scanner::tag_plain_length(std::string_view ahead) {
    // one look-up a byte; a quoted value goes to its closing quote at once
    static constexpr auto steps = [] {
        std::array<std::array<tag_state, 256>, 8> table{};
        for (size_t state = 0; state < table.size(); ++state)
            for (size_t c = 0; c < 256; ++c)
                table[state][c] =
                    next_tag_state(static_cast<tag_state>(state), static_cast<char>(c));
        return table;
    }();
    const char* const begin = ahead.data();
    const char* const end = begin + ahead.size();
    const char* p = begin;
    tag_state state = tag_state_;
    while (p < end) {
        if (state == tag_state::double_quoted || state == tag_state::single_quoted) {
            const char quote = state == tag_state::double_quoted ? '"' : '\'';
            const void* closing = std::memchr(p, quote, static_cast<size_t>(end - p));
            if (!closing) {
                p = end;
                break;
            }
            p = static_cast<const char*>(closing) + 1;
            state = tag_state::before_name;
            continue;
        }
        if (*p == '>') break;
        state = steps[static_cast<size_t>(state)][static_cast<unsigned char>(*p)];
        ++p;
    }
    tag_state_ = state;
    return static_cast<size_t>(p - begin);
}

markup_scanner::markup_scanner() {
    for (const default_rule& d : default_rules)
        set_rule(d.kind, {d.terminator, d.quote_aware, d.nesting, d.escapes});
}

void markup_scanner::set_rule(construct_kind kind, const construct_rule& rule) {
    const size_t index = rule_index(kind);
    if (index == 0) return;
    rules_[index] = rule;
    // the loaded terminator views the rule's text, which was just replaced
    if (in_markup_ && !classifying_ && kind_ == kind) load_rule(kind);
}

scan_status markup_scanner::scan_step() {
    if (queued_bytes() >= size_limit()) return scan_status::size_exceeded;
    for (;;) {
        // while a construct is being classified every byte needs a look
        if (!escape_next_ && !(in_markup_ && classifying_)) skip_plain();
        if (text_piece_limit_ > 0 && !in_markup_ && raw_kind_ == raw_text_kind::none &&
            token_.length() >= text_piece_limit_) {
            // the piece ends with the byte read last
            token_end_ = chars_read();
            const bool go_on = on_text();
            token_.clear();
            if (!go_on) return scan_status::stopped;
        }
        const int c = next_char();
        if (c < 0) return c == need_more ? scan_status::needs_input : on_end();
        const char byte = static_cast<char>(c);
        if (escape_next_) {
            escape_next_ = false;
            token_.push(byte);
            continue;
        }
        if (raw_kind_ != raw_text_kind::none && !in_markup_) {
            token_.push(byte);
            if (!step_raw_text(byte)) continue;
            if (!start_raw_end_tag()) return scan_status::stopped;
            // "</script>": the end tag is complete already
            if (c != '>') continue;
            token_end_ = chars_read();
            const bool go_on = on_construct();
            finish_construct();
            if (!go_on) return scan_status::stopped;
            continue;
        }
        // "a <<h1>": the first '<' is text
        const bool starts_over = html_tag_open_ && in_markup_ && token_.length() == 1;
        if (c == '<' && (!in_markup_ || starts_over)) {
            token_end_ = chars_read() - 1;
            const bool go_on = !keep_text_ || on_text();
            // started even when stopped, so that the '<' is not lost to a later step
            start_construct();
            if (!go_on) return scan_status::stopped;
            continue;
        }
        if (in_markup_ || keep_text_) token_.push(byte);
        // outside markup only a '<' matters
        if (!in_markup_) continue;
        if (attribute_quotes_ && !classifying_ && (c != '>' || in_quoted_value())) {
            tag_state_ = next_tag_state(tag_state_, byte);
            continue;
        }
        const bool in_quotes = in_single_quotes_ || in_double_quotes_;
        if (c == '"' && !in_single_quotes_) {
            in_double_quotes_ = !in_double_quotes_;
        } else if (c == '\'') {
            if (!in_double_quotes_) in_single_quotes_ = !in_single_quotes_;
        } else if (c == '\\') {
            escape_next_ = escapes_ && in_quotes;
        } else if (c == '>' && !(quote_aware_ && in_quotes) && ends_construct()) {
            token_end_ = chars_read();
            const bool go_on = on_construct();
            finish_construct();
            if (!go_on) return scan_status::stopped;
            continue;
        }
        if (classifying_) classify(c);
    }
}

scan_status markup_scanner::scan_and_release() {
    const scan_status status = scan_step();
    while (release_consumed()) {
    }
    return status;
}

scan_status markup_scanner::feed(std::string_view chunk) {
    push_chunk(chunk);
    return scan_and_release();
}

scan_status markup_scanner::feed_end() {
    set_end_of_input(true);
    return scan_and_release();
}

scan_status markup_scanner::feed_all(std::string_view text, size_t chunk_size) {
    for (size_t at = 0; at < text.size(); at += chunk_size) {
        const scan_status status = feed(text.substr(at, chunk_size));
        if (status != scan_status::needs_input) return status;
    }
    return feed_end();
}

// Takes as many bytes of the current chunk as need no single look, exactly as the byte
// loop would: text up to the next '<', the inside of a construct up to its next '>' (or up
// to the next quote or backslash where those matter). Not while a construct is classified,
// whose every byte needs a look.
void markup_scanner::skip_plain() {
    const std::string_view ahead = lookahead();
    if (ahead.empty()) return;
    const char* begin = ahead.data();
    size_t n = ahead.size();
    if (!in_markup_ && raw_kind_ != raw_text_kind::none) {
        n = raw_plain_length(ahead);
    } else if (in_markup_ && attribute_quotes_) {
        n = tag_plain_length(ahead);
    } else if (!in_markup_ || (!quote_aware_ && !escapes_)) {
        // outside markup only '<' counts; inside, quotes matter to neither '>' nor '\'
        const void* stop = std::memchr(begin, in_markup_ ? '>' : '<', n);
        if (stop) n = static_cast<size_t>(static_cast<const char*>(stop) - begin);
    } else {
        size_t i = 0;
        while (i < n && !quote_stops[static_cast<unsigned char>(begin[i])])
            ++i;
        n = i;
    }
    if (text_piece_limit_ > 0 && !in_markup_ && raw_kind_ == raw_text_kind::none) {
        // a piece of long text ends at a fixed distance from its start, however the input is cut
        n = std::min(n, static_cast<size_t>(std::max(0, text_piece_limit_ - token_.length())));
    }
    if (n == 0) return;
    if (in_markup_ || keep_text_) token_.append(begin, static_cast<int32_t>(n));
    skip_counted(static_cast<int32_t>(n));
}

bool markup_scanner::ends_construct() const {
    // called at the '>' just taken: most constructs end at the first, and need no comparison
    if (terminator_ == ">") return token_.length() > 1;
    if (token_.length() > static_cast<int32_t>(terminator_.size()) && token_.ends_with(terminator_))
        return true;
    // "<!--!>" is no end: the dashes must follow the "<!--"
    constexpr std::string_view bang_end = "--!>";
    return bang_ends_comment_ && token_.length() >= 8 && token_.ends_with(bang_end);
}

void markup_scanner::start_construct() {
    token_.clear();
    token_.push('<');
    in_markup_ = true;
    kind_ = construct_kind::unknown_markup;
    classifying_ = true;
    candidates_ = 0;
    in_single_quotes_ = false;
    in_double_quotes_ = false;
    escape_next_ = false;
    // until the kind is settled any '>' ends the construct
    terminator_ = ">";
    quote_aware_ = false;
    escapes_ = false;
    attribute_quotes_ = false;
    bang_ends_comment_ = false;
}

void markup_scanner::finish_construct() {
    in_markup_ = false;
    classifying_ = false;
    escape_next_ = false;
    token_.clear();
}

void markup_scanner::classify(int c) {
    const int32_t length = token_.length();
    if (length == 2) {
        switch (c) {
            case '!':
                kind_ = construct_kind::declaration;
                return;
            case '#':
                kind_ = construct_kind::hash_block;
                break;
            case '%':
                kind_ = construct_kind::server_script;
                break;
            case '/':
                kind_ = construct_kind::end_tag;
                break;
            case '?':
                kind_ = construct_kind::processing_instruction;
                break;
            default:
                kind_ = is_ascii_letter(c) || (!html_tag_open_ && (c == ':' || c == '_'))
                            ? construct_kind::start_tag
                            : construct_kind::unknown_markup;
                break;
        }
        end_classification();
        return;
    }
    if (length == 3) {
        switch (c) {
            case '-':
                candidates_ = word_comment;
                return;
            case 'A':
                candidates_ = word_attlist;
                return;
            case 'D':
                candidates_ = word_doctype;
                return;
            case 'E':
                candidates_ = word_element | word_entity;
                return;
            case '[':
                candidates_ = word_cdata;
                return;
            default:
                end_classification();
                return;
        }
    }
    const int position = length - 1;
    for (const keyword_step& step : keyword_steps) {
        if (step.position != position || step.byte != c || !(step.words & candidates_)) continue;
        if (step.kind != construct_kind::placeholder) kind_ = step.kind;
        if (step.ends || position == last_keyword_position) end_classification();
        return;
    }
    end_classification();
}

void markup_scanner::end_classification() {
    classifying_ = false;
    if (!is_enabled(kind_)) {
        // the collected bytes go on as text
        in_markup_ = false;
        escape_next_ = false;
        if (!keep_text_) token_.clear();
        return;
    }
    load_rule(kind_);
}

void markup_scanner::load_rule(construct_kind kind) {
    const construct_rule& entry = rules_[rule_index(kind)];
    terminator_ = entry.terminator.view();
    quote_aware_ = entry.quote_aware;
    escapes_ = entry.escapes;
    attribute_quotes_ = entry.attribute_quotes;
    bang_ends_comment_ = entry.bang_ends_comment;
    tag_state_ = tag_state::tag_name;
}

void markup_scanner::read_raw_text(std::string_view element, raw_text_kind kind) {
    // the raw text and the end tag are told apart in the token
    assert(keep_text_);
    raw_kind_ = kind;
    raw_name_ = element;
    raw_state_ = raw_state::data;
}

// How many bytes ahead leave the raw text state as it is: text up to a '<', and in a script's
// escaped stretches up to a '-' as well.
size_t markup_scanner::raw_plain_length(std::string_view ahead) const {
    using enum raw_state;
    if (raw_state_ == data) {
        const void* stop = std::memchr(ahead.data(), '<', ahead.size());
        return stop ? static_cast<size_t>(static_cast<const char*>(stop) - ahead.data())
                    : ahead.size();
    }
    if (raw_state_ != escaped && raw_state_ != double_escaped) return 0;
    size_t i = 0;
    while (i < ahead.size() && ahead[i] != '<' && ahead[i] != '-')
        ++i;
    return i;
}

void markup_scanner::start_name(raw_state next) {
    raw_state_ = next;
    name_matched_ = 0;
    name_mismatch_ = false;
}

void markup_scanner::match_name(char c) {
    const char lower = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    if (name_matched_ < raw_name_.size() && raw_name_[name_matched_] == lower) {
        ++name_matched_;
    } else {
        name_mismatch_ = true;
    }
}

bool markup_scanner::step_raw_text(char c) {
    using enum raw_state;
    for (;;) {
        switch (raw_state_) {
            case data:
                if (c == '<') {
                    raw_state_ = less_than;
                    raw_tag_at_ = token_.length() - 1;
                }
                return false;
            case less_than:
                if (c == '/') {
                    raw_state_ = end_open;
                    return false;
                }
                if (c == '!' && raw_kind_ == raw_text_kind::script) {
                    raw_state_ = escape_start;
                    return false;
                }
                raw_state_ = data;
                continue;
            case end_open:
            case end_name: {
                const end_tag_step step = step_end_tag(c, end_name, data);
                if (step == end_tag_step::again) continue;
                return step == end_tag_step::ends;
            }
            case escape_start:
            case escape_start_dash:
                if (c == '-') {
                    raw_state_ = raw_state_ == escape_start ? escape_start_dash : escaped_dash_dash;
                    return false;
                }
                raw_state_ = data;
                continue;
            default:
                if (raw_state_ >= double_escape_start) return step_double_escaped(c);
                return step_escaped(c);
        }
    }
}

// Inside a script's "<!--": an end tag still ends the script, "-->" leaves the stretch.
bool markup_scanner::step_escaped(char c) {
    using enum raw_state;
    for (;;) {
        switch (raw_state_) {
            case escaped:
            case escaped_dash:
            case escaped_dash_dash:
                if (c == '<') {
                    raw_state_ = escaped_less_than;
                    raw_tag_at_ = token_.length() - 1;
                } else if (c == '-') {
                    raw_state_ = raw_state_ == escaped ? escaped_dash : escaped_dash_dash;
                } else {
                    raw_state_ = c == '>' && raw_state_ == escaped_dash_dash ? data : escaped;
                }
                return false;
            case escaped_less_than:
                if (c == '/') {
                    raw_state_ = escaped_end_open;
                    return false;
                }
                if (is_ascii_letter(c)) {
                    start_name(double_escape_start);
                    return step_double_escaped(c);
                }
                raw_state_ = escaped;
                continue;
            case escaped_end_open:
            case escaped_end_name: {
                const end_tag_step step = step_end_tag(c, escaped_end_name, escaped);
                if (step == end_tag_step::again) continue;
                return step == end_tag_step::ends;
            }
            default:
                return step_raw_text(c);
        }
    }
}

// Inside "<!--" after a "<script": up to a "</script" nothing ends the script.
bool markup_scanner::step_double_escaped(char c) {
    using enum raw_state;
    for (;;) {
        switch (raw_state_) {
            case double_escape_start:
            case double_escape_end:
                if (is_ascii_letter(c)) {
                    match_name(c);
                    return false;
                }
                if (is_name_end(c)) {
                    const bool opens = raw_state_ == double_escape_start;
                    raw_state_ = name_matches() == opens ? double_escaped : escaped;
                    return false;
                }
                raw_state_ = raw_state_ == double_escape_start ? escaped : double_escaped;
                return raw_state_ == escaped ? step_escaped(c) : step_double_escaped(c);
            case double_escaped:
            case double_escaped_dash:
            case double_escaped_dash_dash:
                if (c == '<') {
                    raw_state_ = double_escaped_less_than;
                } else if (c == '-') {
                    raw_state_ = raw_state_ == double_escaped ? double_escaped_dash
                                                              : double_escaped_dash_dash;
                } else {
                    raw_state_ =
                        c == '>' && raw_state_ == double_escaped_dash_dash ? data : double_escaped;
                }
                return false;
            case double_escaped_less_than:
                if (c == '/') {
                    start_name(double_escape_end);
                    return false;
                }
                raw_state_ = double_escaped;
                continue;
            default:
                return step_escaped(c);
        }
    }
}

// Right after "</" or in the name after it.
markup_scanner::end_tag_step markup_scanner::step_end_tag(char c, raw_state name,
                                                          raw_state fallback) {
    if (raw_state_ != name) {
        if (!is_ascii_letter(c)) {
            raw_state_ = fallback;
            return end_tag_step::again;
        }
        start_name(name);
    }
    if (is_ascii_letter(c)) {
        match_name(c);
        return end_tag_step::taken;
    }
    if (is_name_end(c) && name_matches()) return end_tag_step::ends;
    raw_state_ = fallback;
    return end_tag_step::again;
}

bool markup_scanner::start_raw_end_tag() {
    // "</" and the longest raw text element's name with the byte after it
    std::array<char, 16> tail{};
    const auto length = static_cast<size_t>(token_.length() - raw_tag_at_);
    assert(length <= tail.size() && is_enabled(construct_kind::end_tag));
    std::memcpy(tail.data(), token_.view().data() + raw_tag_at_, length);
    token_.set_length(raw_tag_at_);
    raw_kind_ = raw_text_kind::none;
    token_end_ = chars_read() - static_cast<int64_t>(length);
    const bool go_on = on_text();
    start_construct();
    token_.append(tail.data() + 1, static_cast<int32_t>(length - 1));
    kind_ = construct_kind::end_tag;
    classifying_ = false;
    load_rule(kind_);
    return go_on;
}

scan_status markup_scanner::on_end() {
    rewind();
    mark_all_read_through();
    token_end_ = chars_read();
    const bool go_on = on_text();
    finish_construct();
    return go_on ? scan_status::finished : scan_status::stopped;
}

std::span<const named_entity> named_entities() {
    return entities;
}

int entity_char(std::string_view name) {
    for (const named_entity& entity : entities) {
        if (entity.name == name) return static_cast<unsigned char>(entity.value);
    }
    return -1;
}

void configure_for_html(markup_scanner& scanner) {
    using enum construct_kind;
    scanner.set_enabled({start_tag, end_tag, declaration, comment, doctype, directive_comment});
    scanner.set_rule(start_tag, {.terminator = ">", .attribute_quotes = true});
    for (construct_kind kind : {end_tag, declaration, doctype})
        scanner.set_rule(kind, {.terminator = ">"});
    for (construct_kind kind : {comment, directive_comment})
        scanner.set_rule(kind, {.terminator = "-->", .bang_ends_comment = true});
    scanner.set_keep_text(true);
    scanner.set_html_tag_open(true);
    scanner.set_size_limit(4194304);
}

void configure_for_tagged_values(markup_scanner& scanner) {
    using enum construct_kind;
    scanner.set_enabled({start_tag, end_tag, empty_tag, comment, cdata, processing_instruction});
    for (construct_kind kind : {start_tag, end_tag, empty_tag})
        scanner.set_rule(kind, {.terminator = ">"});
    scanner.set_rule(comment, {.terminator = "-->"});
    scanner.set_rule(cdata, {.terminator = "]]>"});
    scanner.set_rule(processing_instruction,
                     {.terminator = "?>", .quote_aware = true, .escapes = true});
    scanner.set_keep_text(true);
    scanner.set_size_limit(16777216);
}

void configure_for_templates(markup_scanner& scanner) {
    scanner.set_enabled({construct_kind::directive_comment});
    scanner.set_rule(construct_kind::directive_comment,
                     {.terminator = "-->", .quote_aware = true, .escapes = true});
    scanner.set_keep_text(true);
    scanner.set_size_limit(16777216);
}
