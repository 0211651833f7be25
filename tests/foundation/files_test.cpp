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

TEST_F(FilesTest, OpenReadsExistingFilesOnly) {
    put("f.txt", "abc");
    struct Row {
        std::string path;
        bool opens;
    } rows[] = {
        {path("f.txt"), true},
        {path("missing"), false},
        {dir_, false},
        {"/dev/null", false},
        {path("f.txt") + std::string("\0b", 2), false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        const file_descriptor handle = file_open(row.path);
        EXPECT_EQ(handle != invalid_handle, row.opens);
        byte_string buffer("stale");
        EXPECT_TRUE(file_read(buffer, 100, handle).is_ok());
        EXPECT_EQ(buffer.view(), row.opens ? "abc" : "");
        EXPECT_TRUE(file_close(handle));
    }
    file_info info;
    EXPECT_FALSE(file_stat(info, path("f.txt") + std::string("\0", 1)));
}

TEST_F(FilesTest, ReadFailureEmptiesTheBuffer) {
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    byte_string buffer("stale");
    // a write end can't be read from
    EXPECT_FALSE(file_read(buffer, 10, ends[1]).is_ok());
    EXPECT_TRUE(buffer.is_empty());
    EXPECT_TRUE(file_close(ends[0]));
    EXPECT_TRUE(file_close(ends[1]));
}

TEST_F(FilesTest, ReadsInChunks) {
    std::string bytes(40000, '\0');
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 7);
    put("big", bytes);
    const file_descriptor handle = file_open(path("big"));
    byte_string buffer;
    std::string got;
    std::vector<int32_t> counts;
    do {
        EXPECT_TRUE(file_read(buffer, 16384, handle).is_ok());
        counts.push_back(buffer.length());
        got.append(buffer.view());
    } while (!buffer.is_empty());
    EXPECT_EQ(counts, (std::vector<int32_t>{16384, 16384, 7232, 0}));
    EXPECT_EQ(got, bytes);
    EXPECT_TRUE(file_close(handle));
}

TEST_F(FilesTest, SizesAreWhole64BitValues) {
    put("small", std::string(40000, 'x'));
    // sparse: takes no disk space
    put("large", "");
    ASSERT_EQ(::truncate(path("large").c_str(), (int64_t{1} << 32) + 5), 0);
    for (auto [name, size] :
         {std::pair{"small", uint64_t{40000}}, {"large", (uint64_t{1} << 32) + 5}}) {
        SCOPED_TRACE(name);
        const file_descriptor handle = file_open(path(name));
        EXPECT_EQ(file_descriptor_size(handle), size);
        EXPECT_TRUE(file_close(handle));
        file_info info;
        ASSERT_TRUE(file_stat(info, path(name)));
        EXPECT_EQ(info.size, size);
    }
    EXPECT_EQ(file_descriptor_size(invalid_handle), unknown_file_size);
}

TEST_F(FilesTest, Stat) {
    put("f.htm", "hello");
    const struct timeval times[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(::utimes(path("f.htm").c_str(), times), 0);
    file_info info;
    ASSERT_TRUE(file_stat(info, path("f.htm")));
    EXPECT_EQ(info.path, path("f.htm"));
    EXPECT_FALSE(info.is_directory);
    EXPECT_EQ(info.size, 5u);
    EXPECT_EQ(info.modified, 1000000000);
    EXPECT_TRUE(S_ISREG(info.attributes));

    // the record is reused: a directory resets the size
    ASSERT_TRUE(file_stat(info, dir_ + "/"));
    EXPECT_EQ(info.path, dir_ + "/");
    EXPECT_TRUE(info.is_directory);
    EXPECT_EQ(info.size, 0u);
    EXPECT_TRUE(S_ISDIR(info.attributes));

    ASSERT_TRUE(file_stat(info, "/"));
    EXPECT_TRUE(info.is_directory);

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
