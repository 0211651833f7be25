#include "files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "scratch_dir.h"

namespace {

using FilesTest = ScratchDirTest;

TEST_F(FilesTest, OpenModes) {
    struct Row {
        const char* mode;
        const char* before;  // nullptr: no file
        bool opens;
        int32_t read;       // bytes read right after opening, or the failure's code
        int32_t written;    // of "xyz"
        const char* after;  // nullptr: no file
    } rows[] = {
        {"r", "abc", true, 3, 0, "abc"},
        {"R", "abc", true, 3, 0, "abc"},
        {"r", nullptr, false, 0, 0, nullptr},
        {"r+", "abc", true, 3, 3, "abcxyz"},
        {"w", "abc", true, read_io_error, 3, "xyz"},
        {"w+", "abcdef", true, 0, 3, "xyz"},
        {"w", nullptr, true, read_io_error, 3, "xyz"},
        {"a", nullptr, true, read_io_error, 3, "xyz"},
        {"a", "abc", true, read_io_error, 3, "abcxyz"},
        {"A+", "abc", true, 0, 3, "abcxyz"},
        {"x", "abc", true, read_io_error, 0, "abc"},
        {"", "abc", true, read_io_error, 0, "abc"},
        {"x", nullptr, false, 0, 0, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string("mode \"") + row.mode + "\" on " +
                     (row.before ? row.before : "none"));
        const std::string file = path("f.txt");
        std::remove(file.c_str());
        if (row.before) put("f.txt", row.before);
        const file_descriptor handle = file_open(file, row.mode);
        EXPECT_EQ(handle != invalid_handle, row.opens);
        byte_string buffer("stale");
        EXPECT_EQ(file_read(buffer, 100, handle), row.read);
        EXPECT_EQ(buffer.length(), row.read > 0 ? row.read : 0);
        EXPECT_EQ(file_write("xyz", 3, handle), row.written);
        EXPECT_TRUE(file_close(handle));
        EXPECT_EQ(bytes_of("f.txt"), row.after ? row.after : "<missing>");
    }
}

TEST_F(FilesTest, OnlyTheEmptyModeOpensDirectories) {
    const file_descriptor query = file_open(dir_, "");
    EXPECT_NE(query, invalid_handle);
    EXPECT_TRUE(file_close(query));
    EXPECT_EQ(file_open(dir_, "r"), invalid_handle);
    EXPECT_EQ(file_open(dir_, "x"), invalid_handle);
    EXPECT_EQ(file_open(dir_, "w"), invalid_handle);
}

TEST_F(FilesTest, PathWithNulNamesNoFile) {
    put("a", "abc");
    EXPECT_EQ(file_open(path("a") + std::string("\0b", 2), "r"), invalid_handle);
    file_info info;
    EXPECT_FALSE(file_stat(info, path("a") + std::string("\0", 1)));
}

TEST_F(FilesTest, ReadsInChunks) {
    std::string bytes(40000, '\0');
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 7);
    put("big", bytes);
    const file_descriptor handle = file_open(path("big"), "r");
    byte_string buffer;
    std::string got;
    std::vector<int32_t> counts;
    int32_t n;
    do {
        n = file_read(buffer, 16384, handle);
        counts.push_back(n);
        got.append(buffer.view());
    } while (n > 0);
    EXPECT_EQ(counts, (std::vector<int32_t>{16384, 16384, 7232, 0}));
    EXPECT_EQ(got, bytes);
    EXPECT_TRUE(file_close(handle));
}

TEST_F(FilesTest, InvalidHandleFailsSoftly) {
    byte_string buffer("stale");
    EXPECT_EQ(file_read(buffer, 10, invalid_handle), 0);
    EXPECT_TRUE(buffer.is_empty());
    EXPECT_EQ(file_write("abc", 3, invalid_handle), 0);
    // never reads past the buffer
    const file_descriptor handle = file_open(path("w"), "w");
    EXPECT_EQ(file_write(std::string_view("abcdef", 2), 5, handle), 2);
    EXPECT_TRUE(file_close(handle));
    EXPECT_EQ(bytes_of("w"), "ab");
    uint32_t high = 0;
    EXPECT_EQ(file_handle_size(invalid_handle, &high), 0xFFFFFFFFu);
    EXPECT_TRUE(file_close(invalid_handle));
}

