#include "output_file.h"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "scratch_dir.h"
#include "work_ahead.h"

namespace {

class OutputFileTest : public ScratchDirTest {
  protected:
    void TearDown() override {
        set_output_fault_for_testing(-1);
        set_output_commit_fault_for_testing("", "");
        ScratchDirTest::TearDown();
    }

    // Writes `bytes` for `name` and hands the file to the batch.
    result add(output_batch& batch, const std::string& name, const std::string& bytes) {
        output_file out;
        if (result opened = out.open(path(name)); !opened.is_ok()) return opened;
        out.write(bytes);
        result committed = out.commit_to(batch);
        last_error_ = committed.message().view();
        return committed;
    }

    std::string last_error_;

    mode_t mode_of(const std::string& name) const {
        struct stat st;
        return ::lstat(path(name).c_str(), &st) == 0 ? st.st_mode : 0;
    }

    struct stat stat_of(const std::string& name) const {
        struct stat st {};
        (void)::lstat(path(name).c_str(), &st);
        return st;
    }

    result replace(const std::string& name, const std::string& bytes) {
        output_file out;
        if (result opened = out.open(path(name)); !opened.is_ok()) return opened;
        out.write(bytes);
        return out.commit();
    }

    // What getfacl prints of the file's ACL.
    std::string acl_of(const std::string& name) const {
        std::string text;
        FILE* pipe = ::popen(("getfacl -cp '" + path(name) + "' 2>&1").c_str(), "r");
        if (!pipe) return "<no getfacl>";
        char chunk[256];
        while (std::fgets(chunk, sizeof chunk, pipe))
            text += chunk;
        ::pclose(pipe);
        return text;
    }
};

// Runs `work` in a child process as user 1001, member of group 2000 only; its exit code.
int as_other_user(const std::function<int()>& work) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        const gid_t groups[] = {2000};
        if (::setgroups(1, groups) != 0 || ::setresgid(1001, 1001, 1001) != 0 ||
            ::setresuid(1001, 1001, 1001) != 0)
            ::_exit(99);
        ::_exit(work());
    }
    int status = 0;
    return ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

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
    ASSERT_EQ(out.open(path("new.htm")).code(), status_code::ok);
    // small pieces through the buffer, one larger than the buffer, and again small ones; some
    // lasting where they are: gathered, joined to the piece before them or copied
    struct piece_row {
        size_t size;
        bool lasting;
    };
    const std::string expected = pattern(1000000, 0);
    size_t at = 0;
    const piece_row rows[] = {{1, false},       {100, true}, {5000, false},   {70000, true},
                              {1 << 18, false}, {3, true},   {131072, false}, {131071, true},
                              {2, false},       {600, true}, {700, true},     {10, true},
                              {9, false},       {800, true}};
    for (const piece_row& row : rows) {
        const std::string_view piece = std::string_view(expected).substr(at, row.size);
        row.lasting ? out.write_lasting(piece) : out.write(piece);
        at += row.size;
    }
    out.write(std::string_view(expected).substr(at));
    EXPECT_EQ(bytes_of("new.htm"), "<missing>");
    const result committed = out.commit();
    ::umask(old_umask);
    ASSERT_EQ(committed.code(), status_code::ok);
    EXPECT_TRUE(committed.message().is_empty());
    EXPECT_EQ(bytes_of("new.htm"), expected);
    EXPECT_EQ(mode_of("new.htm") & 07777, 0640u);
    EXPECT_EQ(names_in(), names{"new.htm"});
}

