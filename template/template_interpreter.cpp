#include "template_interpreter.h"

#include <algorithm>
#include <charconv>

#include "template_block.h"

namespace {

constexpr std::string_view error_text =
    "<b>Error occurred while processing QVI directive.</b> Line # ";
constexpr std::string_view directive_end = "-->";

// Output is gathered into texts of this capacity instead of one text per piece.
constexpr int32_t output_piece_size = 16384;
// A child takes a body in slices of this size, far below the scanner's size limit.
constexpr size_t body_slice_size = 1 << 20;

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
    if (at_end_)
        write(token_view());
    else
        pass_through(token_view());
    return true;
}

bool template_interpreter::on_construct() {
    *last_output_ = nullptr;
    has_var_ = read_directive(token_view(), keyword_, var_);
    switch (keyword_action(keyword_.view())) {
        case body_action::echo:
            run_echo();
            break;
        case body_action::for_block:
            run_for();
            break;
        case body_action::endfor:
            run_endfor();
            break;
        case body_action::if_block:
            run_if();
            break;
        case body_action::else_branch:
            run_else();
            break;
        case body_action::endif:
            run_endif();
            break;
        default:
            pass_through(token_view());
            break;
    }
    return true;
}

scan_status template_interpreter::on_end() {
    // the pending text goes out whatever the mode; a body still open is dropped
    at_end_ = true;
    const scan_status status = markup_scanner::on_end();
    at_end_ = false;
    if (status != scan_status::finished) return status;
    return mode_ == interpreter_mode::emit ? status : scan_status::stopped;
}

void template_interpreter::run_echo() {
    if (mode_ != interpreter_mode::emit) {
        pass_through(token_view());
        return;
    }
    const template_value* value = resolve();
    write(value ? value->view() : token_view());
}

void template_interpreter::run_for() {
    if (if_depth_ != 0 || for_depth_ != 0) {
        pass_through(token_view());
    } else if (level_ >= max_nesting) {
        report_error();
        write(token_view());
        mode_ = interpreter_mode::verbatim;
    } else {
        const value_list* list = has_var_ && data_ ? data_->find_list(var_.view()) : nullptr;
        if (list) {
            loop_list_ = list;
            mode_ = interpreter_mode::collect;
        } else {
            // the body is then written once as text, its closer consumed
            report_error();
            mode_ = interpreter_mode::emit;
        }
    }
    ++for_depth_;
}

void template_interpreter::run_endfor() {
    if (if_depth_ != 0 || for_depth_ != 1) {
        pass_through(token_view());
    } else {
        if (mode_ == interpreter_mode::verbatim) {
            write(token_view());
        } else if (mode_ == interpreter_mode::collect && loop_list_) {
            evaluate_loop(loop_list_->count());
        }
        body_.clear();
        mode_ = interpreter_mode::emit;
    }
    if (--for_depth_ < 0) {
        report_error();
        for_depth_ = 0;
    }
}

void template_interpreter::run_if() {
    if (if_depth_ != 0 || for_depth_ != 0) {
        pass_through(token_view());
    } else if (level_ >= max_nesting) {
        report_error();
        write(token_view());
        mode_ = interpreter_mode::verbatim;
    } else if (const template_value* value = resolve()) {
        mode_ = value->to_integer() != 0 ? interpreter_mode::collect : interpreter_mode::skip;
    } else {
        // both branches are then written as text, else and endif consumed
        report_error();
        mode_ = interpreter_mode::emit;
    }
    ++if_depth_;
}

void template_interpreter::run_else() {
    if (if_depth_ != 1 || for_depth_ != 0) {
        pass_through(token_view());
    } else if (mode_ == interpreter_mode::collect) {
        mode_ = interpreter_mode::skip;
    } else if (mode_ == interpreter_mode::skip) {
        mode_ = interpreter_mode::collect;
    } else if (mode_ == interpreter_mode::verbatim) {
        write(token_view());
    }
}

void template_interpreter::run_endif() {
    if (if_depth_ != 1 || for_depth_ != 0) {
        pass_through(token_view());
    } else {
        if (mode_ == interpreter_mode::verbatim)
            write(token_view());
        else
            evaluate_body(index_);
        body_.clear();
        mode_ = interpreter_mode::emit;
    }
    if (--if_depth_ < 0) {
        report_error();
        if_depth_ = 0;
    }
}

void template_interpreter::pass_through(std::string_view piece) {
    switch (mode_) {
        case interpreter_mode::emit:
        case interpreter_mode::verbatim:
            write(piece);
            break;
        case interpreter_mode::collect:
            body_.append(piece);
            break;
        case interpreter_mode::skip:
            break;
    }
}

