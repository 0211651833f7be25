#include "foundation/output_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/foundation/scratch_dir.h"

namespace {

class OutputFileTest : public ScratchDirTest {
  protected:
    void TearDown() override {
        set_output_fault_for_testing(-1);
        ScratchDirTest::TearDown();
    }

    mode_t mode_of(const std::string& name) const {
        struct stat st;
        return ::lstat(path(name).c_str(), &st) == 0 ? st.st_mode : 0;
    }
};

using names = std::vector<std::string>;

// Bytes that differ at every position, so a dropped or doubled piece shows.
std::string pattern(size_t n, int seed) {
    std::string bytes(n, '\0');
    for (size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<char>((i * 131 + seed) % 251);
    return bytes;
}

TEST_F(OutputFileTest, NewFileGetsEveryPieceAndDefaultMode) {
    const mode_t old_umask = ::umask(027);
    output_file out;
    ASSERT_EQ(out.open(path("new.htm")), output_status::ok);
    // small pieces through the buffer, one larger than the buffer, and again small ones
    std::string expected;
    for (size_t size : {1, 100, 5000, 70000, 1 << 18, 3, 131072, 131071, 2}) {
        const std::string piece = pattern(size, static_cast<int>(expected.size()));
        out.write(piece);
        expected += piece;
    }
    EXPECT_EQ(bytes_of("new.htm"), "<missing>");
    const output_status committed = out.commit();
    ::umask(old_umask);
    ASSERT_EQ(committed, output_status::ok);
    EXPECT_TRUE(out.error_text().is_empty());
    EXPECT_EQ(bytes_of("new.htm"), expected);
    EXPECT_EQ(mode_of("new.htm") & 07777, 0640u);
    EXPECT_EQ(names_in(), names{"new.htm"});
}

TEST_F(OutputFileTest, ReplacementKeepsPermissions) {
    put("page.htm", "old");
    ASSERT_EQ(::chmod(path("page.htm").c_str(), 0604), 0);
    output_file out;
    ASSERT_EQ(out.open(path("page.htm")), output_status::ok);
    out.write("new bytes");
    ASSERT_EQ(out.commit(), output_status::ok);
    EXPECT_EQ(bytes_of("page.htm"), "new bytes");
    EXPECT_EQ(mode_of("page.htm") & 07777, 0604u);
    EXPECT_EQ(names_in(), names{"page.htm"});
}

TEST_F(OutputFileTest, FailedWriteLeavesTheOldFile) {
    const std::string old_bytes = pattern(300000, 1);
    const std::string new_bytes = pattern(400000, 2);
    for (int64_t fail_after : {0, 1, 131071, 131072, 131073, 399999}) {
        SCOPED_TRACE(fail_after);
        put("page.htm", old_bytes);
        output_file out;
        ASSERT_EQ(out.open(path("page.htm")), output_status::ok);
        set_output_fault_for_testing(fail_after);
        for (size_t at = 0; at < new_bytes.size(); at += 1000)
            out.write(new_bytes.substr(at, 1000));
        EXPECT_EQ(out.commit(), output_status::write_failed);
        set_output_fault_for_testing(-1);
        EXPECT_EQ(out.error_text().view(), "Can't write to file: " + path("page.htm"));
        EXPECT_TRUE(bytes_of("page.htm") == old_bytes);
        EXPECT_EQ(names_in(), names{"page.htm"});
    }
}

TEST_F(OutputFileTest, FailedCloseLeavesTheOldFile) {
    put("page.htm", "old");
    output_file out;
    ASSERT_EQ(out.open(path("page.htm")), output_status::ok);
    out.write("new");
    set_output_fault_for_testing(-1, true);
    EXPECT_EQ(out.commit(), output_status::write_failed);
    set_output_fault_for_testing(-1);
    EXPECT_EQ(bytes_of("page.htm"), "old");
    EXPECT_EQ(names_in(), names{"page.htm"});
}

TEST_F(OutputFileTest, UncommittedOutputIsDropped) {
    put("page.htm", "old");
    {
        output_file out;
        ASSERT_EQ(out.open(path("page.htm")), output_status::ok);
        out.write(std::string(200000, 'n'));
        EXPECT_EQ(names_in().size(), 2u);
    }
    EXPECT_EQ(bytes_of("page.htm"), "old");
    EXPECT_EQ(names_in(), names{"page.htm"});

    // opening again abandons the first target
    output_file out;
    ASSERT_EQ(out.open(path("page.htm")), output_status::ok);
    out.write("first");
    ASSERT_EQ(out.open(path("other.htm")), output_status::ok);
    out.write("second");
    ASSERT_EQ(out.commit(), output_status::ok);
    EXPECT_EQ(bytes_of("page.htm"), "old");
    EXPECT_EQ(bytes_of("other.htm"), "second");
    EXPECT_EQ(names_in(), (names{"other.htm", "page.htm"}));
}

TEST_F(OutputFileTest, SymbolicLinkStaysALink) {
    ASSERT_EQ(::mkdir(path("real").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(path("links").c_str(), 0755), 0);
    put("real/page.htm", "old");
    ASSERT_EQ(::symlink("../real/page.htm", path("links/page.htm").c_str()), 0);
    // a link to a link
    ASSERT_EQ(::symlink(path("links/page.htm").c_str(), path("top.htm").c_str()), 0);
    for (const char* name : {"links/page.htm", "top.htm"}) {
        SCOPED_TRACE(name);
        output_file out;
        ASSERT_EQ(out.open(path(name)), output_status::ok);
        out.write(std::string("via ") + name);
        ASSERT_EQ(out.commit(), output_status::ok);
        EXPECT_EQ(bytes_of("real/page.htm"), std::string("via ") + name);
        EXPECT_TRUE(S_ISLNK(mode_of("links/page.htm")));
        EXPECT_TRUE(S_ISLNK(mode_of("top.htm")));
        EXPECT_EQ(names_in("real"), names{"page.htm"});
        EXPECT_EQ(names_in("links"), names{"page.htm"});
    }

    // a dangling link makes the file it names
    ASSERT_EQ(::symlink("real/fresh.htm", path("fresh.htm").c_str()), 0);
    output_file out;
    ASSERT_EQ(out.open(path("fresh.htm")), output_status::ok);
    out.write("fresh");
    ASSERT_EQ(out.commit(), output_status::ok);
    EXPECT_EQ(bytes_of("real/fresh.htm"), "fresh");
    EXPECT_TRUE(S_ISLNK(mode_of("fresh.htm")));
}

TEST_F(OutputFileTest, UnusableTargetsFailToOpen) {
    ASSERT_EQ(::mkdir(path("dir").c_str(), 0755), 0);
    ASSERT_EQ(::symlink("loop", path("loop").c_str()), 0);
    for (const std::string& target :
         {path("missing/page.htm"), path("dir"), path("dir/"), path("loop"), std::string()}) {
        SCOPED_TRACE(target);
        output_file out;
        EXPECT_EQ(out.open(target), output_status::open_failed);
        EXPECT_EQ(out.error_text().view(), "Can't open file for writing: " + target);
        out.write("ignored");
        EXPECT_EQ(out.commit(), output_status::open_failed);
    }
    EXPECT_EQ(names_in(), (names{"dir", "loop"}));
    EXPECT_TRUE(names_in("dir").empty());

    output_file out;
    EXPECT_EQ(out.commit(), output_status::open_failed);
}

TEST_F(OutputFileTest, DeviceIsWrittenInPlace) {
    output_file out;
    ASSERT_EQ(out.open("/dev/null"), output_status::ok);
    out.write("gone");
    EXPECT_EQ(out.commit(), output_status::ok);
    struct stat st;
    ASSERT_EQ(::stat("/dev/null", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
}

}  // namespace
