#include "byte_string.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "out_of_memory.h"
#include "small_heap.h"

namespace {

// Capacity for n bytes: n + n/16 + extra, kept inside the 32-bit range.
int32_t grown_capacity(int64_t n, int extra) {
    int64_t cap = n + n / 16 + extra;
    if (cap > std::numeric_limits<int32_t>::max()) cap = std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(cap);
}

// Fresh storage of `capacity` bytes. Small buffers (the raw text of most document nodes) come
// from the small-object heap, which needs the capacity back to release them; larger ones from
// the general heap.
inline char* allocate_storage(int32_t capacity) {
    const auto size = static_cast<size_t>(capacity);
    if (size <= small_heap::largest) return static_cast<char*>(small_heap::allocate(size));
    return static_cast<char*>(small_heap::allocate_large(size));
}

// Storage of `capacity` bytes keeping the bytes of the old storage that fit.
char* reallocate(char* old, int32_t old_capacity, int32_t capacity) {
    if (!old) return allocate_storage(capacity);
    const auto old_size = static_cast<size_t>(old_capacity);
    const auto size = static_cast<size_t>(capacity);
    const bool old_small = old && old_size <= small_heap::largest;
    const bool small = size <= small_heap::largest;
    // grown storage stays what the general heap makes of it: backing each step with huge pages
    // would have the system compact memory for it every time
    if (old && !old_small && !small) {
        char* bytes = static_cast<char*>(std::realloc(old, size));
        if (!bytes) out_of_memory();
        return bytes;
    }
    if (old_small && small && small_heap::class_bytes(old_size) == small_heap::class_bytes(size))
        return old;
    char* bytes = allocate_storage(capacity);
    if (old) {
        std::memcpy(bytes, old, old_size < size ? old_size : size);
        if (old_small)
            small_heap::release(old, old_size);
        else
            std::free(old);
    }
    return bytes;
}

inline void release_storage(char* bytes, int32_t capacity) {
    // a view owns nothing
    if (!bytes || capacity == 0) return;
    if (static_cast<size_t>(capacity) <= small_heap::largest)
        small_heap::release(bytes, static_cast<size_t>(capacity));
    else
        std::free(bytes);
}

// A length past the 32-bit range would corrupt every later offset: stop instead.
int32_t checked_length(int64_t n) {
    if (n > byte_string::longest_text) out_of_memory();
    return static_cast<int32_t>(n);
}

}  // namespace

byte_string::byte_string(const char* cstr) {
    if (!cstr) return;
    assign(cstr, checked_length(static_cast<int64_t>(std::strlen(cstr))));
    if (!bytes_) set_capacity(2);
}

byte_string::byte_string(const char* bytes, int32_t n) {
    assign(bytes, n);
}

byte_string::byte_string(std::string_view text)
    : byte_string(text.data(), checked_length(static_cast<int64_t>(text.size()))) {}

byte_string::byte_string(const byte_string& other) {
    assign(other);
}

byte_string::byte_string(byte_string&& other) noexcept
    : bytes_(other.bytes_), capacity_(other.capacity_), length_(other.length_) {
    other.bytes_ = nullptr;
    other.capacity_ = other.length_ = 0;
}

byte_string& byte_string::operator=(const byte_string& other) {
    if (this != &other) assign(other);
    return *this;
}

byte_string& byte_string::operator=(byte_string&& other) noexcept {
    if (this != &other) move_from(other);
    return *this;
}

byte_string::~byte_string() {
    release_storage(bytes_, capacity_);
}

void byte_string::assign(const char* cstr) {
    if (!cstr) {
        reset(0);
        return;
    }
    assign(cstr, checked_length(static_cast<int64_t>(std::strlen(cstr))));
}

