// Every edit as a user runs it: the whole `clipnest` command, process start included, on channels made as a host
// makes them (bench_channel.h: the tool's own batch of entries, every video page in the folder; and a copy with the
// channel's address set), against the floor of the same round: a program that reads and safely writes (temporary
// file, write, fsync, rename, fsync of the folder) each file the edit must change: the homepage, and with an address
// also sitemap.xml and feed.xml. Each round runs every command once in turn with its floor, so a busy moment of the
// machine falls on both; each figure is the median of the rounds' ratios, with their range. Then a batch of new
// entries against the floor, start-up against /bin/true, and the undo history. Prints figures; never fails on speed.
//
//   clipnest_command_bench CLIPNEST [N ...]      (clipnest_command_bench --floor FILE..., the floor;
//                                                 clipnest_command_bench --channel N DIR [SITE], a channel;
//                                                 clipnest_command_bench --site DIR SITE, its address)
//   BENCH_ROUNDS (5), BATCH_BENCH_LINES (1000; 0: no batch), BATCH_BENCH_ROUNDS (3), STARTUP_BENCH (1; 0: none),
//   HISTORY_BENCH_ENTRIES (20000; 0: no history)
#include "bench_channel.h"
#include "platform/working_folder.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <random>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <tuple>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace clipnest;
using Words = std::vector<std::string>;

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

int envOr(const char* name, int fallback) {
    const char* value = std::getenv(name);
    return value ? std::atoi(value) : fallback;
}

// "median [min-max]" of a list of figures.
std::string spread(std::vector<double> values, const char* format = "%.2f") {
    std::sort(values.begin(), values.end());
    char text[96];
    const std::string f = std::string(format) + " [" + format + "-" + format + "]";
    std::snprintf(text, sizeof text, f.c_str(), values[values.size() / 2], values.front(), values.back());
    return text;
}

// One read and one safe write of each file, one after the other, as the tool's writes are.
int floorProgram(int count, char** files) {
    for (int i = 0; i < count; ++i) {
        const fs::path file = files[i];
        WorkingFolder folder(file.parent_path());
        const std::optional<std::string> bytes = folder.read(file.filename().string());
        if (!bytes || !folder.write(file.filename().string(), *bytes)) {
            return 1;
        }
    }
    return 0;
}

// A channel of `n` entries made by this build in a process of its own, so none of its memory is this program's.
void makeChannel(const std::string& self, const fs::path& dir, int n, const std::string& site = "") {
    fs::remove_all(dir);
    Words args = {self, "--channel", std::to_string(n), dir.string()};
    if (!site.empty()) {
        args.push_back(site);
    }
    timed(args);
}

// A channel and the commands run on it, each figure kept round by round with the floor of the same round.
struct Bench {
    std::string name;
    Words floor;
    std::vector<std::pair<std::string, Words>> ops;
    std::vector<double> floorMs;
    std::vector<std::vector<double>> ms, ratio;
    std::vector<long> peakKb;
};

// One round: the floor, then each command followed by an undo (not timed) that puts the channel back.
void runRound(Bench& b, const std::string& clipnest, const fs::path& dir) {
    b.ms.resize(b.ops.size());
    b.ratio.resize(b.ops.size());
    b.peakKb.resize(b.ops.size());
    const double floor = timed(b.floor).ms;
    b.floorMs.push_back(floor);
    for (std::size_t o = 0; o < b.ops.size(); ++o) {
        const Run r = timed(b.ops[o].second);
        b.ms[o].push_back(r.ms);
        b.ratio[o].push_back(r.ms / floor);
        b.peakKb[o] = std::max(b.peakKb[o], r.peakKb);
        timed({clipnest, "-C", dir.string(), "undo"});
    }
}

void print(const Bench& b) {
    std::printf("%-22s floor %s ms\n", b.name.c_str(), spread(b.floorMs, "%.1f").c_str());
    for (std::size_t o = 0; o < b.ops.size(); ++o) {
        std::printf("  %-20s %-28s x floor %-24s peak %.1f MB\n", b.ops[o].first.c_str(),
                    (spread(b.ms[o], "%.1f") + " ms").c_str(), spread(b.ratio[o]).c_str(),
                    static_cast<double>(b.peakKb[o]) / 1024.0);
    }
}

