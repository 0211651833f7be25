#include "template_value.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

// The C white space bytes: blank, tab, LF, VT, FF, CR.
bool is_space(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// Room for every text form: "-1000000000000000000.000" is the longest.
constexpr size_t form_capacity = 40;

size_t format_real(double x, char* out) {
    double m = std::fabs(x);
    if (std::isnan(x) || m < 1e-10 || m > 1e18) {
        out[0] = '0';
        return 1;
    }
    int precision = m > 100000 ? 3 : 8;
    // to_chars rounds exactly like printf but never prints a locale's decimal comma
    auto [end, ec] =
        std::to_chars(out, out + form_capacity, x, std::chars_format::fixed, precision);
    size_t n = ec == std::errc() ? static_cast<size_t>(end - out) : 0;
    while (n > 0 && out[n - 1] == '0')
        --n;
    if (n > 0 && out[n - 1] == '.') --n;
    return n;
}

uintptr_t pointer_bits(const void* p) {
    return reinterpret_cast<uintptr_t>(p);
}

// Out-of-range reals would be undefined behaviour in a plain cast: NaN gives 0, the rest
// saturates.
int32_t real_to_integer(double x) {
    if (std::isnan(x)) return 0;
    if (x >= 2147483648.0) return std::numeric_limits<int32_t>::max();
    if (x <= -2147483649.0) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(x);
}

// A decimal number too large or too small for a double: infinity when its leading digit
// stands left of the point, 0 otherwise.
double out_of_range_real(std::string_view number) {
    int64_t magnitude = 0;
    int64_t zeros_after_point = 0;
    bool after_point = false;
    bool seen_digit = false;
    size_t i = 0;
    for (; i < number.size(); ++i) {
        char c = number[i];
        if (c == '.') {
            after_point = true;
            continue;
        }
        if (!is_digit(c)) break;
        if (seen_digit) {
            if (!after_point) ++magnitude;
        } else if (c != '0') {
            seen_digit = true;
            magnitude = after_point ? -(zeros_after_point + 1) : 0;
        } else if (after_point) {
            ++zeros_after_point;
        }
    }
    if (i < number.size() && (number[i] == 'e' || number[i] == 'E')) {
        ++i;
        bool negative = false;
        if (i < number.size() && (number[i] == '+' || number[i] == '-')) {
            negative = number[i] == '-';
            ++i;
        }
        int64_t exponent = 0;
        for (; i < number.size() && is_digit(number[i]); ++i) {
            if (exponent < 1000000000) exponent = exponent * 10 + (number[i] - '0');
        }
        magnitude += negative ? -exponent : exponent;
    }
    return magnitude >= 0 ? std::numeric_limits<double>::infinity() : 0.0;
}

}  // namespace