TEST_F(FilesTest, SizesCarryTheHighPart) {
    put("small", std::string(40000, 'x'));
    uint32_t high = 7;
    EXPECT_EQ(file_size(path("small"), &high), 40000u);
    EXPECT_EQ(high, 0u);
    EXPECT_EQ(file_size(path("missing"), nullptr), 0xFFFFFFFFu);
    // sparse: takes no disk space
    ASSERT_EQ(::truncate(path("small").c_str(), (int64_t{1} << 32) + 5), 0);
    EXPECT_EQ(file_size(path("small"), &high), 5u);
    EXPECT_EQ(high, 1u);
    file_info info;
    ASSERT_TRUE(file_stat(info, path("small")));
    EXPECT_EQ(info.size, (uint64_t{1} << 32) + 5);
}

TEST_F(FilesTest, Stat) {
    put("f.htm", "hello");
    const struct timeval times[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(::utimes(path("f.htm").c_str(), times), 0);
    file_info info;
    ASSERT_TRUE(file_stat(info, path("f.htm")));
    EXPECT_EQ(info.path, path("f.htm"));
    EXPECT_EQ(info.is_directory, 0);
    EXPECT_EQ(info.size, 5u);
    EXPECT_EQ(info.modified, 1000000000);
    EXPECT_TRUE(S_ISREG(info.attributes));

    // the record is reused: a directory resets the size
    ASSERT_TRUE(file_stat(info, dir_ + "/"));
    EXPECT_EQ(info.path, dir_ + "/");
    EXPECT_EQ(info.is_directory, 1);
    EXPECT_EQ(info.size, 0u);
    EXPECT_TRUE(S_ISDIR(info.attributes));

    ASSERT_TRUE(file_stat(info, "/"));
    EXPECT_EQ(info.is_directory, 1);

    // the same file by a link and by a second path; a copy is another file
    put("g.htm", "hello");
    ASSERT_EQ(::symlink("f.htm", path("link.htm").c_str()), 0);
    file_info other;
    ASSERT_TRUE(file_stat(info, path("f.htm")));
    for (const std::string& same : {path("link.htm"), dir_ + "/./f.htm"}) {
        SCOPED_TRACE(same);
        ASSERT_TRUE(file_stat(other, same));
        EXPECT_EQ(other.device, info.device);
        EXPECT_EQ(other.inode, info.inode);
    }
    ASSERT_TRUE(file_stat(other, path("g.htm")));
    EXPECT_NE(other.inode, info.inode);
    ASSERT_TRUE(file_stat(info, "/"));

    for (const std::string& bad : {std::string(), path("missing"), path("f.htm/x")}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(file_stat(info, bad));
        EXPECT_EQ(info.path, "/");
    }
}

TEST_F(FilesTest, DirectoriesOneLevelAtATime) {
    EXPECT_TRUE(create_dir(path("a")));
    EXPECT_FALSE(create_dir(path("a")));
    EXPECT_FALSE(create_dir(path("x/y")));
    EXPECT_TRUE(create_dir(path("a/b\\c")));
    EXPECT_EQ(names_in("a"), std::vector<std::string>{"b\\c"});

    EXPECT_FALSE(set_current_dir(path("missing")));
}

TEST(ProcessTest, ModulePathNamesTheTestProgram) {
    const byte_string self = module_path();
    EXPECT_TRUE(self.starts_with("/"));
    EXPECT_TRUE(self.ends_with("/foundation_tests"));
}

TEST(ProcessTest, UnixTimeNowHonoursSourceDateEpoch) {
    const char* saved = std::getenv("SOURCE_DATE_EPOCH");
    const std::string restore = saved ? saved : "";
    struct Row {
        const char* value;
        int64_t expected;  // -1: the clock
    } rows[] = {
        {"1700000000", 1700000000},
        {"0", 0},
        {"9223372036854775807", 9223372036854775807},
        {"9223372036854775808", -1},
        {"", -1},
        {"12x", -1},
        {"-5", -1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.value);
        ::setenv("SOURCE_DATE_EPOCH", row.value, 1);
        const int64_t now = unix_time_now();
        if (row.expected >= 0) {
            EXPECT_EQ(now, row.expected);
        } else {
            EXPECT_LE(std::abs(now - static_cast<int64_t>(std::time(nullptr))), 2);
        }
    }
    if (saved) {
        ::setenv("SOURCE_DATE_EPOCH", restore.c_str(), 1);
    } else {
        ::unsetenv("SOURCE_DATE_EPOCH");
    }
}

}  // namespace
