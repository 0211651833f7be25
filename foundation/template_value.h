#pragma once

#include <cstdint>
#include <string_view>

#include "byte_string.h"

// A value of the lists a template loops over: a text or an integer, converted on demand.
// An integer writes its decimal text form into its own buffer without becoming a text.
//
// Text to integer: leading white space, an optional sign, decimal digits up to the first
// non-digit, wrapping at 32 bits; 0 without digits.
class template_value {
  public:
    template_value() = default;
    explicit template_value(int32_t n) : integer_(n) {}
    // The integer 1 or 0.
    explicit template_value(bool b) : integer_(b ? 1 : 0) {}
    // Other pointers would pass for a bool.
    template <typename T>
    explicit template_value(const T*) = delete;
    // A null pointer gives the empty text.
    explicit template_value(const char* cstr);
    explicit template_value(std::string_view text);
    explicit template_value(const byte_string& text);
    // A text of length 1.
    explicit template_value(char byte) : is_text_(true), text_(&byte, 1) {}
    // A text that views the bytes of `text` instead of copying them (byte_string::view_of):
    // they must stay unchanged and alive as long as the value, or the one it is moved into, reads
    // them.
    static template_value viewing(const byte_string& text) {
        template_value value;
        value.is_text_ = true;
        value.text_.view_of(text.view());
        return value;
    }

    // Copies the integer or the bytes of a text; the scratch text of an integer is not copied.
    template_value(const template_value& other);
    template_value& operator=(const template_value& other);
    // Takes over the other's text storage; the other keeps its kind and integer, its text is
    // left empty.
    template_value(template_value&& other) noexcept;
    template_value& operator=(template_value&& other) noexcept;
    ~template_value() = default;

    bool is_text() const { return is_text_; }

    void set_text(std::string_view text);
    void set_integer(int32_t n);

    // The text form with a NUL after it; valid until this value is next changed or moved from.
    const char* text() const;
    // The text form; valid as long as `text` would be.
    std::string_view view() const;
    int32_t text_length() const { return static_cast<int32_t>(view().size()); }
    int32_t to_integer() const;

    // The text form, with its storage: the value is left the empty text.
    byte_string take_text();

    // Turns this value into a text first.
    void append(std::string_view text);
    // Turns into a text; new bytes are undefined.
    void set_text_length(int32_t n);

  private:
    // Writes the text form of an integer into text_.
    void write_text_form() const;
    void become_text();

    bool is_text_ = false;
    // Read only while the value is no text.
    int32_t integer_ = 0;
    // The value of a text; scratch space for the text form of an integer.
    mutable byte_string text_;
};

// Integer value of a text by the decimal rule above.
int32_t text_to_integer(std::string_view text);
