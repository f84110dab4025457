// Every edit as a user runs it: the whole `clipnest` command, process start included, on homepages of N entries,
// against the floor of the same run: a program that reads the homepage once and writes it once, safely (temporary
// file, write, fsync, rename, fsync of the folder). And `list` against `cat homepage.html`, and start-up (`clipnest
// --version`, `list` on three entries) against `/bin/true`, each interleaved with its floor. Then the undo history:
// what 50 edits leave in .clipnest, each undone against the floor, and a batch of new entries against the floor
// (HISTORY_BENCH_ENTRIES, BATCH_BENCH_LINES). Prints figures; never fails on speed.
//
//   clipnest_command_bench CLIPNEST [N ...]      (clipnest_command_bench --floor FILE, for the floor;
//                                                 clipnest_command_bench --homepage N FILE, a homepage of N entries)
#include "bench_homepage.h"
#include "platform/working_folder.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace clipnest;

struct Run {
    double ms = 0;
    long peakKb = 0;
};

// Runs the program once with its output thrown away; the time it took and its peak memory.
Run timed(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    // Spawned rather than forked, so the child's peak memory is its own and not this program's copy of the homepage.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = -1;
    if (::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    const auto end = std::chrono::steady_clock::now();
    if (!WIFEXITED(status) || WEXITSTATUS(status) > 1) {
        std::fprintf(stderr, "failed: %s (status %d)\n", args.back().c_str(), status);
    }
    return {std::chrono::duration<double, std::milli>(end - start).count(), usage.ru_maxrss};
}

struct Figures {
    double best = 0, median = 0;
    long peakKb = 0;
};

Figures summarise(std::vector<Run> runs) {
    std::sort(runs.begin(), runs.end(), [](const Run& a, const Run& b) { return a.ms < b.ms; });
    long peak = 0;
    for (const Run& r : runs) {
        peak = std::max(peak, r.peakKb);
    }
    return {runs.front().ms, runs[runs.size() / 2].ms, peak};
}

std::string readAll(const fs::path& path) {
    return WorkingFolder(path.parent_path()).read(path.filename().string()).value_or("");
}

int floorProgram(const fs::path& file) {
    const std::string bytes = readAll(file);
    return WorkingFolder(file.parent_path()).write(file.filename().string(), bytes) ? 0 : 1;
}

// Start-up: each command run `rounds` times in turn with /bin/true, so a busy moment of the machine falls on both.
void startup(const std::string& clipnest, const fs::path& dir) {
    fs::remove_all(dir);
    fs::create_directories(dir);
    bench::writeHomepage(dir / "homepage.html", 3);
    WorkingFolder(dir).write("AppDocs.txt", "\r\n");
    const std::vector<std::vector<std::string>> commands = {
        {"/bin/true"}, {clipnest, "--version"}, {clipnest, "-C", dir.string(), "list"}};
    std::vector<std::vector<Run>> runs(commands.size());
    constexpr int Rounds = 300;
    for (int r = 0; r < Rounds; ++r) {
        for (std::size_t c = 0; c < commands.size(); ++c) {
            runs[c].push_back(timed(commands[c]));
        }
    }
    std::printf("\n== Start-up, %d runs each, interleaved with /bin/true\n", Rounds);
    std::printf("%-26s %10s %10s %14s %14s\n", "command", "best ms", "median ms", "best - true", "median - true");
    const Figures floor = summarise(runs[0]);
    for (std::size_t c = 0; c < commands.size(); ++c) {
        const Figures f = summarise(runs[c]);
        const std::string name = c == 0 ? "/bin/true" : c == 1 ? "clipnest --version" : "clipnest list (3 entries)";
        std::printf("%-26s %10.2f %10.2f %14.2f %14.2f\n", name.c_str(), f.best, f.median, f.best - floor.best,
                    f.median - floor.median);
    }
    fs::remove_all(dir);
}

// Bytes under `dir`, a file with several names counted once.
std::uintmax_t bytesUnder(const fs::path& dir) {
    std::uintmax_t total = 0;
    std::vector<std::pair<dev_t, ino_t>> seen;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        struct stat st {};
        if (::lstat(it->path().c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
            continue;
        }
        if (std::find(seen.begin(), seen.end(), std::make_pair(st.st_dev, st.st_ino)) == seen.end()) {
            seen.emplace_back(st.st_dev, st.st_ino);
            total += static_cast<std::uintmax_t>(st.st_size);
        }
    }
    return total;
}

// The undo history: 50 edits of every kind on N entries, what .clipnest then holds against the homepage, and each of
// the 50 undone in turn against the floor; then a batch of `lines` new entries against the floor.
void history(const std::string& clipnest, const std::string& self, const fs::path& dir, int n, int lines) {
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path home = dir / "homepage.html";
    bench::writeHomepage(home, n);
    WorkingFolder(dir).write("AppDocs.txt", "\r\n");
    const std::string c = dir.string();
    std::vector<std::vector<std::string>> edits;
    for (int i = 0; i < 50; ++i) {
        const std::string some = "clip" + std::to_string(1 + (i * 7919) % n) + ".mp4";
        switch (i % 5) {
        case 0:
            edits.push_back({clipnest, "-C", c, "entry", some, "--homepage", "Changed " + std::to_string(i)});
            break;
        case 1:
            edits.push_back({clipnest, "-C", c, "entry", "fresh" + std::to_string(i) + ".mp4", "--homepage", "Fresh"});
            break;
        case 2:
            edits.push_back({clipnest, "-C", c, "insert", "new" + std::to_string(i) + ".mp4", "--above", some,
                             "--homepage", "New"});
            break;
        case 3:
            edits.push_back({clipnest, "-C", c, "delete", some});
            break;
        default:
            edits.push_back({clipnest, "-C", c, "title", "--title", "Title " + std::to_string(i)});
            break;
        }
    }
    std::vector<Run> editRuns, undoRuns, floorRuns;
    for (const auto& e : edits) {
        editRuns.push_back(timed(e));
    }
    const double homeBytes = static_cast<double>(fs::file_size(home));
    const double kept = static_cast<double>(bytesUnder(dir / ".clipnest"));
    for (std::size_t i = 0; i < edits.size(); ++i) {
        floorRuns.push_back(timed({self, "--floor", home.string()}));
        undoRuns.push_back(timed({clipnest, "-C", c, "undo"}));
    }
    const Figures edit = summarise(editRuns), undo = summarise(undoRuns), floor = summarise(floorRuns);
    const double worstUndo =
        std::max_element(undoRuns.begin(), undoRuns.end(), [](const Run& a, const Run& b) { return a.ms < b.ms; })->ms;
    std::printf("\n== Undo history, %d entries (homepage %.1f MB)\n", n, homeBytes / 1e6);
    std::printf("after 50 edits (median %.1f ms each): .clipnest holds %.1f MB, %.2f x the homepage\n", edit.median,
                kept / 1e6, kept / homeBytes);
    std::printf("undo of each of the 50: best %.1f, median %.1f, worst %.1f ms; floor best %.1f, median %.1f ms; "
                "x floor %.2f best, %.2f median, %.2f worst/median\n",
                undo.best, undo.median, worstUndo, floor.best, floor.median, undo.best / floor.best,
                undo.median / floor.median, worstUndo / floor.median);

    // A batch of new entries, each line its own request, against the floor of the same minute.
    std::string batch;
    for (int i = 0; i < lines; ++i) {
        batch += "entry batch" + std::to_string(i) + ".mp4 --homepage 'Line " + std::to_string(i) + "'\n";
    }
    WorkingFolder(dir).write("lines.txt", batch);
    const Run before = timed({self, "--floor", home.string()});
    const Run whole = timed({clipnest, "-C", c, "batch", "lines.txt"});
    const Run after = timed({self, "--floor", home.string()});
    const double floorMs = std::min(before.ms, after.ms);
    std::printf("batch of %d entry lines: %.0f ms, %.0f floor writes (floor %.1f ms), %.1f ms a line\n", lines,
                whole.ms, whole.ms / floorMs, floorMs, whole.ms / lines);
    fs::remove_all(dir);
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--floor") {
        return floorProgram(argv[2]);
    }
    // A homepage of N entries to look at a command by hand.
    if (argc == 4 && std::string(argv[1]) == "--homepage") {
        bench::writeHomepage(argv[3], std::atoi(argv[2]));
        return 0;
    }
    if (argc < 2) {
        std::fprintf(stderr, "usage: clipnest_command_bench CLIPNEST [ENTRIES ...]\n");
        return 2;
    }
    const std::string clipnest = argv[1];
    const std::string self = fs::canonical("/proc/self/exe").string();
    std::vector<int> sizes;
    for (int i = 2; i < argc; ++i) {
        sizes.push_back(std::atoi(argv[i]));
    }
    if (sizes.empty()) {
        sizes = {2000, 20000, 100000};
    }
    constexpr int Repeats = 7;
    std::random_device random;
    const fs::path dir = fs::temp_directory_path() / ("clipnest-command-bench-" + std::to_string(random()));
    std::printf("each figure: %d runs; whole command, process start included; x floor = best/best and "
                "median/median\n",
                Repeats);
    for (const int n : sizes) {
        fs::remove_all(dir);
        fs::create_directories(dir);
        const fs::path home = dir / "homepage.html";
        bench::writeHomepage(home, n);
        WorkingFolder(dir).write("AppDocs.txt", "\r\n");
        // The homepage as made is kept beside the folder and copied back before each run: held in this program, it
        // would count in every command's peak memory (a spawned child's peak includes its parent's at the exec).
        const fs::path original = dir.string() + "-original.html";
        fs::copy_file(home, original, fs::copy_options::overwrite_existing);
        const std::string mid = "clip" + std::to_string(n / 2) + ".mp4";
        const std::string last = "clip" + std::to_string(n) + ".mp4";
        struct Op {
            const char* name;
            std::vector<std::string> args;
        };
        const std::vector<Op> ops = {
            {"floor", {self, "--floor", home.string()}},
            {"append", {clipnest, "-C", dir.string(), "entry", "fresh.mp4", "--homepage", "A fresh one"}},
            {"change", {clipnest, "-C", dir.string(), "entry", mid, "--homepage", "Changed", "--homepage-only"}},
            {"delete first", {clipnest, "-C", dir.string(), "delete", "clip1.mp4"}},
            {"delete middle", {clipnest, "-C", dir.string(), "delete", mid}},
            {"delete last", {clipnest, "-C", dir.string(), "delete", last}},
            {"insert", {clipnest, "-C", dir.string(), "insert", "new.mp4", "--above", mid, "--homepage", "New"}},
            {"title", {clipnest, "-C", dir.string(), "title", "--title", "A new title"}},
            {"cat", {"/bin/cat", home.string()}},
            {"list", {clipnest, "-C", dir.string(), "list"}},
        };
        std::printf("\n== %d entries, homepage %.1f MB\n", n, static_cast<double>(fs::file_size(original)) / 1e6);
        std::printf("%-14s %10s %10s %8s %8s %9s\n", "op", "best ms", "median ms", "x best", "x median", "peak MB");
        // Round after round of every command in turn, so the floors meet the same moments of a busy machine.
        std::vector<std::vector<Run>> runs(ops.size());
        for (int r = 0; r < Repeats; ++r) {
            for (std::size_t o = 0; o < ops.size(); ++o) {
                // Every run starts from the same folder: the homepage as made, no pages, no history.
                fs::copy_file(original, home, fs::copy_options::overwrite_existing);
                fs::remove_all(dir / ".clipnest");
                for (const char* page : {"fresh.php", "new.php"}) {
                    fs::remove(dir / page);
                }
                runs[o].push_back(timed(ops[o].args));
            }
        }
        const Figures floor = summarise(runs.front());
        const Figures cat = summarise(runs[ops.size() - 2]);
        for (std::size_t o = 0; o < ops.size(); ++o) {
            const Figures f = summarise(runs[o]);
            const std::string name = ops[o].name;
            const Figures& base = name == "list" || name == "cat" ? cat : floor;
            std::printf("%-14s %10.1f %10.1f %8.2f %8.2f %9.1f\n", ops[o].name, f.best, f.median, f.best / base.best,
                        f.median / base.median, static_cast<double>(f.peakKb) / 1024.0);
        }
    }
    fs::remove(dir.string() + "-original.html");
    startup(clipnest, dir);
    const char* historySize = std::getenv("HISTORY_BENCH_ENTRIES");
    const char* batchLines = std::getenv("BATCH_BENCH_LINES");
    history(clipnest, self, dir, historySize ? std::atoi(historySize) : 20000,
            batchLines ? std::atoi(batchLines) : 1000);
    return 0;
}