// The temporary file has the old file's mode once it holds bytes, so a private file's new
// contents are never readable by others, even with an open umask.
TEST_F(OutputFileTest, ReplacementKeepsPermissions) {
    const mode_t old_umask = ::umask(0);
    // more than a buffer: the first bytes go out before the commit
    const std::string new_bytes = pattern(1 << 18, 1);
    for (mode_t mode : {0600, 0604, 04755, 02750, 01640, 06700}) {
        SCOPED_TRACE(mode);
        put("page.htm", "old");
        ASSERT_EQ(::chmod(path("page.htm").c_str(), mode), 0);
        output_file out;
        ASSERT_EQ(out.open(path("page.htm")).code(), status_code::ok);
        out.write(new_bytes);
        const names both = names_in();
        ASSERT_EQ(both.size(), 2u);
        EXPECT_EQ(mode_of(both[0]) & 07777, mode);
        ASSERT_EQ(out.commit().code(), status_code::ok);
        EXPECT_EQ(bytes_of("page.htm"), new_bytes);
        EXPECT_EQ(mode_of("page.htm") & 07777, mode);
        EXPECT_EQ(names_in(), names{"page.htm"});
    }
    ::umask(old_umask);
}

TEST_F(OutputFileTest, FailedWriteLeavesTheOldFile) {
    const std::string old_bytes = pattern(300000, 1);
    const std::string new_bytes = pattern(400000, 2);
    for (int64_t fail_after : {0, 1, 131071, 131072, 131073, 399999}) {
        SCOPED_TRACE(fail_after);
        put("page.htm", old_bytes);
        output_file out;
        ASSERT_EQ(out.open(path("page.htm")).code(), status_code::ok);
        set_output_fault_for_testing(fail_after);
        for (size_t at = 0; at < new_bytes.size(); at += 1000) {
            const std::string_view piece = std::string_view(new_bytes).substr(at, 1000);
            at % 3000 == 0 ? out.write_lasting(piece) : out.write(piece);
        }
        const result committed = out.commit();
        EXPECT_EQ(committed.code(), status_code::write_failed);
        set_output_fault_for_testing(-1);
        EXPECT_EQ(committed.message().view(), "Can't write to file: " + path("page.htm"));
        EXPECT_TRUE(bytes_of("page.htm") == old_bytes);
        EXPECT_EQ(names_in(), names{"page.htm"});
    }
}

TEST_F(OutputFileTest, FailedCloseLeavesTheOldFile) {
    put("page.htm", "old");
    output_file out;
    ASSERT_EQ(out.open(path("page.htm")).code(), status_code::ok);
    out.write("new");
    set_output_fault_for_testing(-1, true);
    EXPECT_EQ(out.commit().code(), status_code::write_failed);
    set_output_fault_for_testing(-1);
    EXPECT_EQ(bytes_of("page.htm"), "old");
    EXPECT_EQ(names_in(), names{"page.htm"});
}

TEST_F(OutputFileTest, UncommittedOutputIsDropped) {
    put("page.htm", "old");
    {
        output_file out;
        ASSERT_EQ(out.open(path("page.htm")).code(), status_code::ok);
        out.write(std::string(200000, 'n'));
        EXPECT_EQ(names_in().size(), 2u);
    }
    EXPECT_EQ(bytes_of("page.htm"), "old");
    EXPECT_EQ(names_in(), names{"page.htm"});

    // opening again abandons the first target
    output_file out;
    ASSERT_EQ(out.open(path("page.htm")).code(), status_code::ok);
    out.write("first");
    ASSERT_EQ(out.open(path("other.htm")).code(), status_code::ok);
    out.write("second");
    ASSERT_EQ(out.commit().code(), status_code::ok);
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
        ASSERT_EQ(out.open(path(name)).code(), status_code::ok);
        out.write(std::string("via ") + name);
        ASSERT_EQ(out.commit().code(), status_code::ok);
        EXPECT_EQ(bytes_of("real/page.htm"), std::string("via ") + name);
        EXPECT_TRUE(S_ISLNK(mode_of("links/page.htm")));
        EXPECT_TRUE(S_ISLNK(mode_of("top.htm")));
        EXPECT_EQ(names_in("real"), names{"page.htm"});
        EXPECT_EQ(names_in("links"), names{"page.htm"});
    }

    // a dangling link makes the file it names
    ASSERT_EQ(::symlink("real/fresh.htm", path("fresh.htm").c_str()), 0);
    output_file out;
    ASSERT_EQ(out.open(path("fresh.htm")).code(), status_code::ok);
    out.write("fresh");
    ASSERT_EQ(out.commit().code(), status_code::ok);
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
        const result opened = out.open(target);
        EXPECT_EQ(opened.code(), status_code::open_failed);
        EXPECT_EQ(opened.message().view(), "Can't open file for writing: " + target);
        out.write("ignored");
        EXPECT_EQ(out.commit().code(), status_code::open_failed);
    }
    EXPECT_EQ(names_in(), (names{"dir", "loop"}));
    EXPECT_TRUE(names_in("dir").empty());

    output_file out;
    EXPECT_EQ(out.commit().code(), status_code::open_failed);
}

