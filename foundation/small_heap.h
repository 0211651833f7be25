#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

#include "out_of_memory.h"

// Memory for the small objects a document is made of by the million: its nodes and the bytes
// of their texts. Sizes fall into fixed classes carved from large blocks, so a piece costs no
// header (the caller hands its size back on release), pieces made one after another sit side
// by side, and the blocks of a large document are backed by huge pages where the system has
// them: touching fresh memory a page at a time is what makes building a large tree slow.
//
// Each thread takes from its own blocks and keeps what it releases for its own next requests,
// so a piece may be released on any thread. Blocks are never given back to the system: the
// memory of one document is reused for the next. A process that lives on after a large document
// (the window) switches to the general heap instead, which can give memory back.
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
inline constexpr size_t largest = 65536;
#endif
#else
inline constexpr size_t largest = 65536;
#endif

// Pieces of one region sit together. Document nodes have their own, so that a walk over all
// nodes of a document streams through memory instead of skipping over their texts.
enum class region : uint8_t { texts = 0, nodes = 1 };

namespace detail {

// Classes: steps of 8 bytes up to 128 (a document node fits its own), of 32 up to 256, of 128
// up to 1024, then powers of two up to 65536 (the folded runs of a document and the pieces of a
// rendered TOC).
inline constexpr size_t class_count = 32;

constexpr size_t class_of(size_t bytes) {
    if (bytes <= 128) return bytes == 0 ? 0 : (bytes - 1) / 8;
    if (bytes <= 256) return 16 + (bytes - 129) / 32;
    if (bytes <= 1024) return 20 + (bytes - 257) / 128;
    size_t c = 26;
    for (size_t size = 2048; size < bytes; size *= 2)
        ++c;
    return c;
}

constexpr size_t size_of_class(size_t c) {
    if (c < 16) return (c + 1) * 8;
    if (c < 20) return 128 + (c - 15) * 32;
    if (c < 26) return 256 + (c - 19) * 128;
    return size_t{2048} << (c - 26);
}

struct free_piece {
    free_piece* next;
};

// Trivially destructible, so a thread's state is never torn down under pieces that outlive
// the thread; its blocks then stay with the process.
struct heap_state {
    free_piece* free_lists[class_count] = {};
    char* bump = nullptr;
    char* bump_end = nullptr;
    size_t next_block_bytes = 64 * 1024;
};

extern constinit thread_local heap_state states[2];
// Set once by use_general_heap.
extern constinit bool general;

// Takes a new block for the state and the piece from it; calls out_of_memory when there is none.
void* allocate_from_new_block(heap_state& state, size_t piece_bytes) noexcept;
void* allocate_general(size_t bytes) noexcept;
// Gives a piece back to the general heap, or to the free list of a block it came from.
void release_general(void* piece, size_t bytes, heap_state& state) noexcept;

}  // namespace detail

// The size actually set aside for a request of `bytes` (1 to largest).
constexpr size_t class_bytes(size_t bytes) {
    return detail::size_of_class(detail::class_of(bytes));
}

// At least `bytes` (1 to largest) bytes aligned to 8, never null: exhausted memory ends the
// process through out_of_memory. Inline: it runs for every node and text of a document.
inline void* allocate(size_t bytes, region where = region::texts) noexcept {
    if (detail::general) return detail::allocate_general(bytes);
    detail::heap_state& state = detail::states[static_cast<size_t>(where)];
    const size_t c = detail::class_of(bytes);
    if (detail::free_piece* piece = state.free_lists[c]) {
        state.free_lists[c] = piece->next;
        // freed pieces lie scattered: fetch the next one while the caller fills this one
        __builtin_prefetch(piece->next, 1);
        return piece;
    }
    const size_t piece_bytes = detail::size_of_class(c);
    if (static_cast<size_t>(state.bump_end - state.bump) < piece_bytes)
        return detail::allocate_from_new_block(state, piece_bytes);
    void* piece = state.bump;
    state.bump += piece_bytes;
    return piece;
}

