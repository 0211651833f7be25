#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

// Growable byte buffer holding every text of the program. Bytes are not kept
// NUL-terminated; `c_str` places a NUL just past the text. Text may hold NULs.
//
// A buffer may also view bytes it does not own (`view_of`), as the texts of a document view the
// source they were read from. Any change to a view first copies its bytes into storage of its
// own, and so does a copy of it; a move hands the view on.
class byte_string {
  public:
    // The most bytes a buffer holds; more end the program through out_of_memory().
    static constexpr int32_t longest_text = INT32_MAX - 8;

    byte_string() = default;
    byte_string(const char* cstr);  // NOLINT(google-explicit-constructor): texts read as literals
    byte_string(const char* bytes, int32_t n);
    explicit byte_string(std::string_view text);
    byte_string(const byte_string& other);
    byte_string(byte_string&& other) noexcept;
    byte_string& operator=(const byte_string& other);
    byte_string& operator=(byte_string&& other) noexcept;
    ~byte_string();

    int32_t length() const { return length_; }
    // 0 for a view.
    int32_t capacity() const { return capacity_; }
    bool is_empty() const { return length_ == 0; }
    bool is_view() const { return capacity_ == 0 && bytes_; }
    // Valid until the next operation that grows or resets the buffer; null without storage.
    // The writable form turns a view into storage of its own first.
    char* data() {
        if (is_view()) own();
        return bytes_;
    }
    const char* data() const { return bytes_; }
    std::string_view view() const { return {bytes_ ? bytes_ : "", static_cast<size_t>(length_)}; }
    char operator[](int32_t i) const { return bytes_[i]; }
    char& operator[](int32_t i) { return data()[i]; }
    unsigned char byte_at(int32_t i) const { return static_cast<unsigned char>(bytes_[i]); }

    // A null pointer empties the buffer and releases its storage.
    void assign(const char* cstr);
    void assign(const char* bytes, int32_t n);
    void assign(const byte_string& other);
    // Takes over the other's storage; the other is left without storage.
    void move_from(byte_string& other);
    // Views `bytes` instead of holding a copy: they must stay unchanged and alive as long as this
    // buffer views them. Releases the old storage.
    void view_of(std::string_view bytes) {
        // a reader's nodes view their source by the million: one that owns nothing just points
        if (capacity_ == 0 && bytes.size() <= static_cast<size_t>(longest_text)) {
            bytes_ = bytes.empty() ? nullptr : const_cast<char*>(bytes.data());
            length_ = static_cast<int32_t>(bytes.size());
        } else {
            view_of_releasing(bytes);
        }
    }
    // Lengthens a view by the `n` bytes right after it, which must belong to the same storage as
    // the viewed bytes.
    void widen_view(int32_t n) { length_ += n; }
    void append(const char* cstr);
    void append(const char* bytes, int32_t n) {
        // the scanners append run by run: only growth leaves the inline path
        if (bytes && n > 0 && n <= capacity_ - length_) {
            std::memmove(bytes_ + length_, bytes, static_cast<size_t>(n));
            length_ += n;
        } else {
            append_growing(bytes, n);
        }
    }
    void append(const byte_string& other);
    void append(std::string_view text) { append(text.data(), static_cast<int32_t>(text.size())); }
    void push(char byte) {
        // the scanners push byte by byte: only growth leaves the inline path
        if (length_ < capacity_)
            bytes_[length_++] = byte;
        else
            push_growing(byte);
    }
    // Negative n or n equal to the length does nothing; new bytes are undefined.
    void set_length(int32_t n) {
        if (n >= 0 && n <= capacity_)
            length_ = n;
        else
            set_length_growing(n);
    }
    // Makes room for `n` bytes in all, exactly, keeping the text; smaller n does nothing.
    void reserve(int32_t n);
    // Releases the storage; n > 0 allocates fresh (undefined) bytes.
    void reset(int32_t n);
    void clear() { set_length(0); }
    // Pointer to the bytes with a NUL after them; never null.
    const char* c_str();

    // -1 when absent, when `from` is out of range or the needle is empty or too long.
    int32_t find(std::string_view needle, int32_t from = 0) const;
    int32_t find_char(char byte, int32_t from = 0) const;
    bool starts_with(std::string_view prefix) const { return view().starts_with(prefix); }
    bool ends_with(std::string_view suffix) const { return view().ends_with(suffix); }

    bool operator==(const byte_string& other) const { return view() == other.view(); }
    bool operator==(std::string_view other) const { return view() == other; }
    bool operator==(const char* other) const { return view() == std::string_view(other); }

    // Every byte a is replaced by the text; an empty text deletes it.
    void replace_char(char a, std::string_view text);

    // Escapes " & < > and bytes >= 0x80 (as &#NNN;); the apostrophe stays.
    void html_escape();
    // Drops every CR, then writes every LF as CR LF.
    void to_crlf();
    // Hexadecimal digits read as a 32-bit value; any other byte makes it 0.
    int32_t hex_value() const;
    // Percent-encodes all but letters, digits, '-', '.', '_' and '/'.
    void url_encode_path();

  private:
    void grow_to(int32_t n);
    // Storage of `capacity` bytes keeping the text that fits, a view's too.
    void set_capacity(int32_t capacity);
    void own();
    void push_growing(char byte);
    void view_of_releasing(std::string_view bytes);
    void append_growing(const char* bytes, int32_t n);
    void set_length_growing(int32_t n);

    char* bytes_ = nullptr;
    int32_t capacity_ = 0;
    int32_t length_ = 0;
};