TEST_F(OutputFileTest, DeviceIsWrittenInPlace) {
    output_file out;
    ASSERT_EQ(out.open("/dev/null").code(), status_code::ok);
    out.write("gone");
    EXPECT_EQ(out.commit().code(), status_code::ok);
    struct stat st;
    ASSERT_EQ(::stat("/dev/null", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
}

// Descriptors the process holds open.
size_t open_descriptors() {
    size_t n = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        (void)entry;
        ++n;
    }
    return n;
}

TEST_F(OutputFileTest, BatchReplacesAtCommitOnly) {
    put("a.htm", "old a");
    put("b.htm", "old b");
    put("other.htm", "other");
    ASSERT_EQ(::symlink("a.htm", path("link.htm").c_str()), 0);
    output_batch batch;
    EXPECT_FALSE(batch.holds(path("new.htm")));
    for (const char* name : {"a.htm", "b.htm", "new.htm"})
        ASSERT_EQ(add(batch, name, std::string("new ") + name).code(), status_code::ok);
    // until the commit a reader finds the old files, and the batch tells which will change
    EXPECT_EQ(bytes_of("a.htm"), "old a");
    EXPECT_EQ(bytes_of("new.htm"), "<missing>");
    EXPECT_EQ(names_in().size(), 7u);
    for (const char* name : {"a.htm", "link.htm", "b.htm", "new.htm", "./new.htm"}) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(batch.holds(path(name)));
    }
    EXPECT_FALSE(batch.holds(path("other.htm")));
    struct stat st;
    ASSERT_EQ(::stat(path("b.htm").c_str(), &st), 0);
    EXPECT_TRUE(batch.holds(st.st_dev, st.st_ino));

    const result committed = batch.commit();
    ASSERT_EQ(committed.code(), status_code::ok);
    EXPECT_TRUE(committed.message().is_empty());
    EXPECT_EQ(bytes_of("a.htm"), "new a.htm");
    EXPECT_EQ(bytes_of("b.htm"), "new b.htm");
    EXPECT_EQ(bytes_of("new.htm"), "new new.htm");
    EXPECT_TRUE(S_ISLNK(mode_of("link.htm")));
    EXPECT_EQ(names_in(), (names{"a.htm", "b.htm", "link.htm", "new.htm", "other.htm"}));
    EXPECT_FALSE(batch.holds(path("a.htm")));
    EXPECT_EQ(batch.commit().code(), status_code::ok);

    // an abandoned batch leaves the targets as they were
    {
        output_batch dropped;
        ASSERT_EQ(add(dropped, "a.htm", "dropped").code(), status_code::ok);
    }
    EXPECT_EQ(bytes_of("a.htm"), "new a.htm");
    EXPECT_EQ(names_in().size(), 5u);
}