// The edits of a user on a channel: with `site`, the floor also writes the sitemap and the feed.
Bench editsOn(const std::string& name, const std::string& clipnest, const std::string& self, const fs::path& dir, int n,
              bool site) {
    Bench b{name, {self, "--floor", (dir / "homepage.html").string()}, {}, {}, {}, {}, {}};
    if (site) {
        b.floor.push_back((dir / "sitemap.xml").string());
        b.floor.push_back((dir / "feed.xml").string());
    }
    const std::string c = dir.string(), mid = "clip" + std::to_string(n / 2) + ".mp4";
    const std::string homepage = bench::description(99, 600), page = bench::description(98, 300);
    b.ops = {{"append", {clipnest, "-C", c, "entry", "fresh.mp4", "--homepage", homepage, "--individual", page}},
             {"change", {clipnest, "-C", c, "entry", mid, "--homepage", "Changed " + homepage, "--individual", page}},
             {"change homepage only", {clipnest, "-C", c, "entry", mid, "--homepage", "Changed", "--homepage-only"}},
             {"delete", {clipnest, "-C", c, "delete", mid}},
             {"insert", {clipnest, "-C", c, "insert", "new.mp4", "--above", mid, "--homepage", homepage}},
             {"title", {clipnest, "-C", c, "title", "--title", "A new title"}}};
    return b;
}

// The edits at each size, on a channel without an address and on a copy with one, round by round.
void edits(const std::string& clipnest, const std::string& self, const fs::path& dir, int n, int rounds) {
    const fs::path plain = dir.string() + "-plain", site = dir.string() + "-site";
    makeChannel(self, plain, n);
    fs::remove_all(site);
    fs::copy(plain, site, fs::copy_options::recursive);
    timed({self, "--site", site.string(), bench::BenchSite});
    std::printf("\n== %d entries: homepage %.1f MB, sitemap %.1f MB, %d pages in the folder\n", n,
                static_cast<double>(fs::file_size(plain / "homepage.html")) / 1e6,
                static_cast<double>(fs::file_size(site / "sitemap.xml")) / 1e6, n);
    Bench without = editsOn("without an address", clipnest, self, plain, n, false);
    Bench with = editsOn("with an address", clipnest, self, site, n, true);
    for (int r = 0; r < rounds; ++r) {
        runRound(without, clipnest, plain);
        runRound(with, clipnest, site);
    }
    print(without);
    print(with);
    fs::remove_all(plain);
    fs::remove_all(site);
}

// A batch of `lines` new entries on each channel against the floor of the same round, undone after each round.
void batch(const std::string& clipnest, const std::string& self, const fs::path& dir, int n, int lines, int rounds) {
    const fs::path plain = dir.string() + "-plain", site = dir.string() + "-site";
    makeChannel(self, plain, n);
    fs::remove_all(site);
    fs::copy(plain, site, fs::copy_options::recursive);
    timed({self, "--site", site.string(), bench::BenchSite});
    std::string text;
    for (int i = 0; i < lines; ++i) {
        text += bench::entryLine("batch" + std::to_string(i) + ".mp4", static_cast<unsigned>(100000 + i));
    }
    const fs::path file = dir.string() + "-batch.txt";
    WorkingFolder(file.parent_path()).write(file.filename().string(), text);
    std::printf("\n== A batch of %d entry lines on %d entries\n", lines, n);
    for (const auto& [name, at, withSite] :
         {std::tuple{"without an address", plain, false}, std::tuple{"with an address", site, true}}) {
        Bench b{name, {self, "--floor", (at / "homepage.html").string()}, {}, {}, {}, {}, {}};
        if (withSite) {
            b.floor.push_back((at / "sitemap.xml").string());
            b.floor.push_back((at / "feed.xml").string());
        }
        b.ops = {{"batch", {clipnest, "-C", at.string(), "batch", file.string()}}};
        for (int r = 0; r < rounds; ++r) {
            runRound(b, clipnest, at);
        }
        print(b);
    }
    fs::remove(file);
    fs::remove_all(plain);
    fs::remove_all(site);
}