void template_interpreter::write(std::string_view text) {
    if (text.empty() || is_exhausted()) return;
    // the top level writes at most its input and a value per directive: only bodies multiply
    if (level_ > 0 && !charge(static_cast<int64_t>(text.size()), position())) return;
    append_output(text);
}

void template_interpreter::write_at(std::string_view text, text_position at) {
    if (text.empty() || is_exhausted()) return;
    if (!charge(static_cast<int64_t>(text.size()), at)) return;
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
    template_value piece;
    if (n < output_piece_size) {
        // room for the pieces that follow, so that appending never reallocates
        piece.set_text_length(output_piece_size);
        piece.set_text_length(0);
        piece.append(text);
    } else {
        piece.set_text(text);
    }
    out.add(piece);
    last = &out.at(out.count() - 1);
}

bool template_interpreter::charge(int64_t n, text_position at) {
    if (is_exhausted()) return false;
    if (n <= *work_left_) {
        *work_left_ -= n;
        return true;
    }
    *work_left_ = -1;
    byte_string report;
    format_error(report, at);
    append_output(report.view());
    return false;
}

template_interpreter::text_position template_interpreter::position() const {
    return {line() - base_line_ + 1, line() == base_line_ ? column() - base_column_ : column()};
}

void template_interpreter::format_error(byte_string& report, text_position at) const {
    report.assign(error_text.data(), static_cast<int32_t>(error_text.size()));
    append_number(report, at.line);
    report.append(" Col # ");
    append_number(report, at.column);
}

void template_interpreter::report_error() {
    byte_string report;
    format_error(report, position());
    write(report.view());
}

void template_interpreter::report_error_at(text_position at) {
    byte_string report;
    format_error(report, at);
    write_at(report.view(), at);
}

const template_value* template_interpreter::resolve() const {
    if (!has_var_ || !data_) return nullptr;
    const value_list* list = data_->find_list(var_.view());
    if (!list || list->is_empty()) return nullptr;
    const int32_t i = index_ > 0 && index_ < list->count() ? index_ : 0;
    return &list->begin()[i];
}

void template_interpreter::evaluate_body(int32_t index) {
    // an empty body writes nothing and reports nothing
    if (body_.is_empty() || !charge(body_.length(), position())) return;
    reread(body_.view(), index, level_ + 1);
}

void template_interpreter::evaluate_loop(int32_t passes) {
    if (body_.is_empty()) return;
    template_block body;
    bool is_read = false;
    for (int32_t k = 0; k < passes; ++k) {
        // once the budget is spent nothing more is written anywhere
        if (!charge(body_.length(), position())) return;
        // read after the first charge, so that reading costs no more than the passes allow
        if (k == 0 && passes > 1 && !reread_bodies_)
            is_read = body.read(body_.view(), data_, *pieces_left_);
        if (is_read)
            replay(body, k, level_ + 1);
        else
            reread(body_.view(), k, level_ + 1);
    }
}

void template_interpreter::reread(std::string_view body, int32_t index, int32_t level) {
    if (!child_) child_ = std::make_unique<template_interpreter>();
    template_interpreter& child = *child_;
    child.data_ = data_;
    child.output_ = output_;
    child.last_output_ = last_output_;
    child.work_left_ = work_left_;
    child.pieces_left_ = pieces_left_;
    child.level_ = level;
    child.reread_bodies_ = reread_bodies_;
    child.begin_pass(index);
    // a block the body leaves open is the body's own affair: its result is not passed on
    static_cast<void>(child.feed_all(body, body_slice_size));
}

namespace {

// resolve() for a replayed directive: the list its var names, read at the index.
const template_value* value_at(const value_list* list, int32_t index) {
    if (!list || list->is_empty()) return nullptr;
    const int32_t i = index > 0 && index < list->count() ? index : 0;
    return &list->begin()[i];
}

}  // namespace