// A target that already holds the bytes written is left alone, alone or in a batch: same file,
// same modification time, no temporary file left. Any other bytes replace it.
TEST_F(OutputFileTest, TargetHoldingTheBytesIsLeftAlone) {
    const std::string large = pattern(1 << 20, 3);
    std::string last_differs = large;
    last_differs.back() ^= 1;
    struct row {
        std::string old_bytes;
        std::string new_bytes;
        bool kept;
    };
    const row rows[] = {{"page", "page", true},
                        {"", "", true},
                        {large, large, true},
                        {"page", "pagE", false},
                        {"page", "pag", false},
                        {"page", "pages", false},
                        {"", "x", false},
                        {large, last_differs, false},
                        {large, large + "x", false},
                        {large, large.substr(1), false},
                        {large, large.substr(0, large.size() - 1), false}};
    for (bool in_batch : {false, true}) {
        for (const row& row : rows) {
            SCOPED_TRACE(testing::Message()
                         << in_batch << " " << row.old_bytes.size() << " " << row.new_bytes.size());
            put("page.htm", row.old_bytes);
            const struct timespec long_ago[2] = {{1000, 0}, {1000, 0}};
            ASSERT_EQ(::utimensat(AT_FDCWD, path("page.htm").c_str(), long_ago, 0), 0);
            const struct stat before = stat_of("page.htm");
            output_batch batch;
            output_file out;
            ASSERT_EQ(out.open(path("page.htm")).code(), status_code::ok);
            // in pieces, so that a large page goes out partly before the commit
            for (size_t at = 0; at < row.new_bytes.size(); at += 100000)
                out.write(std::string_view(row.new_bytes).substr(at, 100000));
            ASSERT_EQ((in_batch ? out.commit_to(batch) : out.commit()).code(), status_code::ok);
            ASSERT_EQ(batch.commit().code(), status_code::ok);
            const struct stat after = stat_of("page.htm");
            EXPECT_EQ(bytes_of("page.htm"), row.new_bytes);
            EXPECT_EQ(after.st_ino == before.st_ino && after.st_mtim.tv_sec == 1000, row.kept);
            EXPECT_EQ(names_in(), names{"page.htm"});
        }
    }
}

