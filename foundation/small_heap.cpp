#include "small_heap.h"

#include <cassert>
#include <cstdint>
#include <cstdlib>

#include "out_of_memory.h"

#if defined(__unix__)
#include <sys/mman.h>
#endif

namespace small_heap {
namespace detail {

static_assert(class_of(largest == 0 ? 65536 : largest) == class_count - 1 &&
              size_of_class(class_count - 1) == 65536);
static_assert(class_of(1025) == 20 && size_of_class(20) == 2048 && class_of(4097) == 22);
static_assert(class_of(65) == 8 && size_of_class(8) == 96 && class_of(257) == 14);

constinit thread_local heap_state states[2];

namespace {

// Blocks grow from the first size to the huge-page block, so a small run takes little.
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

}  // namespace

void* allocate_from_new_block(heap_state& state, size_t piece_bytes) noexcept {
    const size_t bytes = state.next_block_bytes;
    void* block = nullptr;
    if (bytes >= huge_block_bytes)
        block = map_huge_block(bytes);
    else
        state.next_block_bytes *= 2;
    if (!block) block = std::malloc(bytes);
    if (!block) out_of_memory();
    // the tail of the previous block, too short for this piece, goes to waste
    assert(piece_bytes <= bytes);
    state.bump = static_cast<char*>(block) + piece_bytes;
    state.bump_end = static_cast<char*>(block) + bytes;
    return block;
}

}  // namespace detail
}  // namespace small_heap