int32_t text_to_integer(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && is_space(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // unsigned arithmetic gives the 32-bit wrap-around without overflow
    uint32_t value = 0;
    for (; i < text.size() && is_digit(text[i]); ++i)
        value = value * 10u + (text[i] - '0');
    if (negative) value = 0u - value;
    return static_cast<int32_t>(value);
}

double text_to_real(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && is_space(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // from_chars would take a second sign ("--5"); the C library does not
    if (i >= text.size() || text[i] == '-') return 0.0;
    const char* first = text.data() + i;
    const char* last = text.data() + text.size();
    double value = 0.0;
    auto [end, ec] = std::from_chars(first, last, value, std::chars_format::general);
    if (ec == std::errc::invalid_argument) return 0.0;
    if (ec == std::errc::result_out_of_range)
        value = out_of_range_real(std::string_view(first, static_cast<size_t>(end - first)));
    return negative ? -value : value;
}

template_value::template_value(const char* cstr)
    : kind_(value_kind::text), text_(cstr ? cstr : "") {}

template_value::template_value(std::string_view text) : kind_(value_kind::text), text_(text) {}

template_value::template_value(const byte_string& text) : kind_(value_kind::text), text_(text) {}

template_value::template_value(char byte) : kind_(value_kind::text), text_(&byte, 1) {}

template_value::template_value(const template_value& other)
    : kind_(other.kind_), scalar_(other.scalar_) {
    if (kind_ == value_kind::text) text_.assign(other.text_);
}

template_value& template_value::operator=(const template_value& other) {
    if (this == &other) return *this;
    kind_ = other.kind_;
    scalar_ = other.scalar_;
    if (kind_ == value_kind::text) text_.assign(other.text_);
    return *this;
}

template_value::template_value(template_value&& other) noexcept
    : kind_(other.kind_), scalar_(other.scalar_), text_(std::move(other.text_)) {}

template_value& template_value::operator=(template_value&& other) noexcept {
    if (this == &other) return *this;
    kind_ = other.kind_;
    scalar_ = other.scalar_;
    text_.move_from(other.text_);
    return *this;
}

void template_value::set_text(const char* cstr) {
    if (cstr)
        text_.assign(cstr, static_cast<int32_t>(std::strlen(cstr)));
    else
        text_.set_length(0);
    kind_ = value_kind::text;
}

void template_value::set_text(std::string_view text) {
    text_.assign(text.data(), static_cast<int32_t>(text.size()));
    kind_ = value_kind::text;
}

void template_value::set_integer(int32_t n) {
    kind_ = value_kind::integer;
    scalar_.integer = n;
}

void template_value::set_bool(bool b) {
    kind_ = value_kind::boolean;
    scalar_.boolean = b;
}

void template_value::set_real(double x) {
    kind_ = value_kind::real;
    scalar_.real = x;
}

void template_value::set_pointer(const void* p) {
    kind_ = value_kind::pointer;
    scalar_.pointer = p;
}

void template_value::convert(int32_t code) {
    if (code == static_cast<int32_t>(kind_)) return;
    switch (code) {
        case static_cast<int32_t>(value_kind::text):
            become_text();
            break;
        case static_cast<int32_t>(value_kind::boolean):
            set_bool(to_bool());
            break;
        case static_cast<int32_t>(value_kind::integer):
            set_integer(to_integer());
            break;
        case static_cast<int32_t>(value_kind::real):
            set_real(to_real());
            break;
        default:
            break;
    }
}

void template_value::write_text_form() const {
    char form[form_capacity];
    size_t n = 0;
    switch (kind_) {
        case value_kind::text:
            return;
        case value_kind::boolean:
            form[n++] = scalar_.boolean ? '1' : '0';
            break;
        case value_kind::integer:
            n = static_cast<size_t>(std::to_chars(form, form + form_capacity, scalar_.integer).ptr -
                                    form);
            break;
        case value_kind::real:
            n = format_real(scalar_.real, form);
            break;
        case value_kind::pointer:
            form[0] = '0';
            form[1] = 'x';
            n = static_cast<size_t>(
                std::to_chars(form + 2, form + form_capacity, pointer_bits(scalar_.pointer), 16)
                    .ptr -
                form);
            break;
    }
    // the same value keeps the same length, so repeated calls never move the bytes
    text_.set_length(static_cast<int32_t>(n));
    std::memcpy(text_.data(), form, n);
}

void template_value::become_text() {
    if (kind_ == value_kind::text) return;
    write_text_form();
    kind_ = value_kind::text;
}

const char* template_value::text() const {
    write_text_form();
    return text_.c_str();
}

std::string_view template_value::view() const {
    write_text_form();
    return text_.view();
}

int32_t template_value::to_integer() const {
    switch (kind_) {
        case value_kind::text:
            return text_to_integer(text_.view());
        case value_kind::boolean:
            return scalar_.boolean ? 1 : 0;
        case value_kind::integer:
            return scalar_.integer;
        case value_kind::real:
            return real_to_integer(scalar_.real);
        case value_kind::pointer:
            return static_cast<int32_t>(static_cast<uint32_t>(pointer_bits(scalar_.pointer)));
    }
    return 0;
}

bool template_value::to_bool() const {
    switch (kind_) {
        case value_kind::text:
            return text_to_integer(text_.view()) != 0;
        case value_kind::boolean:
            return scalar_.boolean;
        case value_kind::integer:
            return scalar_.integer != 0;
        case value_kind::real:
            return scalar_.real != 0.0;
        case value_kind::pointer:
            return scalar_.pointer != nullptr;
    }
    return false;
}

double template_value::to_real() const {
    switch (kind_) {
        case value_kind::text:
            return text_to_real(text_.view());
        case value_kind::boolean:
            return scalar_.boolean ? 1.0 : 0.0;
        case value_kind::integer:
            return scalar_.integer;
        case value_kind::real:
            return scalar_.real;
        case value_kind::pointer:
            return static_cast<double>(pointer_bits(scalar_.pointer));
    }
    return 0.0;
}

char template_value::first_char() const {
    if (kind_ == value_kind::boolean) return scalar_.boolean ? '1' : '0';
    std::string_view form = view();
    return form.empty() ? '\0' : form[0];
}

void template_value::append(const template_value& other) {
    become_text();
    if (&other == this)
        text_.append(text_);
    else
        text_.append(other.view());
}

void template_value::append(std::string_view text) {
    become_text();
    text_.append(text);
}

void template_value::assign_prefix(const template_value& other, int32_t n) {
    std::string_view form = other.view();
    size_t count = n <= 0 ? 0 : static_cast<size_t>(n);
    if (count > form.size()) count = form.size();
    // a piece of this value's own bytes is copied safely by byte_string::assign
    text_.assign(form.data(), static_cast<int32_t>(count));
    kind_ = value_kind::text;
}

void template_value::assign_bytes(const char* bytes, int32_t n) {
    text_.assign(bytes, n);
    kind_ = value_kind::text;
}

void template_value::erase_prefix(int32_t n) {
    become_text();
    int32_t length = text_.length();
    if (n <= 0 || n > length) return;
    std::memmove(text_.data(), text_.data() + n, static_cast<size_t>(length - n));
    text_.set_length(length - n);
}

void template_value::increment() {
    convert(value_kind::integer);
    scalar_.integer = static_cast<int32_t>(static_cast<uint32_t>(scalar_.integer) + 1u);
}

void template_value::decrement() {
    convert(value_kind::integer);
    scalar_.integer = static_cast<int32_t>(static_cast<uint32_t>(scalar_.integer) - 1u);
}

void template_value::assign_text_of(const template_value& other) {
    if (&other == this) {
        become_text();
        return;
    }
    std::string_view form = other.view();
    text_.assign(form.data(), static_cast<int32_t>(form.size()));
    kind_ = value_kind::text;
}

void template_value::set_text_length(int32_t n) {
    become_text();
    text_.set_length(n);
}

void template_value::replace(const template_value& a, const template_value& b) {
    become_text();
    // byte_string builds the result in a new buffer, so a or b may be this value itself
    std::string_view s = a.view();
    std::string_view t = b.view();
    if (s.size() == 1 && t.size() == 1)
        text_.replace_char(s[0], t[0]);
    else if (s.size() == 1)
        text_.replace_char(s[0], t);
    else if (t.size() == 1)
        text_.replace_text(s, t[0]);
    else
        text_.replace_text(s, t);
}

int32_t template_value::find(const template_value& needle, int32_t from) const {
    write_text_form();
    std::string_view pattern = needle.view();
    if (pattern.size() == 1) return text_.find_char(pattern[0], from);
    return text_.find(pattern, from);
}

int32_t template_value::find_last(const template_value& needle) const {
    write_text_form();
    return text_.find_last(needle.view());
}

int template_value::compare(const template_value& a, const template_value& b) {
    return byte_string::compare(a.view(), b.view());
}
