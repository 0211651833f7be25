#include "template_value.h"

#include <charconv>
#include <cstring>

namespace {

// The C white space bytes: blank, tab, LF, VT, FF, CR.
bool is_space(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// Room for every text form: "-2147483648" is the longest.
constexpr size_t form_capacity = 16;

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
        value = value * 10u + static_cast<uint32_t>(text[i] - '0');
    if (negative) value = 0u - value;
    return static_cast<int32_t>(value);
}

template_value::template_value(const char* cstr) : is_text_(true), text_(cstr ? cstr : "") {}

template_value::template_value(std::string_view text) : is_text_(true), text_(text) {}

template_value::template_value(const byte_string& text) : is_text_(true), text_(text) {}

template_value::template_value(const template_value& other)
    : is_text_(other.is_text_), integer_(other.integer_) {
    if (is_text_) text_.assign(other.text_);
}

template_value& template_value::operator=(const template_value& other) {
    if (this == &other) return *this;
    is_text_ = other.is_text_;
    integer_ = other.integer_;
    if (is_text_) text_.assign(other.text_);
    return *this;
}

template_value::template_value(template_value&& other) noexcept
    : is_text_(other.is_text_), integer_(other.integer_), text_(std::move(other.text_)) {}

template_value& template_value::operator=(template_value&& other) noexcept {
    if (this == &other) return *this;
    is_text_ = other.is_text_;
    integer_ = other.integer_;
    text_.move_from(other.text_);
    return *this;
}

void template_value::set_text(std::string_view text) {
    text_.assign(text.data(), static_cast<int32_t>(text.size()));
    is_text_ = true;
}

void template_value::set_integer(int32_t n) {
    is_text_ = false;
    integer_ = n;
}

void template_value::write_text_form() const {
    if (is_text_) return;
    char form[form_capacity];
    const auto n =
        static_cast<int32_t>(std::to_chars(form, form + form_capacity, integer_).ptr - form);
    // the same value keeps the same length, so repeated calls never move the bytes
    text_.set_length(n);
    std::memcpy(text_.data(), form, static_cast<size_t>(n));
}

void template_value::become_text() {
    write_text_form();
    is_text_ = true;
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
    return is_text_ ? text_to_integer(text_.view()) : integer_;
}

byte_string template_value::take_text() {
    become_text();
    byte_string taken(std::move(text_));
    text_.clear();
    return taken;
}

void template_value::append(std::string_view text) {
    become_text();
    text_.append(text);
}

void template_value::set_text_length(int32_t n) {
    become_text();
    text_.set_length(n);
}
