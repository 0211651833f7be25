#pragma once

#include <cstddef>
#include <new>

// Memory for the small objects a document is made of by the million: its nodes and the bytes
// of their texts. Sizes fall into fixed classes carved from large blocks, so a piece costs no
// header (the caller hands its size back on release), pieces made one after another sit side
// by side, and the blocks of a large document are backed by huge pages where the system has
// them: touching fresh memory a page at a time is what makes building a large tree slow.
//
// Each thread takes from its own blocks and keeps what it releases for its own next requests,
// so a piece may be released on any thread. Blocks are never given back to the system: the
// memory of one document is reused for the next.
//
// Under AddressSanitizer every request goes to the general heap, so the sanitizer still sees
// each piece.
namespace small_heap {

// Requests up to this size are served from the blocks.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr size_t largest = 0;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr size_t largest = 0;
#else
inline constexpr size_t largest = 1024;
#endif
#else
inline constexpr size_t largest = 1024;
#endif

// The size actually set aside for a request of `bytes` (1 to largest).
size_t class_bytes(size_t bytes);
// At least `bytes` (1 to largest) bytes aligned to 8, or null when memory is exhausted.
void* allocate(size_t bytes) noexcept;
// Gives back a piece from allocate together with the size it was asked for.
void release(void* piece, size_t bytes) noexcept;

}  // namespace small_heap

// Allocator for containers whose nodes are small (the entries of the maps in document nodes).
template <typename T>
struct small_allocator {
    using value_type = T;

    small_allocator() = default;
    template <typename U>
    small_allocator(const small_allocator<U>&) noexcept {}  // NOLINT: rebinding

    T* allocate(size_t n) {
        const size_t bytes = n * sizeof(T);
        if (bytes > small_heap::largest || alignof(T) > 8)
            return static_cast<T*>(::operator new(bytes));
        void* piece = small_heap::allocate(bytes);
        if (!piece) throw std::bad_alloc();
        return static_cast<T*>(piece);
    }
    void deallocate(T* p, size_t n) noexcept {
        const size_t bytes = n * sizeof(T);
        if (bytes > small_heap::largest || alignof(T) > 8)
            ::operator delete(p);
        else
            small_heap::release(p, bytes);
    }
    template <typename U>
    bool operator==(const small_allocator<U>&) const noexcept {
        return true;
    }
};
