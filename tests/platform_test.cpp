// The operating system's side: files opened without following links, hard links, writes from pieces, processes and
// the wall clock every record reads.
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/launch.h"
#include "platform/process.h"
#include "platform/program.h"
#include "platform/working_folder.h"
#include "support/support.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <limits>
#include <map>
#include <poll.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

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

// Launches `how` with its output into a pipe and reads it to its end; what it wrote and how it ended.
struct Ran {
    std::string out;
    int status = -1; // the exit status; -1 for a signal
    Launched launched;
};
Ran launchAndRead(Launch how) {
    Ran ran;
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) {
        return ran;
    }
    how.output = out[1];
    ran.launched = launch(how);
    ::close(out[1]);
    char buffer[4096];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;) {
        ran.out.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(out[0]);
    int status = 0;
    if (ran.launched.pid > 0 && ::waitpid(ran.launched.pid, &status, 0) == ran.launched.pid) {
        ran.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    return ran;
}

Launch shell(const std::string& script) {
    Launch how;
    how.argv = {"sh", "-c", script, "sh"};
    return how;
}

// Every program is started by one launcher: its words reach it as they are, with no shell; the environment given is
// the whole of its environment; what is not given goes to the null device, and nothing the launcher opened itself
// reaches it; a program that is not there is said; its own group, memory limit and SIGPIPE are as asked; and a
// guarded program's whole group ends with it.
TEST(Platform, ProgramsAreLaunchedWithWhatTheyAreGivenAndNothingElse) {
    Launch words = shell("printf '%s|' \"$@\"");
    words.argv.insert(words.argv.end(), {"a b", "*", "$HOME", ""});
    EXPECT_EQ(launchAndRead(words).out, "a b|*|$HOME||");

    Launch environment = shell("echo \"$ONLY-${HOME-none}\"");
    environment.environment = {"ONLY=this"};
    EXPECT_EQ(launchAndRead(environment).out, "this-none\n");
    EXPECT_EQ(launchAndRead(shell("echo \"${HOME:+home}\"")).out, "home\n") << "this process's own by default";

    // Each descriptor of the program's past the three is one it inherited from this process as it is.
    const Ran streams = launchAndRead(shell("echo lost >&2; ls -l /proc/$$/fd"));
    std::map<int, std::string> inherited;
    std::istringstream lines(streams.out);
    for (std::string line; std::getline(lines, line);) {
        if (const std::size_t arrow = line.find(" -> "); arrow != std::string::npos) {
            inherited[std::stoi(line.substr(line.rfind(' ', arrow - 1) + 1))] = line.substr(arrow + 4);
        }
    }
    EXPECT_EQ(inherited[0], "/dev/null") << streams.out;
    EXPECT_TRUE(inherited[1].starts_with("pipe:")) << streams.out;
    EXPECT_EQ(inherited[2], "/dev/null") << streams.out;
    for (const auto& [fd, target] : inherited) {
        if (fd > 2) {
            std::error_code ec;
            EXPECT_EQ(fs::read_symlink("/proc/self/fd/" + std::to_string(fd), ec).string(), target) << fd;
            EXPECT_EQ(::fcntl(fd, F_GETFD) & FD_CLOEXEC, 0) << fd << " " << target;
        }
    }
    EXPECT_EQ(streams.out.find("lost"), std::string::npos);
    // A descriptor given for the place it already has stays open in the program, even one closed on exec here.
    const int errorFlags = ::fcntl(STDERR_FILENO, F_GETFD);
    ::fcntl(STDERR_FILENO, F_SETFD, errorFlags | FD_CLOEXEC);
    Launch inPlace = shell("readlink /proc/$$/fd/2");
    inPlace.errors = STDERR_FILENO;
    const std::string ownErrors = launchAndRead(inPlace).out;
    ::fcntl(STDERR_FILENO, F_SETFD, errorFlags);
    std::error_code ec;
    EXPECT_EQ(ownErrors, fs::read_symlink("/proc/self/fd/2", ec).string() + "\n");

    Launch missing;
    missing.argv = {"clipnest-no-such-program"};
    const Ran absent = launchAndRead(missing);
    EXPECT_GT(absent.launched.pid, 0);
    EXPECT_EQ(absent.launched.execError, ENOENT);
    EXPECT_EQ(absent.status, 127);
    const Ran running = launchAndRead(shell("exit 3"));
    EXPECT_EQ(running.launched.execError, 0);
    EXPECT_EQ(running.status, 3);

    Launch group = shell("echo $$ $(cut -d' ' -f5 /proc/$$/stat)");
    const std::string sameGroup = launchAndRead(group).out;
    EXPECT_EQ(sameGroup.substr(sameGroup.find(' ') + 1), std::to_string(::getpgrp()) + "\n");
    group.ownGroup = true;
    const std::string ownGroup = launchAndRead(group).out;
    EXPECT_EQ(ownGroup.substr(ownGroup.find(' ') + 1), ownGroup.substr(0, ownGroup.find(' ')) + "\n");

    Launch memory = shell("ulimit -v");
    EXPECT_EQ(launchAndRead(memory).out, "unlimited\n");
    memory.memoryBytes = std::uint64_t{256} << 20;
    EXPECT_EQ(launchAndRead(memory).out, "262144\n");

    // With SIGPIPE ignored here, a program is given it ignored unless it asks for the default.
    const auto before = std::signal(SIGPIPE, SIG_IGN);
    Launch pipe = shell("grep SigIgn /proc/$$/status");
    const std::string ignoring = launchAndRead(pipe).out;
    pipe.defaultBrokenPipe = true;
    const std::string byDefault = launchAndRead(pipe).out;
    std::signal(SIGPIPE, before);
    const auto ignoresPipe = [](const std::string& line) {
        return (std::stoull(line.substr(line.find_first_of("0123456789abcdef")), nullptr, 16) >> (SIGPIPE - 1) & 1) !=
               0;
    };
    EXPECT_TRUE(ignoresPipe(ignoring)) << ignoring;
    EXPECT_FALSE(ignoresPipe(byDefault)) << byDefault;

    // The program leaves a child holding the output; once the program has ended, its guard ends the child too (the
    // output then ends), and the guard itself.
    Launch guarded = shell("sleep 30 & echo started");
    guarded.guarded = true;
    const auto start = std::chrono::steady_clock::now();
    const Ran ended = launchAndRead(guarded);
    EXPECT_EQ(ended.out, "started\n");
    // The launch returns once the guarded program runs, and the guard holds nothing of this process's: a pipe made
    // here ends when this process closes its end.
    int held[2];
    ASSERT_EQ(::pipe2(held, O_CLOEXEC), 0);
    Launch lasting = shell("sleep 30");
    lasting.guarded = true;
    const auto launchedAt = std::chrono::steady_clock::now();
    const Launched server = launch(lasting);
    EXPECT_LT(std::chrono::steady_clock::now() - launchedAt, std::chrono::seconds(5));
    ::close(held[1]);
    pollfd end{held[0], POLLIN, 0};
    EXPECT_EQ(::poll(&end, 1, 5000), 1);
    EXPECT_TRUE(end.revents & POLLHUP);
    ::close(held[0]);
    ::kill(-server.pid, SIGKILL);
    ::waitpid(server.pid, nullptr, 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

} // namespace
} // namespace clipnest::testing
