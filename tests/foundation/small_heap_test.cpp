#include "small_heap.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "byte_string.h"

namespace {

TEST(SmallHeapTest, PiecesOfEverySizeAreDistinctAndKeepTheirBytes) {
    if (small_heap::largest == 0) GTEST_SKIP() << "every request goes to the general heap";
    struct piece {
        unsigned char* bytes;
        size_t size;
    };
    std::vector<piece> pieces;
    for (int round = 0; round < 3; ++round) {
        for (size_t size = 1; size <= small_heap::largest; size += 7) {
            auto* bytes = static_cast<unsigned char*>(small_heap::allocate(size));
            ASSERT_NE(bytes, nullptr);
            EXPECT_EQ(reinterpret_cast<uintptr_t>(bytes) % 8, 0u);
            EXPECT_GE(small_heap::class_bytes(size), size);
            std::memset(bytes, static_cast<int>(pieces.size() & 0xFF), size);
            pieces.push_back({bytes, size});
        }
        // every other piece goes back and is taken again by the next round
        for (size_t i = pieces.size(); i-- > 0;) {
            if (i % 2 == 0) continue;
            small_heap::release(pieces[i].bytes, pieces[i].size);
            pieces.erase(pieces.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
    for (size_t i = 0; i < pieces.size(); ++i) {
        for (size_t b = 0; b < pieces[i].size; ++b)
            ASSERT_EQ(pieces[i].bytes[b], pieces[i].bytes[0]) << "piece " << i << " byte " << b;
    }
    for (const piece& p : pieces)
        small_heap::release(p.bytes, p.size);
}

TEST(SmallHeapTest, TextsMadeOnOneThreadMayDieOnAnother) {
    std::vector<byte_string> texts;
    for (int i = 0; i < 1000; ++i)
        texts.emplace_back(std::string(static_cast<size_t>(i % 100), 'x'));
    std::thread([&texts] { texts.clear(); }).join();
    std::thread([] {
        std::vector<byte_string> own(1000, byte_string("made here"));
        EXPECT_EQ(own.back().view(), "made here");
    }).join();
    byte_string after("after");
    EXPECT_EQ(after.view(), "after");
}

// The window's switch: texts made before it are released into their blocks, and a text made
// after it grows within all of its class as it does in a block.
TEST(SmallHeapTest, TextsSurviveTheSwitchToTheGeneralHeap) {
    std::vector<byte_string> texts(100, byte_string("made in a block"));
    small_heap::use_general_heap();
    byte_string grown;
    std::string expected;
    for (int i = 0; i < 70000; ++i) {
        grown.push(static_cast<char>('a' + i % 26));
        expected.push_back(static_cast<char>('a' + i % 26));
    }
    for (byte_string& text : texts)
        text.append(grown.view().substr(0, 100));
    texts.clear();
    EXPECT_EQ(grown.view(), expected);
    small_heap::give_back_free_memory();
}

}  // namespace