void byte_string::assign(const char* bytes, int32_t n) {
    if (n < 0) n = 0;
    if (bytes >= bytes_ && bytes < bytes_ + length_) {
        // assigning a piece of itself: keep the source alive while copying
        byte_string copy(bytes, n);
        move_from(copy);
        return;
    }
    reset(n);
    if (n > 0) std::memcpy(bytes_, bytes, static_cast<size_t>(n));
}

void byte_string::assign(const byte_string& other) {
    if (this == &other) return;
    assign(other.bytes_, other.length_);
}

void byte_string::move_from(byte_string& other) {
    if (this == &other) return;
    release_storage(bytes_, capacity_);
    bytes_ = other.bytes_;
    capacity_ = other.capacity_;
    length_ = other.length_;
    other.bytes_ = nullptr;
    other.capacity_ = other.length_ = 0;
}

void byte_string::view_of_releasing(std::string_view bytes) {
    release_storage(bytes_, capacity_);
    // never written through: every change copies a view first
    bytes_ = bytes.empty() ? nullptr : const_cast<char*>(bytes.data());
    capacity_ = 0;
    length_ = checked_length(static_cast<int64_t>(bytes.size()));
}

void byte_string::set_capacity(int32_t capacity) {
    if (is_view()) {
        char* bytes = allocate_storage(capacity);
        std::memcpy(bytes, bytes_, static_cast<size_t>(length_ < capacity ? length_ : capacity));
        bytes_ = bytes;
    } else {
        bytes_ = reallocate(bytes_, capacity_, capacity);
    }
    capacity_ = capacity;
}

void byte_string::own() {
    if (length_ == 0)
        bytes_ = nullptr;
    else
        set_capacity(grown_capacity(length_, 2));
}

void byte_string::append(const char* cstr) {
    if (!cstr) return;
    append(cstr, checked_length(static_cast<int64_t>(std::strlen(cstr))));
}

void byte_string::append_growing(const char* bytes, int32_t n) {
    if (!bytes || n <= 0) return;
    if (bytes >= bytes_ && bytes < bytes_ + capacity_) {
        // appending a piece of itself: growth may move the source
        byte_string copy(bytes, n);
        append(copy);
        return;
    }
    int32_t old = length_;
    set_length(checked_length(static_cast<int64_t>(old) + n));
    std::memcpy(bytes_ + old, bytes, static_cast<size_t>(n));
}

void byte_string::append(const byte_string& other) {
    if (this == &other) {
        byte_string copy(other);
        append(copy.bytes_, copy.length_);
        return;
    }
    append(other.bytes_, other.length_);
}

void byte_string::push_growing(char byte) {
    if (!bytes_) {
        set_capacity(3);
    } else if (length_ >= capacity_) {
        checked_length(static_cast<int64_t>(length_) + 1);
        set_capacity(grown_capacity(length_, 3));
    }
    bytes_[length_++] = byte;
}

void byte_string::grow_to(int32_t n) {
    set_capacity(grown_capacity(n, 2));
}

void byte_string::set_length_growing(int32_t n) {
    if (n < 0 || n == length_) return;
    // a view shortens in place
    if (n > capacity_ && !(is_view() && n < length_)) grow_to(n);
    length_ = n;
}

void byte_string::reserve(int32_t n) {
    if (n <= capacity_ || (is_view() && n <= length_)) return;
    set_capacity(n);
}

void byte_string::reset(int32_t n) {
    release_storage(bytes_, capacity_);
    bytes_ = nullptr;
    capacity_ = length_ = 0;
    if (n <= 0) return;
    // every document node's text is made here: straight to fresh storage
    capacity_ = grown_capacity(n, 2);
    bytes_ = allocate_storage(capacity_);
    length_ = n;
}

const char* byte_string::c_str() {
    if (length_ >= capacity_) set_capacity(grown_capacity(static_cast<int64_t>(length_) + 1, 2));
    bytes_[length_] = '\0';
    return bytes_;
}

