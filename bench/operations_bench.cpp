// Each editing operation end to end (click and every tick of its chain) and its slowest tick, on a homepage of a
// given number of entries. One size per process (--entries=N) so that the peak memory printed at the end belongs to
// that size alone. Prints figures; never fails on speed.
#include "bench_homepage.h"
#include "core/form.h"
#include "platform/working_folder.h"
#include "text/default_homepage.h"
#include "text/document.h"
#include "text/individual_page.h"
#include "text/markers.h"
#include "text/text_ops.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

namespace clipnest {
namespace {

namespace fs = std::filesystem;
using bench::liveEntry;
using bench::writeHomepage;

double cpuMs() {
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

double wallMs() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

long vmHwmKb() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmHWM:")) {
            return std::atol(line.c_str() + 6);
        }
    }
    return -1;
}

// Starts a new peak-memory measurement (Linux resets VmHWM to the current size).
void resetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

int Entries = 2000;

// A fresh folder under the temporary folder (a RAM disk when TMPDIR points at one), removed at the end.
class Folder {
public:
    Folder() {
        std::random_device random;
        path_ = fs::temp_directory_path() / ("clipnest-bench-" + std::to_string(random()));
        fs::create_directories(path_);
    }
    ~Folder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

const fs::path& masterHomepage() {
    static Folder folder;
    static const fs::path path = [] {
        const fs::path p = folder.path() / "homepage.html";
        writeHomepage(p, Entries);
        return p;
    }();
    return path;
}

std::string middle() {
    return "clip" + std::to_string(std::max(1, Entries / 2)) + ".mp4";
}

std::string twoDigits(int n) {
    return (n < 10 ? "0" : "") + std::to_string(n);
}

// One session: a folder holding the homepage and a Form that has run its start-up.
struct Session {
    Folder dir;
    VirtualClock clock;
    WorkingFolder folder{dir.path()};
    std::unique_ptr<Form> form;

    Session() {
        fs::copy_file(masterHomepage(), dir.path() / "homepage.html");
        std::ofstream(dir.path() / "AppDocs.txt", std::ios::binary) << "\r\n";
        // The entry the change, delete and insert work on has its page, as it would after a real append.
        std::string page = buildIndividualPageTemplate();
        fillIndividualPage(page, middle(), withoutExtension(middle()), "The story", "A title");
        std::ofstream(dir.path() / (std::string(withoutExtension(middle())) + ".php"), std::ios::binary)
            << page << "\r\n";
        form = std::make_unique<Form>(clock, folder);
        runChain(nullptr);
    }

    struct Tick {
        std::string what;
        double wall, cpu;
    };

    // Runs the armed chain one scheduler step at a time, timing each.
    void runChain(std::vector<Tick>* ticks) {
        for (int guard = 0; form->chainRunning() && guard < 100000; ++guard) {
            const auto due = form->scheduler().nextDue();
            if (!due) {
                break;
            }
            clock.now = std::max(clock.now, *due);
            const std::string what = ticks ? tickName() : std::string();
            const double w0 = wallMs();
            const double c0 = cpuMs();
            form->scheduler().runDue();
            const double c1 = cpuMs();
            const double w1 = wallMs();
            if (ticks) {
                ticks->push_back({what, w1 - w0, c1 - c0});
            }
        }
    }

