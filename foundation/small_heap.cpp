#include "small_heap.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cassert>
#include <cstdint>
#include <cstdlib>
#include <utility>

#include "out_of_memory.h"

#if defined(__unix__)
#include <sys/mman.h>
#endif
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace small_heap {
namespace detail {

static_assert(class_of(largest == 0 ? 65536 : largest) == class_count - 1 &&
              size_of_class(class_count - 1) == 65536);
static_assert(class_of(1025) == 26 && size_of_class(26) == 2048 && class_of(4097) == 28);
static_assert(class_of(129) == 16 && size_of_class(16) == 160 && size_of_class(15) == 128);
static_assert(class_of(257) == 20 && size_of_class(20) == 384 && size_of_class(25) == 1024);

constinit thread_local heap_state states[2];
constinit bool general = false;

namespace {

// Blocks grow from the first size to the huge-page block, so a small run takes little; they grow
// eightfold, as each small page of a block costs a fault when first touched and a large document
// should reach the huge pages soon.
constexpr size_t huge_page_bytes = 2 * 1024 * 1024;
constexpr size_t huge_block_bytes = 2 * huge_page_bytes;

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

// Every block made, so that a piece can tell where it came from once the general heap serves
// requests; a block past the table is never released into.
constexpr size_t most_blocks_known = 4096;
std::atomic<size_t> blocks_made{0};
std::array<std::pair<uintptr_t, uintptr_t>, most_blocks_known> known_blocks;

bool is_in_block(const void* piece) {
    const auto at = reinterpret_cast<uintptr_t>(piece);
    const size_t count = std::min(blocks_made.load(std::memory_order_acquire), most_blocks_known);
    for (size_t i = 0; i < count; ++i) {
        if (at >= known_blocks[i].first && at < known_blocks[i].second) return true;
    }
    return false;
}

}  // namespace

void* allocate_from_new_block(heap_state& state, size_t piece_bytes) noexcept {
    const size_t bytes = state.next_block_bytes;
    void* block = nullptr;
    if (bytes >= huge_block_bytes)
        block = map_huge_block(bytes);
    else
        state.next_block_bytes = std::min(bytes * 8, huge_block_bytes);
    if (!block) block = std::malloc(bytes);
    if (!block) out_of_memory();
    const size_t index = blocks_made.fetch_add(1, std::memory_order_acq_rel);
    if (index < most_blocks_known) {
        const auto start = reinterpret_cast<uintptr_t>(block);
        known_blocks[index] = {start, start + bytes};
    }
    // the tail of the previous block, too short for this piece, goes to waste
    assert(piece_bytes <= bytes);
    state.bump = static_cast<char*>(block) + piece_bytes;
    state.bump_end = static_cast<char*>(block) + bytes;
    return block;
}

void* allocate_general(size_t bytes) noexcept {
    // a caller may use all of class_bytes
    void* piece = std::malloc(size_of_class(class_of(bytes)));
    if (!piece) out_of_memory();
    return piece;
}

void release_general(void* piece, size_t bytes, heap_state& state) noexcept {
    if (!is_in_block(piece)) {
        std::free(piece);
        return;
    }
    auto* entry = static_cast<free_piece*>(piece);
    const size_t c = class_of(bytes);
    entry->next = state.free_lists[c];
    state.free_lists[c] = entry;
}

}  // namespace detail

void* allocate_large(size_t bytes) noexcept {
    if (bytes < large_bytes) {
        // malloc may give null for no bytes, which must not read as exhausted memory
        void* storage = std::malloc(bytes == 0 ? 1 : bytes);
        if (!storage) out_of_memory();
        return storage;
    }
    if (bytes > SIZE_MAX - detail::huge_page_bytes) out_of_memory();
    // whole huge pages from the first byte to the last: a page at either end that is only partly
    // the storage's would be faulted in a small page at a time
    const size_t whole =
        (bytes + detail::huge_page_bytes - 1) / detail::huge_page_bytes * detail::huge_page_bytes;
    void* storage = std::aligned_alloc(detail::huge_page_bytes, whole);
    if (!storage) out_of_memory();
#if defined(__unix__) && defined(MADV_HUGEPAGE)
    madvise(storage, whole, MADV_HUGEPAGE);
#endif
    return storage;
}

void use_general_heap() noexcept {
    // a piece from a block past the table could not be told from a general one
    if (detail::blocks_made.load() < detail::most_blocks_known) detail::general = true;
}

void give_back_free_memory() noexcept {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

}  // namespace small_heap