int32_t byte_string::find(std::string_view needle, int32_t from) const {
    if (from < 0 || from >= length_ || needle.empty()) return -1;
    if (needle.size() > static_cast<size_t>(length_)) return -1;
    size_t pos = view().find(needle, static_cast<size_t>(from));
    return pos == std::string_view::npos ? -1 : static_cast<int32_t>(pos);
}

int32_t byte_string::find_char(char byte, int32_t from) const {
    if (from < 0 || from >= length_) return -1;
    const void* hit = std::memchr(bytes_ + from, byte, static_cast<size_t>(length_ - from));
    return hit ? static_cast<int32_t>(static_cast<const char*>(hit) - bytes_) : -1;
}

void byte_string::replace_char(char a, std::string_view t) {
    const std::string_view s(&a, 1);
    if (length_ == 0) return;
    std::string_view text = view();
    int64_t count = 0;
    for (size_t pos = text.find(s); pos != std::string_view::npos;
         pos = text.find(s, pos + s.size()))
        ++count;
    if (count == 0) return;
    int64_t size =
        length_ + count * (static_cast<int64_t>(t.size()) - static_cast<int64_t>(s.size()));
    byte_string out;
    out.reset(checked_length(size));
    char* dst = out.bytes_;
    size_t start = 0;
    for (size_t pos = text.find(s); pos != std::string_view::npos; pos = text.find(s, start)) {
        std::memcpy(dst, text.data() + start, pos - start);
        dst += pos - start;
        if (!t.empty()) std::memcpy(dst, t.data(), t.size());
        dst += t.size();
        start = pos + s.size();
    }
    std::memcpy(dst, text.data() + start, text.size() - start);
    out.length_ = static_cast<int32_t>(size);
    move_from(out);
}

void byte_string::html_escape() {
    int64_t size = 0;
    for (int32_t i = 0; i < length_; ++i) {
        unsigned char c = byte_at(i);
        if (c == '"')
            size += 6;
        else if (c == '&')
            size += 5;
        else if (c == '<' || c == '>')
            size += 4;
        else if (c >= 0x80)
            size += 6;
        else
            size += 1;
    }
    if (size == length_) return;
    byte_string out;
    out.reset(checked_length(size));
    char* dst = out.bytes_;
    auto put = [&dst](const char* s) {
        size_t n = std::strlen(s);
        std::memcpy(dst, s, n);
        dst += n;
    };
    for (int32_t i = 0; i < length_; ++i) {
        unsigned char c = byte_at(i);
        if (c == '"')
            put("&quot;");
        else if (c == '&')
            put("&amp;");
        else if (c == '<')
            put("&lt;");
        else if (c == '>')
            put("&gt;");
        else if (c >= 0x80) {
            char ref[7] = {'&',
                           '#',
                           static_cast<char>('0' + c / 100),
                           static_cast<char>('0' + c / 10 % 10),
                           static_cast<char>('0' + c % 10),
                           ';',
                           '\0'};
            put(ref);
        } else
            *dst++ = static_cast<char>(c);
    }
    move_from(out);
}

void byte_string::to_crlf() {
    replace_char('\r', std::string_view());
    replace_char('\n', "\r\n");
}

int32_t byte_string::hex_value() const {
    uint32_t value = 0;
    for (int32_t i = 0; i < length_; ++i) {
        unsigned char c = byte_at(i);
        uint32_t digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return 0;
        value = value * 16 + digit;
    }
    return static_cast<int32_t>(value);
}

void byte_string::url_encode_path() {
    static constexpr char hex[] = "0123456789ABCDEF";
    byte_string out;
    for (int32_t i = 0; i < length_; ++i) {
        unsigned char c = byte_at(i);
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                     c == '-' || c == '.' || c == '_' || c == '/';
        if (plain) {
            out.push(static_cast<char>(c));
        } else {
            out.push('%');
            out.push(hex[c >> 4]);
            out.push(hex[c & 15]);
        }
    }
    move_from(out);
}
