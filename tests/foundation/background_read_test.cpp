#include "background_read.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "files.h"
#include "scratch_dir.h"

namespace {

using BackgroundReadTest = ScratchDirTest;

TEST_F(BackgroundReadTest, GivesTheBytesAsTheyArrive) {
    // under and over the size read on a thread of its own, and files shorter than asked for
    struct Row {
        size_t file_size;
        size_t asked;
    } rows[] = {{0, 0}, {100, 100}, {5 << 20, 5 << 20}, {3 << 20, 4 << 20}, {100, 200}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.file_size);
        std::string bytes(row.file_size, '\0');
        for (size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<char>('a' + i * 7 % 26);
        put("big", bytes);
        const file_descriptor file = file_open(path("big"));
        std::string read(row.asked, '\0');
        size_t seen = 0;
        {
            background_read arriving(file, read.data(), read.size());
            // every wait gives at least what it asked for while the file lasts
            for (size_t want = 1; want <= row.asked; want += 1 << 19) {
                seen = arriving.wait_for(want);
                EXPECT_GE(seen, std::min(want, row.file_size));
            }
            EXPECT_EQ(arriving.finish(), row.file_size);
            EXPECT_FALSE(arriving.failed());
        }
        EXPECT_EQ(read.substr(0, row.file_size), bytes);
        EXPECT_TRUE(file_close(file));
    }
}

}  // namespace
