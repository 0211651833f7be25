#include "template/qvi.h"

#include <algorithm>
#include <charconv>

namespace {

enum keyword_code : int32_t {
    keyword_echo = 2,
    keyword_for = 3,
    keyword_endfor = 4,
    keyword_if = 5,
    keyword_else = 6,
    keyword_endif = 7,
};

// Keyword of a directive to the code it is executed by; other keywords pass through.
const qvhash& keyword_table() {
    static const qvhash table = [] {
        qvhash words;
        words.insert("echo", qvval(int32_t{keyword_echo}));
        words.insert("for", qvval(int32_t{keyword_for}));
        words.insert("endfor", qvval(int32_t{keyword_endfor}));
        words.insert("if", qvval(int32_t{keyword_if}));
        words.insert("else", qvval(int32_t{keyword_else}));
        words.insert("endif", qvval(int32_t{keyword_endif}));
        return words;
    }();
    return table;
}

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
size_t read_keyword(std::string_view text, size_t i, qvchar& keyword) {
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
size_t read_quoted(std::string_view text, size_t i, qvchar* value) {
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

void append_number(qvchar& text, int64_t n) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, n).ptr;
    text.append(digits, static_cast<int32_t>(end - digits));
}

}  // namespace

bool read_directive(std::string_view directive, qvchar& keyword, qvchar& var) {
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

qvi::qvi() {
    configure_template(*this);
}

qvi::~qvi() = default;

int qvi::on_text() {
    if (at_end_)
        write(token_view());
    else
        pass_through(token_view());
    return 0;
}

int qvi::on_construct() {
    has_var_ = read_directive(token_view(), keyword_, var_);
    const qvval* code = keyword_table().find_ref(keyword_.view());
    if (!code) {
        pass_through(token_view());
        return 0;
    }
    switch (code->to_integer()) {
        case keyword_echo:
            run_echo();
            break;
        case keyword_for:
            run_for();
            break;
        case keyword_endfor:
            run_endfor();
            break;
        case keyword_if:
            run_if();
            break;
        case keyword_else:
            run_else();
            break;
        case keyword_endif:
            run_endif();
            break;
        default:
            pass_through(token_view());
            break;
    }
    return 0;
}

int qvi::on_end() {
    // the pending text goes out whatever the mode; a body still open is dropped
    at_end_ = true;
    const int result = qvsgml::on_end();
    at_end_ = false;
    if (result != finished) return result;
    return mode_ == qvi_mode::emit ? finished : open_blocks;
}

void qvi::run_echo() {
    if (mode_ != qvi_mode::emit) {
        pass_through(token_view());
        return;
    }
    const qvval* value = resolve();
    write(value ? value->view() : token_view());
}

void qvi::run_for() {
    if (if_depth_ != 0 || for_depth_ != 0) {
        pass_through(token_view());
    } else if (level_ >= max_nesting) {
        report_error();
        write(token_view());
        mode_ = qvi_mode::verbatim;
    } else {
        const qvarr* list = has_var_ && data_ ? data_->find_list(var_.view()) : nullptr;
        if (list) {
            loop_list_ = list;
            mode_ = qvi_mode::collect;
        } else {
            // the body is then written once as text, its closer consumed
            report_error();
            mode_ = qvi_mode::emit;
        }
    }
    ++for_depth_;
}

void qvi::run_endfor() {
    if (if_depth_ != 0 || for_depth_ != 1) {
        pass_through(token_view());
    } else {
        if (mode_ == qvi_mode::verbatim) {
            write(token_view());
        } else if (mode_ == qvi_mode::collect && loop_list_) {
            const int32_t passes = loop_list_->count();
            for (int32_t k = 0; k < passes; ++k)
                evaluate_body(k);
        }
        body_.clear();
        mode_ = qvi_mode::emit;
    }
    if (--for_depth_ < 0) {
        report_error();
        for_depth_ = 0;
    }
}

void qvi::run_if() {
    if (if_depth_ != 0 || for_depth_ != 0) {
        pass_through(token_view());
    } else if (level_ >= max_nesting) {
        report_error();
        write(token_view());
        mode_ = qvi_mode::verbatim;
    } else if (const qvval* value = resolve()) {
        mode_ = value->to_integer() != 0 ? qvi_mode::collect : qvi_mode::skip;
    } else {
        // both branches are then written as text, else and endif consumed
        report_error();
        mode_ = qvi_mode::emit;
    }
    ++if_depth_;
}

void qvi::run_else() {
    if (if_depth_ != 1 || for_depth_ != 0) {
        pass_through(token_view());
    } else if (mode_ == qvi_mode::collect) {
        mode_ = qvi_mode::skip;
    } else if (mode_ == qvi_mode::skip) {
        mode_ = qvi_mode::collect;
    } else if (mode_ == qvi_mode::verbatim) {
        write(token_view());
    }
}

void qvi::run_endif() {
    if (if_depth_ != 1 || for_depth_ != 0) {
        pass_through(token_view());
    } else {
        if (mode_ == qvi_mode::verbatim)
            write(token_view());
        else
            evaluate_body(index_);
        body_.clear();
        mode_ = qvi_mode::emit;
    }
    if (--if_depth_ < 0) {
        report_error();
        if_depth_ = 0;
    }
}

void qvi::pass_through(std::string_view piece) {
    switch (mode_) {
        case qvi_mode::emit:
        case qvi_mode::verbatim:
            write(piece);
            break;
        case qvi_mode::collect:
            body_.append(piece);
            break;
        case qvi_mode::skip:
            break;
    }
}

void qvi::write(std::string_view text) {
    if (text.empty() || is_exhausted()) return;
    // the top level writes at most its input and a value per directive: only bodies multiply
    if (level_ > 0 && !charge(static_cast<int64_t>(text.size()))) return;
    append_output(text);
}

void qvi::append_output(std::string_view text) {
    qvarr& out = *output_;
    const auto n = static_cast<int32_t>(text.size());
    if (!out.is_empty()) {
        qvval& last = out.at(out.count() - 1);
        if (last.is_text() && last.text_length() <= output_piece_size - n) {
            last.append(text);
            return;
        }
    }
    qvval piece;
    if (n < output_piece_size) {
        // room for the pieces that follow, so that appending never reallocates
        piece.set_text_length(output_piece_size);
        piece.set_text_length(0);
        piece.append(text);
    } else {
        piece.set_text(text);
    }
    out.add(piece);
}

bool qvi::charge(int64_t n) {
    if (is_exhausted()) return false;
    if (n <= *work_left_) {
        *work_left_ -= n;
        return true;
    }
    *work_left_ = -1;
    qvchar report;
    format_error(report);
    append_output(report.view());
    return false;
}

void qvi::format_error(qvchar& report) const {
    const int64_t line_in_body = line() - base_line_ + 1;
    const int64_t column_in_body = line() == base_line_ ? column() - base_column_ : column();
    report.assign(error_text.data(), static_cast<int32_t>(error_text.size()));
    append_number(report, line_in_body);
    report.append(" Col # ");
    append_number(report, column_in_body);
}

void qvi::report_error() {
    qvchar report;
    format_error(report);
    write(report.view());
}

const qvval* qvi::resolve() const {
    if (!has_var_ || !data_) return nullptr;
    const qvarr* list = data_->find_list(var_.view());
    if (!list || list->is_empty()) return nullptr;
    const int32_t i = index_ > 0 && index_ < list->count() ? index_ : 0;
    return &list->begin()[i];
}

void qvi::evaluate_body(int32_t index) {
    // an empty body writes nothing and reports nothing
    if (body_.is_empty() || !charge(body_.length())) return;
    if (!child_) child_ = std::make_unique<qvi>();
    qvi& child = *child_;
    child.data_ = data_;
    child.output_ = output_;
    child.work_left_ = work_left_;
    child.level_ = level_ + 1;
    child.begin_pass(index);
    const std::string_view body = body_.view();
    size_t at = 0;
    for (;;) {
        if (at < body.size()) {
            const size_t slice = std::min(body.size() - at, body_slice_size);
            child.push_chunk(body.substr(at, slice));
            at += slice;
        } else {
            child.set_end_of_input(true);
        }
        const int result = child.scan_step();
        while (child.release_consumed()) {
        }
        // a block the body leaves open is the body's own affair: its result is not passed on
        if (result != needs_input) break;
    }
}

void qvi::begin_pass(int32_t index) {
    index_ = index;
    mode_ = qvi_mode::emit;
    if_depth_ = 0;
    for_depth_ = 0;
    loop_list_ = nullptr;
    body_.clear();
    // the lexer keeps counting across passes; positions are taken relative to here
    base_line_ = line();
    base_column_ = column();
}
