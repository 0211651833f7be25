#include "foundation/small_heap.h"

#include <array>
#include <cassert>
#include <cstdint>
#include <cstdlib>

#if defined(__unix__)
#include <sys/mman.h>
#endif

namespace small_heap {
namespace {

// Classes: steps of 8 bytes up to 64, of 32 up to 256, of 128 up to 1024.
constexpr size_t class_count = 20;

constexpr size_t class_of(size_t bytes) {
    if (bytes <= 64) return bytes == 0 ? 0 : (bytes - 1) / 8;
    if (bytes <= 256) return 6 + (bytes - 1) / 32;
    return 12 + (bytes - 1) / 128;
}

constexpr size_t size_of_class(size_t c) {
    if (c < 8) return (c + 1) * 8;
    if (c < 14) return (c - 5) * 32;
    return (c - 11) * 128;
}

static_assert(class_of(1024) == class_count - 1 && size_of_class(class_count - 1) == 1024);
static_assert(class_of(65) == 8 && size_of_class(8) == 96 && class_of(257) == 14);

// Blocks grow from the first size to the huge-page block, so a small run takes little.
constexpr size_t first_block_bytes = 64 * 1024;
constexpr size_t huge_page_bytes = 2 * 1024 * 1024;
constexpr size_t huge_block_bytes = 2 * huge_page_bytes;

struct free_piece {
    free_piece* next;
};

// Trivially destructible, so a thread's state is never torn down under pieces that outlive
// the thread; its blocks then stay with the process.
struct heap_state {
    std::array<free_piece*, class_count> free_lists{};
    char* bump = nullptr;
    char* bump_end = nullptr;
    size_t next_block_bytes = first_block_bytes;
};

constinit thread_local heap_state state;

// A block of whole huge pages aligned to one, which the system may back with huge pages.
// Null where that is not to be had.
void* map_huge_block(size_t bytes) noexcept {
#if defined(__unix__)
    const size_t span = bytes + huge_page_bytes;
    void* area = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (area == MAP_FAILED) return nullptr;
    const auto start = reinterpret_cast<uintptr_t>(area);
    const uintptr_t aligned = (start + huge_page_bytes - 1) / huge_page_bytes * huge_page_bytes;
    if (aligned > start) munmap(area, aligned - start);
    const uintptr_t tail = aligned + bytes;
    if (start + span > tail) munmap(reinterpret_cast<void*>(tail), start + span - tail);
#if defined(MADV_HUGEPAGE)
    madvise(reinterpret_cast<void*>(aligned), bytes, MADV_HUGEPAGE);
#endif
    return reinterpret_cast<void*>(aligned);
#else
    (void)bytes;
    return nullptr;
#endif
}

bool refill(size_t piece_bytes) noexcept {
    size_t bytes = state.next_block_bytes;
    void* block = nullptr;
    if (bytes >= huge_block_bytes) {
        block = map_huge_block(bytes);
    } else {
        state.next_block_bytes *= 2;
    }
    if (!block) block = std::malloc(bytes);
    if (!block) return false;
    // the tail of the previous block, too short for this piece, goes to waste
    state.bump = static_cast<char*>(block);
    state.bump_end = state.bump + bytes;
    assert(piece_bytes <= bytes);
    (void)piece_bytes;
    return true;
}

}  // namespace

size_t class_bytes(size_t bytes) {
    return size_of_class(class_of(bytes));
}

void* allocate(size_t bytes) noexcept {
    assert(bytes <= largest);
    const size_t c = class_of(bytes);
    if (free_piece* piece = state.free_lists[c]) {
        state.free_lists[c] = piece->next;
        // freed pieces lie scattered: fetch the next one while the caller fills this one
        __builtin_prefetch(piece->next, 1);
        return piece;
    }
    const size_t piece_bytes = size_of_class(c);
    if (static_cast<size_t>(state.bump_end - state.bump) < piece_bytes && !refill(piece_bytes))
        return nullptr;
    void* piece = state.bump;
    state.bump += piece_bytes;
    return piece;
}

void release(void* piece, size_t bytes) noexcept {
    if (!piece) return;
    const size_t c = class_of(bytes);
    auto* entry = static_cast<free_piece*>(piece);
    entry->next = state.free_lists[c];
    state.free_lists[c] = entry;
}

}  // namespace small_heap
