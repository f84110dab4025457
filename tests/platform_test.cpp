// The operating system's side: files opened without following links, hard links, writes from pieces, processes and
// the wall clock every record reads.
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/program.h"
#include "platform/working_folder.h"
#include "support/support.h"

#include <chrono>
#include <cstdio>
#include <limits>

namespace clipnest::testing {
namespace {

namespace fs = std::filesystem;

TEST(Platform, FilesAreReadByRangeAndNeverThroughALink) {
    const TempDir dir;
    writeFile(dir.path() / "a", "0123456789");
    fs::create_symlink(dir.path() / "a", dir.path() / "link");
    fs::create_directory(dir.path() / "folder");
    EXPECT_EQ(OpenFile::open(dir.path() / "link"), nullptr);
    EXPECT_EQ(OpenFile::open(dir.path() / "folder"), nullptr);
    EXPECT_EQ(OpenFile::open(dir.path() / "none"), nullptr);

    const auto file = OpenFile::open(dir.path() / "a");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->size(), 10u);
    std::string bytes(4, '.');
    EXPECT_TRUE(file->readAt(6, bytes.data(), 4));
    EXPECT_EQ(bytes, "6789");
    EXPECT_FALSE(file->readAt(7, bytes.data(), 4)) << "the file ends first";
    EXPECT_FALSE(file->readAt(std::numeric_limits<std::uint64_t>::max() - 1, bytes.data(), 1))
        << "a read the system refuses fails; it is not tried again";

    EXPECT_EQ(linkCount(dir.path() / "a"), 1u);
    EXPECT_TRUE(hardLink(dir.path() / "a", dir.path() / "b"));
    EXPECT_EQ(linkCount(dir.path() / "a"), 2u);
    EXPECT_EQ(linkCount(dir.path() / "link"), 1u) << "a link's own count, not its target's";
    EXPECT_FALSE(hardLink(dir.path() / "a", dir.path() / "b")) << "the name is taken";
    EXPECT_EQ(linkCount(dir.path() / "none"), std::nullopt);
}

TEST(Platform, AWriteFromPiecesIsWholeOrLeavesTheOldFile) {
    const TempDir dir;
    writeFile(dir.path() / "source", "abcdefghij");
    writeFile(dir.path() / "target", "old");
    WorkingFolder folder(dir.path());
    const fs::path source = dir.path() / "source";
    using Piece = WorkingFolder::Piece;
    EXPECT_TRUE(folder.writePieces("target", {Piece{{}, &source, 7, 3}, Piece{"-"}, Piece{{}, &source, 0, 2}}));
    EXPECT_EQ(readFile(dir.path() / "target"), "hij-ab");
    EXPECT_FALSE(folder.writePieces("target", {Piece{"x"}, Piece{{}, &source, 8, 5}})) << "past the source's end";
    EXPECT_EQ(readFile(dir.path() / "target"), "hij-ab");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2)
        << "no temporary file is left";

    // From a file on another file system (a RAM disk where there is one), where the kernel may refuse to copy.
    const fs::path elsewhere = fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
    const fs::path other = elsewhere / ("clipnest-pieces-" + std::to_string(::getpid()));
    writeFile(other, "0123456789");
    EXPECT_TRUE(folder.writePieces("target", {Piece{{}, &other, 2, 5}, Piece{"!"}}));
    fs::remove(other);
    EXPECT_EQ(readFile(dir.path() / "target"), "23456!");
}

// Held writes stay in memory until taken; a write that keeps the first bytes held copies only the rest (so the caller
// answers for those bytes being the same), and only for the file it names.
TEST(Platform, HeldWritesKeepWhatTheCallerSaysIsUnchanged) {
    const TempDir dir;
    WorkingFolder folder(dir.path());
    EXPECT_TRUE(folder.writeKeeping("page", "on disk", 3)) << "not holding: a whole write";
    EXPECT_EQ(readFile(dir.path() / "page"), "on disk");
    folder.holdWrites();
    EXPECT_TRUE(folder.writeKeeping("page", "abcdef", 3)) << "nothing held yet: all of it";
    EXPECT_TRUE(folder.writeKeeping("page", "ABCxyz!", 3));
    EXPECT_EQ(folder.read("page"), "abcxyz!") << "the first three bytes as held";
    EXPECT_TRUE(folder.writeKeeping("page", "ABCDEFGHIJ", 20));
    EXPECT_EQ(folder.read("page"), "abcxyz!HIJ") << "no more than was held";
    EXPECT_TRUE(folder.writeKeeping("page", "12", 5));
    EXPECT_EQ(folder.read("page"), "ab") << "no more than is written";
    EXPECT_TRUE(folder.write("other", "other"));
    EXPECT_TRUE(folder.write("page", "whole"));
    EXPECT_EQ(folder.read("page"), "whole") << "a plain write keeps nothing";
    EXPECT_EQ(readFile(dir.path() / "page"), "on disk");
    const auto held = folder.takeHeld();
    EXPECT_EQ(held.size(), 2u);
    EXPECT_EQ(held[0], (std::pair<std::string, std::string>{"page", "whole"}));
}