// Gives back a piece from allocate together with the size and region it was asked for.
inline void release(void* piece, size_t bytes, region where = region::texts) noexcept {
    if (!piece) return;
    detail::heap_state& state = detail::states[static_cast<size_t>(where)];
    if (detail::general) {
        detail::release_general(piece, bytes, state);
        return;
    }
    const size_t c = detail::class_of(bytes);
    auto* entry = static_cast<detail::free_piece*>(piece);
    entry->next = state.free_lists[c];
    state.free_lists[c] = entry;
}

// For the operator new and delete of a class made by the million, each object `bytes` long:
// a piece of `where` when it fits one, else (always under AddressSanitizer) the general heap.
// Never null.
inline void* allocate_object(size_t bytes, region where = region::texts) noexcept {
    if (bytes <= largest) return allocate(bytes, where);
    void* object = ::operator new(bytes, std::nothrow);
    if (!object) out_of_memory();
    return object;
}
inline void release_object(void* object, size_t bytes, region where = region::texts) noexcept {
    if (bytes <= largest)
        release(object, bytes, where);
    else
        ::operator delete(object);
}

// Storage of at least `bytes` from the general heap, released with std::free; never null. From
// `large_bytes` on it is whole huge pages, which the system may back with huge pages: a whole
// source file is read into such storage, and faulting that in a small page at a time costs more
// than reading it.
inline constexpr size_t large_bytes = size_t{4} << 20;
void* allocate_large(size_t bytes) noexcept;

// From now on every request of every thread goes to the general heap; pieces taken from the
// blocks before are still released there. Call it early, on the main thread, before any other
// thread uses the heap.
void use_general_heap() noexcept;
// Gives the free memory of the general heap back to the system, where it can.
void give_back_free_memory() noexcept;

}  // namespace small_heap

// A stateless allocator taking its storage from `Storage`, which allocates and releases a number
// of bytes aligned as asked.
template <typename T, typename Storage>
struct storage_allocator {
    using value_type = T;

    storage_allocator() = default;
    template <typename U>
    storage_allocator(const storage_allocator<U, Storage>&) noexcept {}  // NOLINT: rebinding

    T* allocate(size_t n) {
        if (n > SIZE_MAX / sizeof(T)) out_of_memory();
        return static_cast<T*>(Storage::allocate(n * sizeof(T), alignof(T)));
    }
    void deallocate(T* p, size_t n) noexcept { Storage::release(p, n * sizeof(T), alignof(T)); }
    template <typename U>
    bool operator==(const storage_allocator<U, Storage>&) const noexcept {
        return true;
    }
};

// Pieces of the small-object heap where they fit, else the general heap.
struct small_storage {
    static void* allocate(size_t bytes, size_t alignment) {
        if (bytes > small_heap::largest || alignment > 8) return ::operator new(bytes);
        return small_heap::allocate(bytes);
    }
    static void release(void* p, size_t bytes, size_t alignment) noexcept {
        if (bytes > small_heap::largest || alignment > 8)
            ::operator delete(p);
        else
            small_heap::release(p, bytes);
    }
};

// Storage from allocate_large.
struct large_storage {
    static void* allocate(size_t bytes, size_t alignment) {
        if (alignment > alignof(std::max_align_t))
            return ::operator new (bytes, std::align_val_t{alignment});
        return small_heap::allocate_large(bytes);
    }
    static void release(void* p, size_t, size_t alignment) noexcept {
        if (alignment > alignof(std::max_align_t))
            ::operator delete (p, std::align_val_t{alignment});
        else
            std::free(p);
    }
};

// Allocator for containers whose nodes are small (the entries of the maps in document nodes).
template <typename T>
using small_allocator = storage_allocator<T, small_storage>;
// Allocator for containers that may grow large, such as a row for every heading of a page.
template <typename T>
using large_allocator = storage_allocator<T, large_storage>;
