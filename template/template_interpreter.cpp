#include "template_interpreter.h"

#include <charconv>

#include "template_block.h"

namespace {

constexpr std::string_view error_text =
    "<b>Error occurred while processing QVI directive.</b> Line # ";
constexpr std::string_view directive_end = "-->";

// Output is gathered into texts of this capacity instead of one text per piece.
constexpr int32_t output_piece_size = 16384;

bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool is_name_start(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':';
}

bool is_name_char(char c) {
    return is_name_start(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Appends the name bytes of the stretch from i up to white space, lower-cased; returns the
// position after the stretch.
size_t read_keyword(std::string_view text, size_t i, byte_string& keyword) {
    while (i < text.size() && !is_space(text[i])) {
        if (is_name_char(text[i])) keyword.push(lower(text[i]));
        ++i;
    }
    return i;
}

// Reads an attribute name from i up to white space or '=' and tells whether it is "var";
// returns the position after the name.
size_t read_attribute_name(std::string_view text, size_t i, bool& is_var) {
    constexpr std::string_view var_name = "var";
    size_t matched = 0;
    is_var = true;
    while (i < text.size() && !is_space(text[i]) && text[i] != '=') {
        if (is_name_char(text[i])) {
            is_var = is_var && matched < var_name.size() && lower(text[i]) == var_name[matched];
            ++matched;
        }
        ++i;
    }
    is_var = is_var && matched == var_name.size();
    return i;
}

// Reads the quoted section whose quote is at i into value (when given); returns the position
// after its closing quote, or the end of the text.
size_t read_quoted(std::string_view text, size_t i, byte_string* value) {
    const char quote = text[i++];
    while (i < text.size() && text[i] != quote) {
        if (text[i] == '\\') {
            // a backslash as the last byte has nothing to make literal and is dropped
            if (++i == text.size()) break;
        }
        if (value) value->push(text[i]);
        ++i;
    }
    return i < text.size() ? i + 1 : i;
}

void append_number(byte_string& text, int64_t n) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, n).ptr;
    text.append(digits, static_cast<int32_t>(end - digits));
}

}  // namespace

bool read_directive(std::string_view directive, byte_string& keyword, byte_string& var) {
    keyword.clear();
    var.clear();
    std::string_view text = directive;
    if (text.ends_with(directive_end)) text.remove_suffix(directive_end.size());

    size_t i = 0;
    while (i < text.size() && !is_name_start(text[i]))
        ++i;
    i = read_keyword(text, i, keyword);

    bool has_var = false;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '"' || c == '\'') {
            // a quoted section where no value is expected
            i = read_quoted(text, i, nullptr);
            continue;
        }
        if (!is_name_start(c)) {
            ++i;
            continue;
        }
        bool is_var = false;
        i = read_attribute_name(text, i, is_var);
        if (is_var) {
            var.clear();
            has_var = true;
        }
        if (i >= text.size() || text[i] != '=') continue;
        ++i;
        while (i < text.size() && is_space(text[i]))
            ++i;
        if (i < text.size() && (text[i] == '"' || text[i] == '\'')) {
            i = read_quoted(text, i, is_var ? &var : nullptr);
        } else {
            const size_t start = i;
            while (i < text.size() && !is_space(text[i]))
                ++i;
            if (is_var) var.append(text.substr(start, i - start));
        }
    }
    return has_var;
}

template_interpreter::template_interpreter()
    : own_pieces_left_(template_block::pieces_per_rendering) {
    configure_for_templates(*this);
}

template_interpreter::~template_interpreter() = default;

bool template_interpreter::on_text() {
    *last_output_ = nullptr;
    take_piece(state_, {at_end_ ? body_action::final_text : body_action::text, token_view(),
                        position(), nullptr});
    return true;
}

bool template_interpreter::on_construct() {
    *last_output_ = nullptr;
    has_var_ = read_directive(token_view(), keyword_, var_);
    take_piece(state_, {keyword_action(keyword_.view()), token_view(), position(), nullptr});
    return true;
}

scan_status template_interpreter::on_end() {
    // the pending text goes out whatever the mode; a body still open is dropped
    at_end_ = true;
    const scan_status status = markup_scanner::on_end();
    at_end_ = false;
    return status;
}

// Inlined into the replay loop, the hot path of a rendering, which the recursion through
// evaluate would otherwise keep it out of.
[[gnu::always_inline]] inline void template_interpreter::take_piece(block_state& state,
                                                                    const piece_view& piece) {
    switch (piece.action) {
        case body_action::text:
        case body_action::directive:
            pass_through(state, piece);
            break;
        case body_action::final_text:
            write(state, piece.bytes, piece.at);
            break;
        case body_action::echo:
            run_echo(state, piece);
            break;
        case body_action::for_block:
        case body_action::if_block:
            run_opener(state, piece);
            break;
        case body_action::else_branch:
            run_else(state, piece);
            break;
        case body_action::endfor:
        case body_action::endif:
            run_closer(state, piece);
            break;
    }
}