TEST(Platform, AProcessThatEndedIsToldFromOneThatRuns) {
    EXPECT_TRUE(processRuns(processId()));
    // A shell that says its own id and ends: once its output is read and it is waited for, no process has that id
    // (unless the system gave it out again in between, which it does only after many others).
    FILE* shell = ::popen("echo $$", "r");
    ASSERT_NE(shell, nullptr);
    long id = 0;
    ASSERT_EQ(std::fscanf(shell, "%ld", &id), 1);
    ::pclose(shell);
    EXPECT_FALSE(processRuns(id));
    EXPECT_FALSE(processRuns(0));
    EXPECT_FALSE(processRuns(-1));
    EXPECT_EQ(ownProgram().filename(), "platform_test");
}

TEST(Platform, TheHistoryReadsTheWallClockThatIsSet) {
    const auto previous = setWallClock([] { return std::int64_t{1'765'234'952}; });
    Harness h(channel({"a.mp4"}));
    h.entry("b.mp4", "B");
    setWallClock(previous);
    const std::vector<HistoryEntry> records = h.form().history().entries();
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records.front().time, 1'765'234'952);
    EXPECT_EQ(wallTimeAt(0).seconds, 0);
    EXPECT_NE(wallTimeNow().seconds, 1'765'234'952) << "the system's clock is back";
}

// A held run reads the folder once: its own writes, renames and removals show in later listings, a link, a folder
// and a temporary file never do, and a name is looked for by how it starts.
TEST(Platform, AHeldRunListsTheFolderOnceAndKeepsItsOwnChanges) {
    const TempDir dir;
    for (const char* name : {"a.mp4", "a.en.vtt", "ab.php", "b.php", ".clipnest-tmp-1-abcdef"}) {
        writeFile(dir.path() / name, "x");
    }
    fs::create_symlink(dir.path() / "b.php", dir.path() / "a.fr.vtt");
    fs::create_directory(dir.path() / "a.de.vtt");
    WorkingFolder folder(dir.path());
    EXPECT_EQ(folder.names("a."), (Names{"a.en.vtt", "a.mp4"}));
    folder.holdWrites();
    EXPECT_EQ(folder.names(), (Names{"a.en.vtt", "a.mp4", "ab.php", "b.php"}));
    ASSERT_TRUE(folder.write("a.php", "page"));
    ASSERT_TRUE(folder.remove("a.en.vtt"));
    writeFile(dir.path() / "a.poster", "jpeg");
    ASSERT_TRUE(folder.replace("a.poster", "a.jpg"));
    EXPECT_EQ(folder.names("a."), (Names{"a.jpg", "a.mp4", "a.php"}));
    EXPECT_EQ(folder.names("b"), (Names{"b.php"}));
    folder.takeHeld();
    writeFile(dir.path() / "a.it.vtt", "x");
    EXPECT_EQ(folder.names("a."), (Names{"a.it.vtt", "a.mp4"})) << "read again once the run is over";
}

// A program run with limits: one that runs past its time is killed and said so, soon after the time (also when it
// closed its output first); one that asks for more memory than its limit gets none; one within both is untouched.
TEST(Platform, ProgramsRunWithinTheirTimeAndMemory) {
    using Clock = std::chrono::steady_clock;
    for (const std::string script : {"sleep 30", "exec >&-; sleep 30"}) {
        const Clock::time_point start = Clock::now();
        const ProgramRun run = runProgram({"sh", "-c", script}, 1024, {300, 0});
        const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
        EXPECT_TRUE(run.started) << script;
        EXPECT_TRUE(run.timedOut) << script;
        EXPECT_NE(run.status, 0) << script;
        EXPECT_GE(took, 250) << script;
        EXPECT_LT(took, 5000) << script;
    }
    const ProgramRun quick = runProgram({"sh", "-c", "echo done"}, 1024, {5000, std::uint64_t{512} << 20});
    EXPECT_FALSE(quick.timedOut);
    EXPECT_EQ(quick.status, 0);
    EXPECT_EQ(quick.out, "done\n");
    // 400 MB asked for under a 200 MB limit: the allocation fails and the program ends with an error.
    const std::vector<std::string> greedy = {"python3", "-c", "b = bytearray(400 * 1024 * 1024); print('got it')"};
    const ProgramRun bounded = runProgram(greedy, 1024, {20000, std::uint64_t{200} << 20});
    EXPECT_NE(bounded.status, 0);
    EXPECT_EQ(bounded.out, "");
    EXPECT_EQ(runProgram(greedy, 1024, {20000, 0}).out, "got it\n");
}

} // namespace
} // namespace clipnest::testing