TEST_F(OutputFileTest, BatchFailureKeepsOldBytesAndNoTemporary) {
    enum class fault { sync, rename, close };
    struct Row {
        const char* name;
        batch_failure policy;
        fault kind;
        const char* failing;
        const char* replaced;  // one letter per file a, b, c: the new bytes in place
    } rows[] = {
        {"sync stops", batch_failure::stop, fault::sync, "b", "a"},
        {"sync of the first", batch_failure::stop, fault::sync, "a", ""},
        {"rename stops", batch_failure::stop, fault::rename, "b", "a"},
        {"rename of the last", batch_failure::stop, fault::rename, "c", "ab"},
        {"close stops", batch_failure::stop, fault::close, "a", ""},
        {"sync goes on", batch_failure::go_on, fault::sync, "b", "ac"},
        {"rename goes on", batch_failure::go_on, fault::rename, "a", "bc"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        for (const std::string name : {"a", "b", "c"})
            put(name + ".htm", "old " + name);
        const std::string failing = path(std::string(row.failing) + ".htm");
        output_batch batch(row.policy);
        for (const std::string name : {"a", "b", "c"})
            ASSERT_EQ(add(batch, name + ".htm", "new " + name).code(), status_code::ok);
        if (row.kind == fault::sync) set_output_commit_fault_for_testing(failing, "");
        if (row.kind == fault::rename) set_output_commit_fault_for_testing("", failing);
        if (row.kind == fault::close) set_output_fault_for_testing(-1, true);
        const result committed = batch.commit();
        EXPECT_EQ(committed.code(), status_code::write_failed);
        set_output_commit_fault_for_testing("", "");
        set_output_fault_for_testing(-1);
        EXPECT_EQ(committed.message().view(), "Can't write to file: " + failing);
        for (const std::string name : {"a", "b", "c"}) {
            const bool replaced = std::string(row.replaced).find(name) != std::string::npos;
            EXPECT_EQ(bytes_of(name + ".htm"), (replaced ? "new " : "old ") + name) << name;
        }
        EXPECT_EQ(names_in(), (names{"a.htm", "b.htm", "c.htm"}));
        // the failure is reported once; the batch takes new files afterwards
        ASSERT_EQ(add(batch, "a.htm", "again").code(), status_code::ok);
        EXPECT_EQ(batch.commit().code(), status_code::ok);
        EXPECT_EQ(bytes_of("a.htm"), "again");
    }
}

TEST_F(OutputFileTest, FailedWriteIsNotAddedToBatch) {
    put("a.htm", "old a");
    put("b.htm", "old b");
    output_batch batch;
    ASSERT_EQ(add(batch, "a.htm", "new a").code(), status_code::ok);
    set_output_fault_for_testing(2);
    EXPECT_EQ(add(batch, "b.htm", "new b").code(), status_code::write_failed);
    set_output_fault_for_testing(-1);
    EXPECT_EQ(last_error_, "Can't write to file: " + path("b.htm"));
    EXPECT_EQ(batch.commit().code(), status_code::ok);
    EXPECT_EQ(bytes_of("a.htm"), "new a");
    EXPECT_EQ(bytes_of("b.htm"), "old b");
    EXPECT_EQ(names_in(), (names{"a.htm", "b.htm"}));
}

TEST_F(OutputFileTest, FullBatchPutsItsFilesInPlaceFirst) {
    const auto name_of = [](int i) { return std::string("f").append(std::to_string(i)) + ".htm"; };
    const size_t before = open_descriptors();
    output_batch batch(batch_failure::stop, 2);
    std::vector<struct stat> old_files;
    for (int i = 0; i < 7; ++i) {
        SCOPED_TRACE(i);
        put(name_of(i), "old");
        old_files.push_back(stat_of(name_of(i)));
        ASSERT_EQ(add(batch, name_of(i), "new").code(), status_code::ok);
        // a reader of a file being put in place still waits for the commit
        if (i >= 2 && i % 2 == 0) {
            const struct stat& putting = old_files[static_cast<size_t>(i) - 2];
            EXPECT_TRUE(batch.holds(putting.st_dev, putting.st_ino));
        }
        // the file just added and at most one before it wait, each with its descriptor and that
        // of its directory; the two before them may still be put in place, as many again
        EXPECT_LE(open_descriptors(), before + 8);
        const int waiting = i - i % 2;
        for (int done = 0; done < i; ++done) {
            const std::string bytes = bytes_of(name_of(done));
            if (done >= waiting || done < waiting - 2) {
                EXPECT_EQ(bytes, done >= waiting ? "old" : "new") << done;
            }
        }
    }
    ASSERT_EQ(batch.commit().code(), status_code::ok);
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(bytes_of(name_of(i)), "new") << i;
    EXPECT_EQ(open_descriptors(), before);

    // a failure while a full batch is put in place drops the files added meanwhile: the next
    // one that finds it out is refused, naming the file that failed
    for (int i = 0; i < 5; ++i)
        put(name_of(i), "old");
    set_output_commit_fault_for_testing("", path(name_of(1)));
    for (int i = 0; i < 4; ++i)
        ASSERT_EQ(add(batch, name_of(i), "newer").code(), status_code::ok) << i;
    EXPECT_EQ(add(batch, name_of(4), "newer").code(), status_code::write_failed);
    EXPECT_EQ(last_error_, "Can't write to file: " + path(name_of(1)));
    const result committed = batch.commit();
    set_output_commit_fault_for_testing("", "");
    EXPECT_EQ(committed.code(), status_code::write_failed);
    EXPECT_EQ(committed.message().view(), "Can't write to file: " + path(name_of(1)));
    EXPECT_EQ(bytes_of(name_of(0)), "newer");
    for (int i = 1; i < 5; ++i)
        EXPECT_EQ(bytes_of(name_of(i)), "old") << i;
    EXPECT_EQ(names_in().size(), 7u);
    EXPECT_EQ(open_descriptors(), before);
}

TEST_F(OutputFileTest, BatchPastItsBytesPutsItsFilesInPlaceAtOnce) {
    for (const char* name : {"a.htm", "b.htm", "c.htm", "d.htm"})
        put(name, "old");
    output_batch batch(batch_failure::stop, output_batch::default_max_pending, 10);
    ASSERT_EQ(add(batch, "a.htm", std::string(20, 'a')).code(), status_code::ok);
    EXPECT_EQ(bytes_of("a.htm"), std::string(20, 'a'));
    ASSERT_EQ(add(batch, "b.htm", "bbbbb").code(), status_code::ok);
    EXPECT_EQ(bytes_of("b.htm"), "old");
    ASSERT_EQ(add(batch, "c.htm", "cccccc").code(), status_code::ok);
    EXPECT_EQ(bytes_of("b.htm"), "bbbbb");
    EXPECT_EQ(bytes_of("c.htm"), "cccccc");
    // a failure in that commit is the added file's, as from commit
    set_output_commit_fault_for_testing("", path("d.htm"));
    EXPECT_EQ(add(batch, "d.htm", std::string(11, 'd')).code(), status_code::write_failed);
    set_output_commit_fault_for_testing("", "");
    EXPECT_EQ(last_error_, "Can't write to file: " + path("d.htm"));
    EXPECT_EQ(bytes_of("d.htm"), "old");
    EXPECT_EQ(batch.commit().code(), status_code::write_failed);
    EXPECT_EQ(names_in(), (names{"a.htm", "b.htm", "c.htm", "d.htm"}));
}

TEST_F(OutputFileTest, CommitFaultsHitTheSingleCommitToo) {
    put("page.htm", "old");
    for (bool sync : {true, false}) {
        SCOPED_TRACE(sync);
        output_file out;
        ASSERT_EQ(out.open(path("page.htm")).code(), status_code::ok);
        out.write("new");
        set_output_commit_fault_for_testing(sync ? path("page.htm") : "",
                                            sync ? "" : path("page.htm"));
        const result committed = out.commit();
        EXPECT_EQ(committed.code(), status_code::write_failed);
        set_output_commit_fault_for_testing("", "");
        EXPECT_EQ(committed.message().view(), "Can't write to file: " + path("page.htm"));
        EXPECT_EQ(bytes_of("page.htm"), "old");
        EXPECT_EQ(names_in(), names{"page.htm"});
    }
}

TEST_F(OutputFileTest, DeviceInBatchIsWrittenAtOnce) {
    output_batch batch;
    output_file out;
    ASSERT_EQ(out.open("/dev/null").code(), status_code::ok);
    out.write("gone");
    EXPECT_EQ(out.commit_to(batch).code(), status_code::ok);
    EXPECT_TRUE(batch.is_empty());
}

}  // namespace