namespace {

// The value a variable's list holds at the index: pass 0 and passes beyond the list read the
// first value.
inline const template_value* value_at(const value_list* list, int32_t index) {
    if (!list || list->is_empty()) return nullptr;
    const int32_t i = index > 0 && index < list->count() ? index : 0;
    return &list->value(i);
}

}  // namespace

inline void template_interpreter::run_echo(block_state& state, const piece_view& piece) {
    if (state.mode != interpreter_mode::emit) {
        pass_through(state, piece);
        return;
    }
    const template_value* value = value_at(list_of(piece), state.index);
    write(state, value ? value->view() : piece.bytes, piece.at);
}

void template_interpreter::run_opener(block_state& state, const piece_view& piece) {
    const bool is_for = piece.action == body_action::for_block;
    if (state.if_depth != 0 || state.for_depth != 0) {
        pass_through(state, piece);
    } else if (state.level >= max_nesting) {
        report_error(state, piece.at);
        write(state, piece.bytes, piece.at);
        state.mode = interpreter_mode::verbatim;
    } else if (const interpreter_mode start = opening_mode(state, piece);
               start != interpreter_mode::emit) {
        if (is_for) state.loop_list = list_of(piece);
        open_block(state, piece, start);
    } else {
        // a for then writes its body once as text, an if both branches; closers are consumed
        report_error(state, piece.at);
    }
    ++(is_for ? state.for_depth : state.if_depth);
}

interpreter_mode template_interpreter::opening_mode(const block_state& state,
                                                    const piece_view& piece) const {
    if (piece.action == body_action::for_block)
        return list_of(piece) ? interpreter_mode::collect : interpreter_mode::emit;
    const template_value* value = value_at(list_of(piece), state.index);
    if (!value) return interpreter_mode::emit;
    return value->to_integer() != 0 ? interpreter_mode::collect : interpreter_mode::skip;
}

void template_interpreter::run_else(block_state& state, const piece_view& piece) {
    if (state.if_depth != 1 || state.for_depth != 0)
        pass_through(state, piece);
    else if (state.mode == interpreter_mode::collect)
        state.mode = interpreter_mode::skip;
    else if (state.mode == interpreter_mode::skip)
        state.mode = interpreter_mode::collect;
    else if (state.mode == interpreter_mode::verbatim)
        write(state, piece.bytes, piece.at);
}

void template_interpreter::run_closer(block_state& state, const piece_view& piece) {
    const bool is_for = piece.action == body_action::endfor;
    int32_t& depth = is_for ? state.for_depth : state.if_depth;
    if (depth != 1 || (is_for ? state.if_depth : state.for_depth) != 0) {
        pass_through(state, piece);
    } else {
        // a block whose opener failed has collected nothing, so evaluating it writes nothing
        const int32_t passes = !is_for ? 1 : state.loop_list ? state.loop_list->count() : 0;
        if (state.mode == interpreter_mode::verbatim)
            write(state, piece.bytes, piece.at);
        else
            evaluate(state, is_for ? 0 : state.index, passes, piece.at);
        close_block(state);
    }
    if (--depth < 0) {
        report_error(state, piece.at);
        depth = 0;
    }
}

void template_interpreter::open_block(block_state& state, const piece_view& piece,
                                      interpreter_mode start) {
    state.mode = start;
    state.collected.clear();
    // a replayed directive opens the same block with the same pieces on every pass; its
    // branches differ, so each start keeps its own body
    state.kept = piece.directive
                     ? &piece.directive->opened[start == interpreter_mode::collect ? 0 : 1]
                     : nullptr;
    state.is_collecting = !state.kept || !*state.kept;
}

void template_interpreter::close_block(block_state& state) {
    state.mode = interpreter_mode::emit;
    state.loop_list = nullptr;
    state.collected.clear();
    state.kept = nullptr;
}

inline void template_interpreter::pass_through(block_state& state, const piece_view& piece) {
    switch (state.mode) {
        case interpreter_mode::emit:
        case interpreter_mode::verbatim:
            write(state, piece.bytes, piece.at);
            break;
        case interpreter_mode::collect:
            if (state.is_collecting) state.collected.append(piece.bytes);
            break;
        case interpreter_mode::skip:
            break;
    }
}

inline const value_list* template_interpreter::list_of(const piece_view& piece) const {
    if (piece.directive) return piece.directive->list;
    return has_var_ && data_ ? data_->find_list(var_.view()) : nullptr;
}

inline void template_interpreter::write(const block_state& state, std::string_view text,
                                        text_position at) {
    if (text.empty() || is_exhausted()) return;
    // the top level writes at most its input and a value per directive: only bodies multiply
    if (state.level > 0 && !charge(static_cast<int64_t>(text.size()), at)) return;
    append_output(text);
}

