#include "output_lock.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "scratch_dir.h"

namespace {

class OutputLockTest : public ScratchDirTest {};

TEST_F(OutputLockTest, SecondLockWaitsOrFails) {
    put("a.htm", "x");
    output_lock first;
    ASSERT_TRUE(first.lock({path("a.htm"), path("new.htm")}, {}).is_ok());
    output_lock second;
    const result refused = second.lock({path("new.htm")}, {nullptr, 0});
    EXPECT_EQ(refused.message().view(), "Another build is writing to file: " + path("new.htm"));
    std::vector<std::string> noticed;
    const lock_wait wait{[&](std::string_view busy) {
                             noticed.emplace_back(busy);
                             (void)first.lock({}, {});
                         },
                         5000};
    EXPECT_TRUE(second.lock({path("a.htm")}, wait).is_ok());
    EXPECT_EQ(noticed, std::vector<std::string>{path("a.htm")});
    ASSERT_NE(second.find(path("a.htm")), nullptr);
    EXPECT_EQ(second.find(path("b.htm")), nullptr);
}

// Only a temporary file of a target, by its exact pattern, of this user and of a process that
// is gone, is removed.
TEST_F(OutputLockTest, LockRemovesStaleTemporariesOnly) {
    put("a.htm", "x");
    const pid_t gone = ::fork();
    if (gone == 0) ::_exit(0);
    ASSERT_EQ(::waitpid(gone, nullptr, 0), gone);
    const std::string dead = std::to_string(gone);
    const std::vector<std::string> kept = {
        ".a.htm." + std::to_string(::getpid()) + ".1.tmp",  // a live process
        ".a.htm.1.1.tmp",
        ".a.htm." + dead + ".1f.tmp.x",
        ".a.htm." + dead + ".zz.tmp",
        ".b.htm." + dead + ".1.tmp",  // no target of the build
        ".a.htm." + dead + ".1.old",  // the copy of a rewrite that never finished
        ".a.htm." + dead + ".tmp",
    };
    for (const std::string& name : kept)
        put(name, "");
    put(".a.htm." + dead + ".1f2e.tmp", "");
    if (::geteuid() == 0) {
        put(".a.htm." + dead + ".2.tmp", "");
        ASSERT_EQ(::chown(path(".a.htm." + dead + ".2.tmp").c_str(), 1001, 1001), 0);
    }
    output_lock lock;
    ASSERT_TRUE(lock.lock({path("a.htm")}, {}).is_ok());
    for (const std::string& name : kept)
        EXPECT_NE(bytes_of(name), "<missing>") << name;
    EXPECT_EQ(bytes_of(".a.htm." + dead + ".1f2e.tmp"), "<missing>");
    EXPECT_EQ(names_in().size(), kept.size() + (::geteuid() == 0 ? 2 : 1));
}

}  // namespace
