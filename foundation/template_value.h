#pragma once

#include <cstdint>
#include <string_view>

#include "byte_string.h"

// The codes are stored and compared as numbers, so their values are fixed.
enum class value_kind : int16_t {
    text = 2,
    boolean = 5,
    integer = 11,
    real = 23,
    pointer = 101,
};

// Dynamic value: a text, a boolean, an integer, a real or a pointer, converted on demand.
// A non-text value writes its text form into its own buffer without changing its kind.
//
// Text form of each kind: boolean "1"/"0"; integer decimal; real with 3 decimals above
// 100000 and 8 decimals otherwise, trailing zeros and a trailing point removed, "0" when
// |x| < 1e-10, |x| > 1e18 or NaN; pointer "0x" and the whole 64-bit pointer in lower-case
// hexadecimal without leading zeros. The integer form of a pointer is its low 32 bits; its
// real form is the whole pointer read as an unsigned number.
//
// Text to integer: leading white space, an optional sign, decimal digits up to the first
// non-digit, wrapping at 32 bits; 0 without digits. Text to real: the longest decimal
// floating-point prefix (no hexadecimal form), 0 without one.
class template_value {
  public:
    template_value() = default;
    explicit template_value(int32_t n) : kind_(value_kind::integer) { scalar_.integer = n; }
    explicit template_value(bool b) : kind_(value_kind::boolean) { scalar_.boolean = b; }
    explicit template_value(double x) : kind_(value_kind::real) { scalar_.real = x; }
    // Not owned and never dereferenced.
    explicit template_value(const void* p) : kind_(value_kind::pointer) { scalar_.pointer = p; }
    // A null pointer gives the empty text.
    explicit template_value(const char* cstr);
    explicit template_value(std::string_view text);
    explicit template_value(const byte_string& text);
    // A text of length 1.
    explicit template_value(char byte);

    // Copies kind, payload and the bytes of a text; the scratch text of other kinds is not copied.
    template_value(const template_value& other);
    template_value& operator=(const template_value& other);
    // Takes over the other's text storage; the other keeps its kind and payload, its text is
    // left empty.
    template_value(template_value&& other) noexcept;
    template_value& operator=(template_value&& other) noexcept;
    ~template_value() = default;

    value_kind kind() const { return kind_; }
    bool is_text() const { return kind_ == value_kind::text; }

    void set_text(const char* cstr);
    void set_text(std::string_view text);
    void set_integer(int32_t n);
    void set_bool(bool b);
    void set_real(double x);
    void set_pointer(const void* p);

    // Converts in place to kind code 2, 5, 11 or 23; every other code (pointer included) and
    // the current kind do nothing.
    void convert(int32_t code);
    void convert(value_kind kind) { convert(static_cast<int32_t>(kind)); }

    // The text form with a NUL after it; valid until this value is next changed or moved from.
    const char* text() const;
    // The text form; valid as long as `text` would be.
    std::string_view view() const;
    int32_t text_length() const { return static_cast<int32_t>(view().size()); }
    int32_t to_integer() const;
    bool to_bool() const;
    double to_real() const;
    // The payload of a pointer value, null for every other kind.
    const void* to_pointer() const {
        return kind_ == value_kind::pointer ? scalar_.pointer : nullptr;
    }
    // First byte of the text form; 0 for the empty text.
    char first_char() const;

    // Both turn this value into a text first.
    void append(const template_value& other);
    void append(std::string_view text);
    // Becomes the text of the first min(n, length) bytes of the other's text form.
    void assign_prefix(const template_value& other, int32_t n);
    void assign_bytes(const char* bytes, int32_t n);
    // Turns into a text; deletes the first n bytes when 0 < n <= length.
    void erase_prefix(int32_t n);
    // Turn into an integer, then add or subtract 1, wrapping at 32 bits.
    void increment();
    void decrement();
    void assign_text_of(const template_value& other);
    // Turns into a text; new bytes are undefined.
    void set_text_length(int32_t n);
    // Turns into a text, then replaces every occurrence of a's text form by b's.
    void replace(const template_value& a, const template_value& b);
    // Position in the text form, -1 when absent or the needle is empty.
    int32_t find(const template_value& needle, int32_t from = 0) const;
    int32_t find_last(const template_value& needle) const;
    // Byte-wise order of the text forms (empty first, prefix first).
    static int compare(const template_value& a, const template_value& b);

  private:
    // Writes the text form of a non-text value into text_.
    void write_text_form() const;
    void become_text();

    value_kind kind_ = value_kind::integer;
    // Only the member named by kind_ is ever read.
    union scalar {
        bool boolean;
        int32_t integer;
        double real;
        const void* pointer;
    };

    scalar scalar_ = {.integer = 0};
    // The value of a text; scratch space for the text form of every other kind.
    mutable byte_string text_;
};

// Integer value of a text by the decimal rule above.
int32_t text_to_integer(std::string_view text);
// Real value of a text by the rule above.
double text_to_real(std::string_view text);