// A name that reaches another file by the commit, or none, is not written: the build would
// otherwise write its bytes wherever a link put there points.
TEST_F(OutputFileTest, NameReplacedAfterOpenIsNotWritten) {
    const std::function<void()> changes[] = {
        [this] {
            std::filesystem::remove(path("page.htm"));
            std::filesystem::create_symlink(path("secret"), path("page.htm"));
        },
        [this] {
            put("other.htm", "other");
            std::filesystem::rename(path("other.htm"), path("page.htm"));
        },
        [this] { std::filesystem::remove(path("page.htm")); },
    };
    for (bool batched : {false, true}) {
        for (const auto& change : changes) {
            SCOPED_TRACE(batched);
            std::filesystem::remove(path("page.htm"));
            put("page.htm", "old");
            put("secret", "secret");
            ::chmod(path("secret").c_str(), 0600);
            output_file out;
            ASSERT_EQ(out.open(path("page.htm")).code(), status_code::ok);
            out.write("new");
            change();
            output_batch batch;
            const result committed = batched ? (void)out.commit_to(batch),
                         batch.commit()      : out.commit();
            EXPECT_EQ(committed.code(), status_code::write_failed);
            EXPECT_EQ(committed.message().view(),
                      "File was replaced during the build: " + path("page.htm"));
            EXPECT_EQ(bytes_of("secret"), "secret");
            EXPECT_NE(bytes_of("page.htm"), "new");
            EXPECT_LE(names_in().size(), 2u);
        }
    }
}