// Start-up: each command run `rounds` times in turn with /bin/true, so a busy moment of the machine falls on both.
void startup(const std::string& clipnest, const std::string& self, const fs::path& dir) {
    makeChannel(self, dir, 3);
    const std::vector<Words> commands = {
        {"/bin/true"}, {clipnest, "--version"}, {clipnest, "-C", dir.string(), "list"}};
    std::vector<std::vector<double>> ms(commands.size());
    constexpr int Rounds = 300;
    for (int r = 0; r < Rounds; ++r) {
        for (std::size_t c = 0; c < commands.size(); ++c) {
            ms[c].push_back(timed(commands[c]).ms);
        }
    }
    std::printf("\n== Start-up, %d runs each, interleaved with /bin/true (median [min-max])\n", Rounds);
    const char* names[] = {"/bin/true", "clipnest --version", "clipnest list (3 entries)"};
    for (std::size_t c = 0; c < commands.size(); ++c) {
        std::vector<double> over;
        for (int r = 0; r < Rounds; ++r) {
            over.push_back(ms[c][static_cast<std::size_t>(r)] - ms[0][static_cast<std::size_t>(r)]);
        }
        std::printf("%-26s %s ms, over /bin/true %s ms\n", names[c], spread(ms[c]).c_str(), spread(over).c_str());
    }
    fs::remove_all(dir);
}

// The undo history: 50 edits of every kind on a channel of N entries, what .clipnest then holds against the
// homepage, and each of the 50 undone in turn against the floor.
void history(const std::string& clipnest, const std::string& self, const fs::path& dir, int n) {
    makeChannel(self, dir, n);
    const fs::path home = dir / "homepage.html";
    const double before = static_cast<double>(bytesUnder(dir / ".clipnest"));
    const std::string c = dir.string();
    std::vector<Words> commands;
    for (int i = 0; i < 50; ++i) {
        const std::string some = "clip" + std::to_string(1 + (i * 7919) % n) + ".mp4", k = std::to_string(i);
        const Words each[] = {{clipnest, "-C", c, "entry", some, "--homepage", "Changed " + k, "--homepage-only"},
                              {clipnest, "-C", c, "entry", "fresh" + k + ".mp4", "--homepage", "Fresh"},
                              {clipnest, "-C", c, "insert", "new" + k + ".mp4", "--above", some, "--homepage", "New"},
                              {clipnest, "-C", c, "delete", some},
                              {clipnest, "-C", c, "title", "--title", "Title " + k}};
        commands.push_back(each[i % 5]);
    }
    std::vector<double> edit, ratio;
    for (const Words& command : commands) {
        edit.push_back(timed(command).ms);
    }
    const double homeBytes = static_cast<double>(fs::file_size(home));
    const double kept = static_cast<double>(bytesUnder(dir / ".clipnest")) - before;
    for (std::size_t i = 0; i < commands.size(); ++i) {
        const double floor = timed({self, "--floor", home.string()}).ms;
        ratio.push_back(timed({clipnest, "-C", c, "undo"}).ms / floor);
    }
    std::printf("\n== Undo history, %d entries (homepage %.1f MB)\n", n, homeBytes / 1e6);
    std::printf("50 edits (%s ms each) added %.1f MB to .clipnest, %.2f x the homepage\n", spread(edit, "%.1f").c_str(),
                kept / 1e6, kept / homeBytes);
    std::printf("undo of each of the 50, x floor: %s\n", spread(ratio).c_str());
    fs::remove_all(dir);
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::string(argv[1]) == "--floor") {
        return floorProgram(argc - 2, argv + 2);
    }
    if (argc == 4 && std::string(argv[1]) == "--site") {
        return bench::runIn(argv[2], {"publish", "--site", argv[3]});
    }
    if ((argc == 4 || argc == 5) && std::string(argv[1]) == "--channel") {
        return bench::makeChannel(argv[3], std::atoi(argv[2]), argc == 5 ? argv[4] : "") ? 0 : 1;
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
        sizes = {2000, 20000};
    }
    std::random_device random;
    const fs::path dir = fs::temp_directory_path() / ("clipnest-command-bench-" + std::to_string(random()));
    const int rounds = envOr("BENCH_ROUNDS", 5);
    std::printf("the whole command, process start included; each figure median [min-max] of %d rounds, each round's "
                "command against that round's floor\n",
                rounds);
    for (const int n : sizes) {
        if (rounds > 0) {
            edits(clipnest, self, dir, n, rounds);
        }
    }
    for (const int n : sizes) {
        if (const int lines = envOr("BATCH_BENCH_LINES", 1000); lines > 0) {
            batch(clipnest, self, dir, n, lines, envOr("BATCH_BENCH_ROUNDS", 3));
        }
    }
    if (envOr("STARTUP_BENCH", 1) != 0) {
        startup(clipnest, self, dir);
    }
    if (const int n = envOr("HISTORY_BENCH_ENTRIES", 20000); n > 0) {
        history(clipnest, self, dir, n);
    }
    return 0;
}
