// The media side of a channel as a host meets it, each program given run in turn with the others round by round, so
// a busy moment of the machine falls on all of them; figures are medians with their range.
//
// check:   `clipnest check` on channels of N entries made by the tool (a title, then a batch of entries with
//          600-character homepage and 300-character page descriptions, every video page and video in the folder),
//          with what ffprobe found already kept, as on every check after the first.
// posters: `clipnest posters` for 50 clips (1280x720, 10 s, H.264 and AAC) against FFmpeg run by hand for the same
//          JPEGs, as many at a time as there are cores; the clips' first second shows a picture, as most clips'
//          does (FADES=N makes the first N of them fade in from black).
//
//   clipnest_media_bench check [--entries N,N] [--rounds R] CLIPNEST...
//   clipnest_media_bench posters [--clips N] [--rounds R] CLIPNEST...
//
// The channels are made once under $TMPDIR/clipnest-media-bench and kept for the next run. Prints figures; never
// fails on speed.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Starts the program with its output thrown away; its process id, or -1.
pid_t start(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

bool finished(pid_t pid) {
    int status = 0;
    return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) <= 1;
}

double msSince(std::chrono::steady_clock::time_point from) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - from).count();
}

// Runs the commands, `at once` of them at a time, and returns the milliseconds until the last one ended.
double runAll(const std::vector<std::vector<std::string>>& commands, std::size_t atOnce = 1) {
    const auto from = std::chrono::steady_clock::now();
    std::vector<pid_t> running;
    for (const auto& command : commands) {
        if (running.size() == atOnce) {
            int status = 0;
            const pid_t done = ::wait(&status);
            std::erase(running, done);
        }
        running.push_back(start(command));
    }
    for (const pid_t pid : running) {
        if (!finished(pid)) {
            std::fprintf(stderr, "a command failed\n");
        }
    }
    return msSince(from);
}

void shell(const std::string& command) {
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
        std::exit(1);
    }
}

std::string quoted(const fs::path& path) {
    std::string out = "'";
    for (const char c : path.string()) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

// "median [lowest-highest]" of the figures.
std::string spread(std::vector<double> values, const char* format) {
    std::sort(values.begin(), values.end());
    char text[96];
    const double middle =
        values.size() % 2 ? values[values.size() / 2] : (values[values.size() / 2 - 1] + values[values.size() / 2]) / 2;
    std::snprintf(text, sizeof text, format, middle, values.front(), values.back());
    return text;
}

std::string describe(const std::string& program) {
    return fs::path(program).parent_path().filename().string() + "/" + fs::path(program).filename().string();
}

// A channel of `n` entries made by the tool: its title, a batch of entries, then the videos, so no poster is made.
void makeChannel(const std::string& clipnest, const fs::path& dir, int n, const fs::path& clip) {
    fs::create_directories(dir);
    const std::string words = "Pruning the roses in late winter, before the buds break, keeps the bush open to "
                              "light and air.";
    std::ofstream lines(dir.parent_path() / (dir.filename().string() + ".batch"));
    for (int i = 1; i <= n; ++i) {
        lines << "entry clip" << i << ".mp4 --homepage 'Clip " << i << ": " << words << ' ' << words << ' ' << words
              << ' ' << words << ' ' << words << ' ' << words << "' --individual '" << words << ' ' << words << ' '
              << words << "'\n";
    }
    lines.close();
    shell(clipnest + " -C " + quoted(dir) + " -q title --title Garden --message 'A new clip every Sunday' 2>/dev/null");
    shell(clipnest + " -C " + quoted(dir) + " -q batch " +
          quoted(dir.parent_path() / (dir.filename().string() + ".batch")) + " 2>/dev/null");
    for (int i = 1; i <= n; ++i) {
        fs::copy_file(clip, dir / ("clip" + std::to_string(i) + ".mp4"));
    }
}

} // namespace

int checkBench(const std::vector<std::string>& programs, const std::vector<int>& sizes, int rounds,
               const fs::path& root);
int posterBench(const std::vector<std::string>& programs, int clips, int rounds, const fs::path& root);

namespace {

int usage() {
    std::fprintf(stderr, "usage: clipnest_media_bench check [--entries N,N] [--rounds R] CLIPNEST...\n"
                         "       clipnest_media_bench posters [--clips N] [--rounds R] CLIPNEST...\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    std::vector<int> sizes{2000, 20000};
    int rounds = 5, clips = 50;
    std::vector<std::string> programs;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i], value = i + 1 < argc ? argv[i + 1] : "";
        if (arg == "--entries") {
            sizes.clear();
            for (std::size_t at = 0; at < value.size(); at = value.find(',', at) + 1) {
                sizes.push_back(std::atoi(value.c_str() + at));
                if (value.find(',', at) == std::string::npos) {
                    break;
                }
            }
            ++i;
        } else if (arg == "--rounds" || arg == "--clips") {
            (arg == "--rounds" ? rounds : clips) = std::max(1, std::atoi(value.c_str()));
            ++i;
        } else {
            programs.push_back(fs::absolute(arg).string());
        }
    }
    if (programs.empty() || (mode != "check" && mode != "posters")) {
        return usage();
    }
    const char* tmp = std::getenv("TMPDIR");
    const fs::path root = fs::path(tmp ? tmp : "/tmp") / "clipnest-media-bench";
    fs::create_directories(root);
    return mode == "check" ? checkBench(programs, sizes, rounds, root) : posterBench(programs, clips, rounds, root);
}

