#include "shell/working_folder.h"
#include "support/test_support.h"

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

namespace clipnest::testing {
namespace {

namespace fs = std::filesystem;

TEST(WorkingFolder, WritesReadsAndReplacesWholeFilesKeepingTheirMode) {
    TempDir dir;
    WorkingFolder folder(dir.path());
    EXPECT_FALSE(folder.exists("a.txt"));
    EXPECT_FALSE(folder.read("a.txt").has_value());
    ASSERT_TRUE(folder.write("a.txt", std::string("one\r\ntwo\0three", 15)));
    EXPECT_EQ(folder.read("a.txt"), std::string("one\r\ntwo\0three", 15));
    ASSERT_EQ(::chmod((dir.path() / "a.txt").c_str(), 0640), 0);
    ASSERT_TRUE(folder.write("a.txt", "x"));
    EXPECT_EQ(folder.read("a.txt"), "x");
    EXPECT_EQ(fs::status(dir.path() / "a.txt").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    // Names are looked up exactly, and no temporary file is left behind.
    EXPECT_FALSE(folder.exists("A.txt"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);

    EXPECT_FALSE(WorkingFolder(dir.path() / "gone").write("homepage.html", "new"));
}

// A write that the disk cuts short (here a file-size limit, which holds for root as well) leaves the old file
// whole and no temporary file behind.
TEST(WorkingFolder, FailedWriteLeavesTheOldFile) {
    TempDir dir;
    WorkingFolder folder(dir.path());
    ASSERT_TRUE(folder.write("homepage.html", "old"));
    struct rlimit before {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = before;
    small.rlim_cur = 4;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = folder.write("homepage.html", "new and longer");
    ::setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, previous);
    EXPECT_FALSE(written);
    EXPECT_EQ(folder.read("homepage.html"), "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

} // namespace
} // namespace clipnest::testing