TEST_F(OutputFileTest, ReplacementKeepsExtendedAttributesAndAcls) {
    put("page.htm", "old");
    if (::setxattr(path("page.htm").c_str(), "user.origin", "site", 4, 0) != 0)
        GTEST_SKIP() << "no extended attributes here";
    if (std::system(("setfacl -m u:1001:r,g::---,m::rw '" + path("page.htm") + "'").c_str()) != 0)
        GTEST_SKIP() << "no setfacl";
    // a default ACL of the directory must not reach a file that had no ACL
    std::filesystem::create_directories(path("sub"));
    put("sub/plain.htm", "old");
    ASSERT_EQ(std::system(("setfacl -d -m u:1001:rwx '" + path("sub") + "'").c_str()), 0);
    for (const std::string name : {"page.htm", "sub/plain.htm"}) {
        SCOPED_TRACE(name);
        const std::string acl = acl_of(name);
        const mode_t mode = mode_of(name);
        ASSERT_EQ(replace(name, "new").code(), status_code::ok);
        EXPECT_EQ(bytes_of(name), "new");
        EXPECT_EQ(acl_of(name), acl);
        EXPECT_EQ(mode_of(name), mode);
    }
    char value[16] = {};
    EXPECT_EQ(::getxattr(path("page.htm").c_str(), "user.origin", value, sizeof value), 4);
    EXPECT_EQ(std::string(value), "site");
}

// A file whose links or owner a new file can't keep is rewritten in place; a failed rewrite puts
// the old bytes back.
TEST_F(OutputFileTest, HardLinkedFileIsRewrittenInPlace) {
    put("page.htm", "old bytes");
    ASSERT_EQ(::link(path("page.htm").c_str(), path("twin.htm").c_str()), 0);
    const ino_t inode = stat_of("page.htm").st_ino;
    ASSERT_EQ(replace("page.htm", "new").code(), status_code::ok);
    EXPECT_EQ(bytes_of("twin.htm"), "new");
    EXPECT_EQ(stat_of("page.htm").st_ino, inode);

    output_file out;
    ASSERT_EQ(out.open(path("page.htm")).code(), status_code::ok);
    out.write("newer!");
    // the staged six bytes pass, the rewrite fails after two
    set_output_fault_for_testing(8);
    const result committed = out.commit();
    EXPECT_EQ(committed.code(), status_code::write_failed);
    EXPECT_EQ(committed.message().view(), "Can't write to file: " + path("page.htm"));
    EXPECT_EQ(bytes_of("twin.htm"), "new");
    EXPECT_EQ(names_in(), (names{"page.htm", "twin.htm"}));
}

TEST_F(OutputFileTest, GroupSharedFileKeepsOwnerAndGroup) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as a second user";
    ASSERT_EQ(::chmod(dir_.c_str(), 0777), 0);
    put("page.htm", "old");
    ASSERT_EQ(::chown(path("page.htm").c_str(), 1002, 2000), 0);
    ASSERT_EQ(::chmod(path("page.htm").c_str(), 0660), 0);
    EXPECT_EQ(as_other_user([this] { return replace("page.htm", "new").is_ok() ? 0 : 1; }), 0);
    const struct stat st = stat_of("page.htm");
    EXPECT_EQ(st.st_uid, 1002u);
    EXPECT_EQ(st.st_gid, 2000u);
    EXPECT_EQ(st.st_mode & 07777, 0660u);
    EXPECT_EQ(bytes_of("page.htm"), "new");
    EXPECT_EQ(names_in(), names{"page.htm"});
}