    // The Step about to run and the phase it will do, e.g. "Timer12 phase 7".
    std::string tickName() const {
        const Form& f = *form;
        if (f.isArmed(Step::Route)) {
            return "Timer24 routing phase " + twoDigits(std::min(f.request().RoutePhase + 1, 4));
        }
        if (f.isArmed(Step::Append)) {
            return "Timer12 append phase " + twoDigits(f.request().AppendPhase + 1);
        }
        if (f.isArmed(Step::ChangeDescriptions)) {
            return "Timer14 change phase " + twoDigits(f.request().ChangePhase + 1);
        }
        if (f.isArmed(Step::Insert)) {
            return "Timer28 insert phase " + twoDigits(f.request().InsertPhase + 1);
        }
        for (const auto& [step, name] : {std::pair{Step::TitleAndMessage, "Timer20 title"},
                                         {Step::CutEntry, "Timer23 cut"},
                                         {Step::PreparePage, "Timer26 page"},
                                         {Step::FindHomepage, "Timer31 find"},
                                         {Step::DefaultHomepage, "Timer25 default"},
                                         {Step::EntryNotFound, "Timer30 not found"}}) {
            if (f.isArmed(step)) {
                return name;
            }
        }
        return "other";
    }
};

struct BenchOperation {
    const char* name;
    std::function<void(Form&)> click;
};

const std::vector<BenchOperation>& operations() {
    static const std::vector<BenchOperation> ops = {
        {"append",
         [](Form& f) {
             f.controls.first.name = "fresh.mp4";
             f.controls.first.homepageDescription = "A fresh one";
             f.createOrChangeEntry(EntryPanel::First);
         }},
        {"change",
         [](Form& f) {
             f.controls.first.name = middle();
             f.controls.first.homepageDescription = "Better words";
             f.controls.first.pageDescription = "The long story";
             f.createOrChangeEntry(EntryPanel::First);
         }},
        {"delete",
         [](Form& f) {
             f.controls.first.name = middle();
             f.deleteEntry(EntryPanel::First);
         }},
        {"insert",
         [](Form& f) {
             f.controls.insert.name = "between.mp4";
             f.controls.insert.homepageDescription = "In between";
             f.controls.insert.above = middle();
             f.insertAboveEntry();
         }},
        {"title",
         [](Form& f) {
             f.controls.title = "A new title";
             f.controls.message = "A new message";
             f.setTitleAndMessage();
         }},
    };
    return ops;
}

struct Figures {
    std::vector<double> wholeMs;
    double worstTickMs = 0;
    std::string worstTick;
    int ticks = 0;
    long peakKb = 0;
    std::map<std::string, std::pair<double, int>> cpuByTick; // sum, count
};
std::map<std::string, Figures> Results;
std::vector<double> FloorMs;

void BM_Operation(benchmark::State& state, const BenchOperation& op) {
    Figures& fig = Results[op.name];
    resetPeak();
    for (auto _ : state) {
        state.PauseTiming();
        auto session = std::make_unique<Session>();
        std::vector<Session::Tick> ticks;
        state.ResumeTiming();

        const double w0 = wallMs();
        op.click(*session->form);
        session->runChain(&ticks);
        const double whole = wallMs() - w0;
        state.SetIterationTime(whole / 1e3);

        state.PauseTiming();
        if (session->form->isVisible(Message::FileFailure)) {
            state.SkipWithError("a write failed");
        }
        fig.wholeMs.push_back(whole);
        fig.ticks = static_cast<int>(ticks.size());
        for (const Session::Tick& t : ticks) {
            if (t.wall > fig.worstTickMs) {
                fig.worstTickMs = t.wall;
                fig.worstTick = t.what;
            }
            auto& [sum, count] = fig.cpuByTick[t.what];
            sum += t.cpu;
            ++count;
        }
        session.reset();
        state.ResumeTiming();
    }
    fig.peakKb = vmHwmKb();
    state.counters["worst_tick_ms"] = fig.worstTickMs;
    state.counters["ticks"] = fig.ticks;
}

// The floor for an operation that must rewrite the homepage: one plain read of the file and one safe write of it
// (temporary file, flush to disk, rename), the least any operation that changes the homepage has to do.
void BM_ReadWriteFloor(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        Folder dir;
        fs::copy_file(masterHomepage(), dir.path() / "homepage.html");
        WorkingFolder folder(dir.path());
        state.ResumeTiming();
        const double w0 = wallMs();
        std::string bytes;
        {
            std::ifstream in(dir.path() / "homepage.html", std::ios::binary);
            bytes.resize(static_cast<std::size_t>(fs::file_size(dir.path() / "homepage.html")));
            in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        }
        const bool ok = folder.write("homepage.html", bytes);
        const double whole = wallMs() - w0;
        state.SetIterationTime(whole / 1e3);
        if (!ok) {
            state.SkipWithError("copy failed");
        }
        FloorMs.push_back(whole);
    }
}

double median(std::vector<double> v) {
    if (v.empty()) {
        return 0;
    }
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void printSummary() {
    const double size = static_cast<double>(fs::file_size(masterHomepage()));
    const double floor = median(FloorMs);
    std::printf("\n== %d entries, homepage %.1f MB\n", Entries, size / 1e6);
    std::printf("read+write floor: %.2f ms (median)\n", floor);
    std::printf("%-8s %12s %10s %8s %9s  %s\n", "op", "whole ms", "x floor", "ticks", "peak MB",
                "worst tick (ms, which)");
    for (const BenchOperation& op : operations()) {
        const Figures& fig = Results[op.name];
        const double whole = median(fig.wholeMs);
        std::printf("%-8s %12.2f %10.2f %8d %9.1f  %.2f  %s\n", op.name, whole, floor > 0 ? whole / floor : 0.0,
                    fig.ticks, static_cast<double>(fig.peakKb) / 1e3, fig.worstTickMs, fig.worstTick.c_str());
    }
    for (const char* op : {"append", "change", "delete", "insert", "title"}) {
        std::printf("\nCPU per tick, %s (mean ms):\n", op);
        for (const auto& [what, sumCount] : Results[op].cpuByTick) {
            std::printf("  %-28s %9.3f\n", what.c_str(), sumCount.first / sumCount.second);
        }
    }
    const long hwm = vmHwmKb();
    std::printf("\npeak memory of the whole run (VmHWM): %.1f MB; limit 4 x homepage + 50 MB = %.1f MB\n",
                static_cast<double>(hwm) / 1e3, (4 * size + 50e6) / 1e6);
}

} // namespace
} // namespace clipnest

int main(int argc, char** argv) {
    using namespace clipnest;
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        if (std::strncmp(argv[i], "--entries=", 10) == 0) {
            Entries = std::atoi(argv[i] + 10);
        } else {
            args.push_back(argv[i]);
        }
    }
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    const int iterations = Entries >= 10000 ? 3 : Entries >= 1000 ? 10 : 30;
    masterHomepage();
    const std::string suffix = "/entries:" + std::to_string(Entries);
    benchmark::RegisterBenchmark(("floor/read_write" + suffix).c_str(), BM_ReadWriteFloor)
        ->UseManualTime()
        ->Iterations(iterations)
        ->Unit(benchmark::kMillisecond);
    for (const BenchOperation& op : operations()) {
        benchmark::RegisterBenchmark((std::string(op.name) + suffix).c_str(), BM_Operation, op)
            ->UseManualTime()
            ->Iterations(iterations)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    printSummary();
    return 0;
}