// The same steps as on_text, on_construct and on_end of a child reading the body, with the
// state of that child in locals. A block's body is collected only on the first pass that
// opens it; later passes find it read.
void template_interpreter::replay(template_block& body, int32_t index, int32_t level) {
    interpreter_mode mode = interpreter_mode::emit;
    int32_t if_depth = 0;
    int32_t for_depth = 0;
    const value_list* loop_list = nullptr;
    // the body of the open top-level block, and whether its pieces are being collected
    std::unique_ptr<template_block>* open = nullptr;
    bool collecting = false;
    byte_string collected;
    const auto open_block = [&](body_directive& directive, interpreter_mode start) {
        mode = start;
        open = &directive.opened[start == interpreter_mode::collect ? 0 : 1];
        collecting = !*open;
        collected.clear();
    };
    const auto close_block = [&] {
        open = nullptr;
        collecting = false;
        mode = interpreter_mode::emit;
    };

    const std::string_view text = body.text();
    for (const body_piece& piece : body.pieces()) {
        if (is_exhausted()) return;
        const std::string_view bytes = text.substr(piece.begin, piece.length);
        const text_position at{piece.line, piece.column};
        const auto pass_through = [&] {
            if (mode == interpreter_mode::emit || mode == interpreter_mode::verbatim)
                write_at(bytes, at);
            else if (mode == interpreter_mode::collect && collecting)
                collected.append(bytes);
        };
        switch (piece.action) {
            case body_action::text:
            case body_action::directive:
                pass_through();
                break;
            case body_action::final_text:
                write_at(bytes, at);
                break;
            case body_action::echo:
                if (mode != interpreter_mode::emit) {
                    pass_through();
                } else {
                    const template_value* value = value_at(body.directive(piece).list, index);
                    write_at(value ? value->view() : bytes, at);
                }
                break;
            case body_action::for_block:
                if (if_depth != 0 || for_depth != 0) {
                    pass_through();
                } else if (level >= max_nesting) {
                    report_error_at(at);
                    write_at(bytes, at);
                    mode = interpreter_mode::verbatim;
                } else if (const value_list* list = body.directive(piece).list) {
                    loop_list = list;
                    open_block(body.directive(piece), interpreter_mode::collect);
                } else {
                    report_error_at(at);
                    mode = interpreter_mode::emit;
                }
                ++for_depth;
                break;
            case body_action::endfor:
                if (if_depth != 0 || for_depth != 1) {
                    pass_through();
                } else {
                    if (mode == interpreter_mode::verbatim) {
                        write_at(bytes, at);
                    } else if (mode == interpreter_mode::collect && loop_list && open) {
                        const int32_t passes = loop_list->count();
                        for (int32_t k = 0; k < passes && !is_exhausted(); ++k)
                            evaluate_block(*open, collected, k, at, level);
                    }
                    close_block();
                }
                if (--for_depth < 0) {
                    report_error_at(at);
                    for_depth = 0;
                }
                break;
            case body_action::if_block:
                if (if_depth != 0 || for_depth != 0) {
                    pass_through();
                } else if (level >= max_nesting) {
                    report_error_at(at);
                    write_at(bytes, at);
                    mode = interpreter_mode::verbatim;
                } else if (const template_value* value =
                               value_at(body.directive(piece).list, index)) {
                    open_block(body.directive(piece), value->to_integer() != 0
                                                          ? interpreter_mode::collect
                                                          : interpreter_mode::skip);
                } else {
                    report_error_at(at);
                    mode = interpreter_mode::emit;
                }
                ++if_depth;
                break;
            case body_action::else_branch:
                if (if_depth != 1 || for_depth != 0) {
                    pass_through();
                } else if (mode == interpreter_mode::collect) {
                    mode = interpreter_mode::skip;
                } else if (mode == interpreter_mode::skip) {
                    mode = interpreter_mode::collect;
                } else if (mode == interpreter_mode::verbatim) {
                    write_at(bytes, at);
                }
                break;
            case body_action::endif:
                if (if_depth != 1 || for_depth != 0) {
                    pass_through();
                } else {
                    if (mode == interpreter_mode::verbatim)
                        write_at(bytes, at);
                    else if (open)
                        evaluate_block(*open, collected, index, at, level);
                    close_block();
                }
                if (--if_depth < 0) {
                    report_error_at(at);
                    if_depth = 0;
                }
                break;
        }
    }
}

void template_interpreter::evaluate_block(std::unique_ptr<template_block>& body,
                                          byte_string& collected, int32_t index, text_position at,
                                          int32_t level) {
    const int64_t length = body ? static_cast<int64_t>(body->text().size()) : collected.length();
    // an empty body writes nothing and reports nothing
    if (length == 0 || !charge(length, at)) return;
    if (!body) {
        body = std::make_unique<template_block>();
        // a body with too many pieces to keep is read again on every pass instead
        (void)body->read_own(collected, data_, *pieces_left_);
    }
    if (body->is_read())
        replay(*body, index, level + 1);
    else
        reread(body->text(), index, level + 1);
}

void template_interpreter::begin_pass(int32_t index) {
    index_ = index;
    mode_ = interpreter_mode::emit;
    if_depth_ = 0;
    for_depth_ = 0;
    loop_list_ = nullptr;
    body_.clear();
    // the lexer keeps counting across passes; positions are taken relative to here
    base_line_ = line();
    base_column_ = column();
}

void set_reread_bodies(template_interpreter& interpreter, bool on) {
    interpreter.reread_bodies_ = on;
}