int checkBench(const std::vector<std::string>& programs, const std::vector<int>& sizes, int rounds,
               const fs::path& root) {
    const fs::path clip = root / "check-clip.mp4";
    if (!fs::exists(clip)) {
        shell("ffmpeg -nostdin -loglevel error -f lavfi -i testsrc2=size=320x180:rate=25 -t 2 -c:v libx264 -pix_fmt "
              "yuv420p -movflags +faststart " +
              quoted(clip));
    }
    // What ffprobe says of the clip, said at once by a stand-in, so the first check keeps it for every copy.
    const fs::path bin = root / "bin";
    fs::create_directories(bin);
    shell("printf '#!/bin/sh\\ncat %s\\n' " + quoted(root / "probed") + " > " + quoted(bin / "ffprobe") +
          " && chmod +x " + quoted(bin / "ffprobe") +
          " && ffprobe -v error -show_entries format=format_name:stream=codec_type,codec_name "
          "-of csv=p=0 " +
          quoted(clip) + " > " + quoted(root / "probed"));
    std::printf("== clipnest check, what ffprobe found kept; %d rounds, the programs in turn\n", rounds);
    for (const int n : sizes) {
        const fs::path dir = root / ("check-" + std::to_string(n));
        if (!fs::exists(dir / "homepage.html")) {
            makeChannel(programs.front(), dir, n, clip);
            shell("cd " + quoted(dir) + " && PATH=" + quoted(bin) + ":$PATH " + programs.front() +
                  " check > /dev/null 2>&1");
        }
        std::vector<std::vector<double>> times(programs.size());
        for (int r = 0; r < rounds; ++r) {
            for (std::size_t p = 0; p < programs.size(); ++p) {
                times[p].push_back(runAll({{programs[p], "-C", dir.string(), "check"}}));
            }
        }
        for (std::size_t p = 0; p < programs.size(); ++p) {
            std::printf("%6d entries  %-28s %s\n", n, describe(programs[p]).c_str(),
                        spread(times[p], "%.0f ms [%.0f-%.0f]").c_str());
        }
    }
    return 0;
}

int posterBench(const std::vector<std::string>& programs, int clips, int rounds, const fs::path& root) {
    const char* fadesText = std::getenv("FADES");
    const int fades = fadesText ? std::atoi(fadesText) : 0;
    const fs::path dir = root / ("posters-" + std::to_string(clips) + "-" + std::to_string(fades));
    const char* sources[] = {"testsrc2", "smptehdbars", "mandelbrot", "testsrc", "rgbtestsrc"};
    if (!fs::exists(dir / "homepage.html")) {
        for (int s = 0; s < 5; ++s) {
            for (const bool fade : {false, true}) {
                shell("ffmpeg -nostdin -loglevel error -y -f lavfi -i " + std::string(sources[s]) +
                      "=size=1280x720:rate=25" + (fade ? ",fade=in:0:50" : "") +
                      " -f lavfi -i sine=frequency=440 -t 10 -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac "
                      "-movflags +faststart " +
                      quoted(root / ("source" + std::to_string(s) + (fade ? "-fade" : "") + ".mp4")));
            }
        }
        makeChannel(programs.front(), dir, clips, root / "source0.mp4");
        for (int i = 1; i <= clips; ++i) {
            const fs::path source = root / ("source" + std::to_string(i % 5) + (i <= fades ? "-fade" : "") + ".mp4");
            fs::copy_file(source, dir / ("clip" + std::to_string(i) + ".mp4"), fs::copy_options::overwrite_existing);
        }
    }
    fs::create_directories(dir / "by-hand");
    std::vector<std::vector<std::string>> byHand;
    for (int i = 1; i <= clips; ++i) {
        const std::string name = "clip" + std::to_string(i);
        byHand.push_back({"ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-ss", "1", "-i",
                          (dir / (name + ".mp4")).string(), "-frames:v", "1", "-vf", "scale=640:-2", "-q:v", "3",
                          (dir / "by-hand" / (name + ".jpg")).string()});
    }
    const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
    std::vector<double> hand;
    std::vector<std::vector<double>> times(programs.size()), ratios(programs.size());
    for (int r = 0; r < rounds; ++r) {
        hand.push_back(runAll(byHand, cores));
        for (std::size_t p = 0; p < programs.size(); ++p) {
            times[p].push_back(runAll({{programs[p], "-C", dir.string(), "posters"}}));
            ratios[p].push_back(times[p].back() / hand.back());
        }
    }
    std::printf("== clipnest posters for %d clips (%d fading in), against ffmpeg by hand %zu at a time; %d rounds\n",
                clips, fades, cores, rounds);
    std::printf("ffmpeg by hand                      %s\n", spread(hand, "%.0f ms [%.0f-%.0f]").c_str());
    for (std::size_t p = 0; p < programs.size(); ++p) {
        std::printf("%-35s %s  %s\n", describe(programs[p]).c_str(), spread(times[p], "%.0f ms [%.0f-%.0f]").c_str(),
                    spread(ratios[p], "%.2fx by hand [%.2f-%.2f]").c_str());
    }
    return 0;
}