void template_interpreter::append_output(std::string_view text) {
    value_list& out = *output_;
    const auto n = static_cast<int32_t>(text.size());
    template_value*& last = *last_output_;
    if (!last && !out.is_empty()) last = &out.at(out.count() - 1);
    if (last && last->is_text() && last->text_length() <= output_piece_size - n) {
        last->append(text);
        return;
    }
    if (drain_) {
        // the full texts go on before a new one starts
        for (template_value full; out.pop_front(full);)
            (*drain_)(full.view());
        last = nullptr;
    }
    template_value piece;
    if (n < output_piece_size) {
        // room for the pieces that follow, so that appending never reallocates
        piece.set_text_length(output_piece_size);
        piece.set_text_length(0);
        piece.append(text);
    } else {
        piece.set_text(text);
    }
    out.add(std::move(piece));
    last = &out.at(out.count() - 1);
}

namespace {

void format_error(byte_string& report, int64_t line, int64_t column) {
    report.assign(error_text.data(), static_cast<int32_t>(error_text.size()));
    append_number(report, line);
    report.append(" Col # ");
    append_number(report, column);
}

}  // namespace

bool template_interpreter::spend_all(text_position at) {
    if (is_exhausted()) return false;
    *work_left_ = -1;
    byte_string report;
    format_error(report, at.line, at.column);
    append_output(report.view());
    return false;
}

template_interpreter::text_position template_interpreter::position() const {
    return {line() - base_line_ + 1, line() == base_line_ ? column() - base_column_ : column()};
}

void template_interpreter::report_error(const block_state& state, text_position at) {
    byte_string report;
    format_error(report, at.line, at.column);
    write(state, report.view(), at);
}

void template_interpreter::evaluate(block_state& state, int32_t first, int32_t passes,
                                    text_position at) {
    std::unique_ptr<template_block> scanned;
    std::unique_ptr<template_block>& body = state.kept ? *state.kept : scanned;
    // a body met while scanning is read into pieces only when passes share them
    const bool is_worth_reading = state.kept || (passes > 1 && !reread_bodies_);
    for (int32_t k = 0; k < passes; ++k) {
        const int64_t length =
            body ? static_cast<int64_t>(body->text().size()) : state.collected.length();
        // an empty body writes nothing and reports nothing; once the budget is spent nothing
        // more is written anywhere
        if (length == 0 || !charge(length, at)) return;
        // read after the first charge, so that reading costs no more than the passes allow
        if (!body && is_worth_reading) {
            body = std::make_unique<template_block>();
            // a body with too many pieces to keep is read again on every pass instead
            (void)body->read_own(state.collected, data_, *pieces_left_);
        }
        if (body && body->is_read())
            replay(*body, first + k, state.level + 1);
        else
            reread(body ? body->text() : state.collected.view(), first + k, state.level + 1);
    }
}

void template_interpreter::reread(std::string_view body, int32_t index, int32_t level) {
    if (!child_) child_ = std::make_unique<template_interpreter>();
    template_interpreter& child = *child_;
    child.data_ = data_;
    child.output_ = output_;
    child.last_output_ = last_output_;
    child.drain_ = drain_;
    child.work_left_ = work_left_;
    child.pieces_left_ = pieces_left_;
    child.reread_bodies_ = reread_bodies_;
    child.begin_pass(index, level);
    // a block the body leaves open is the body's own affair: it is not passed on
    static_cast<void>(child.feed_all(body, body_slice_size));
}

void template_interpreter::replay(template_block& body, int32_t index, int32_t level) {
    block_state state;
    state.index = index;
    state.level = level;
    replay_pieces(body, state);
}

void template_interpreter::replay_template(template_block& whole, int64_t& pieces_left) {
    pieces_left_ = &pieces_left;
    *last_output_ = nullptr;
    replay_pieces(whole, state_);
}

void template_interpreter::replay_pieces(template_block& body, block_state& state) {
    // pieces cover the body without gaps, so their bounds need no checks; once the work is
    // spent the pieces left write nothing
    const char* text = body.text().data();
    for (const body_piece& piece : body.pieces()) {
        take_piece(state, {piece.action,
                           {text + piece.begin, piece.length},
                           {piece.line, piece.column},
                           body.directive(piece)});
    }
}

void template_interpreter::begin_pass(int32_t index, int32_t level) {
    state_.mode = interpreter_mode::emit;
    state_.if_depth = 0;
    state_.for_depth = 0;
    state_.index = index;
    state_.level = level;
    state_.loop_list = nullptr;
    state_.collected.clear();
    state_.kept = nullptr;
    // the lexer keeps counting across passes; positions are taken relative to here
    base_line_ = line();
    base_column_ = column();
}

void set_reread_bodies(template_interpreter& interpreter, bool on) {
    interpreter.reread_bodies_ = on;
}