// SIGTERM removes the temporary files, waiting in a batch or still being written, and ends the
// process as the signal would.
// A file written over in place holds the stopping signals back on its thread; a helper thread
// started before must not take them instead and end the process half-way.
TEST_F(OutputFileTest, HelperThreadsLeaveStopSignalsToTheWriter) {
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        work_ahead helpers(1, 1, 1, [](size_t, size_t) {});
        sigset_t stop;
        sigemptyset(&stop);
        sigaddset(&stop, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &stop, nullptr);
        (void)!::write(ready[1], "r", 1);
        ::usleep(100000);
        (void)!::write(ready[1], "s", 1);
        pthread_sigmask(SIG_UNBLOCK, &stop, nullptr);
        for (;;)
            ::pause();
    }
    ::close(ready[1]);
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ::kill(pid, SIGTERM);
    // the child lives on while its writing thread holds the signal back
    EXPECT_EQ(::read(ready[0], &byte, 1), 1);
    EXPECT_EQ(byte, 's');
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
    ::close(ready[0]);
}

TEST_F(OutputFileTest, SignalRemovesTemporaryFiles) {
    put("a.htm", "old");
    put("b.htm", "old");
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        output_batch batch;
        output_file waiting;
        output_file writing;
        if (!waiting.open(path("a.htm")).is_ok() || !writing.open(path("b.htm")).is_ok())
            ::_exit(1);
        waiting.write("new");
        (void)waiting.commit_to(batch);
        writing.write(std::string(1 << 18, 'x'));
        (void)!::write(ready[1], "x", 1);
        for (;;)
            ::pause();
    }
    char byte;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    EXPECT_EQ(names_in().size(), 4u);
    ::kill(pid, SIGTERM);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
    EXPECT_EQ(names_in(), (names{"a.htm", "b.htm"}));
    EXPECT_EQ(bytes_of("a.htm"), "old");
    ::close(ready[0]);
    ::close(ready[1]);
}

// The inode of the temporary file made for `name` in `dir`, or 0.
ino_t temporary_of(const std::string& dir, const std::string& name) {
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.path().filename().string().rfind("." + name + ".", 0) != 0) continue;
        struct stat st {};
        return ::stat(entry.path().c_str(), &st) == 0 ? st.st_ino : 0;
    }
    return 0;
}

// The writer takes the files made ahead for it; one it passes by, having left its target
// unchanged, goes, and so do those never taken.
TEST_F(OutputFileTest, TemporaryFilesMadeAheadAreTakenInTurn) {
    const std::vector<std::string> files{"a.htm", "b.htm", "c.htm", "d.htm"};
    std::vector<output_target> targets(files.size());
    std::vector<const output_target*> order;
    for (size_t i = 0; i < files.size(); ++i) {
        put(files[i], "old");
        ASSERT_TRUE(targets[i].find(path(files[i])).is_ok());
        order.push_back(&targets[i]);
    }
    {
        temporaries_ahead made(order);
        for (int wait = 0; wait < 500 && names_in().size() < 8; ++wait)
            ::usleep(10000);
        ASSERT_EQ(names_in().size(), 8u);
        const ino_t made_for_a = temporary_of(dir_, "a.htm");
        const ino_t made_for_c = temporary_of(dir_, "c.htm");
        for (size_t i : {0, 1, 2}) {
            output_file out;
            ASSERT_TRUE(out.open(targets[i], &made).is_ok());
            out.write(i == 1 ? "old" : "new");
            ASSERT_TRUE(out.commit().is_ok());
        }
        EXPECT_EQ(stat_of("a.htm").st_ino, made_for_a);
        EXPECT_EQ(stat_of("c.htm").st_ino, made_for_c);
        EXPECT_EQ(names_in().size(), 5u);  // d's file waits still
    }
    EXPECT_EQ(names_in(), (names{"a.htm", "b.htm", "c.htm", "d.htm"}));
    EXPECT_EQ(bytes_of("a.htm") + bytes_of("b.htm") + bytes_of("c.htm") + bytes_of("d.htm"),
              "newoldnewold");
}
