// Converting a phone's clip, as a host meets it: `clipnest convert` against FFmpeg run by hand with the same
// arguments on the same clip, in turn round by round, so a busy moment of the machine falls on both; figures are
// medians with their range, and the speed as a multiple of real time (the clip's length over the time taken).
//
// convert: HEVC .mov clips with AAC sound (FFmpeg's testsrc2 with a little grain, as a camera's sensor gives), 720p
//          and 1080p at 30 frames a second, each converted in a fresh channel folder.
// crf:     the sizes and the SSIM against the source of the same 1080p clip at three rate factors.
//
//   clipnest_convert_bench convert [--seconds S] [--rounds R] CLIPNEST
//   clipnest_convert_bench crf [--seconds S] CRF...
//
// The clips are made once under $TMPDIR/clipnest-convert-bench and kept for the next run. Prints figures; never fails
// on speed.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string quoted(const std::string& text) {
    std::string q = "'";
    for (const char c : text) {
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return q + "'";
}

bool run(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

std::string output(const std::string& command) {
    std::string text;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
            text.append(buffer, n);
        }
        ::pclose(pipe);
    }
    return text;
}

fs::path benchDir() {
    const char* tmp = std::getenv("TMPDIR");
    return fs::path(tmp && *tmp ? tmp : "/tmp") / "clipnest-convert-bench";
}

// The phone's clip of that height, made once.
fs::path clipOf(int height, int seconds) {
    const fs::path clip = benchDir() / ("hevc" + std::to_string(height) + "-" + std::to_string(seconds) + "s.mov");
    if (!fs::exists(clip)) {
        fs::create_directories(benchDir());
        const int width = height * 16 / 9;
        std::printf("making %s ...\n", clip.filename().c_str());
        std::fflush(stdout);
        run("ffmpeg -nostdin -loglevel error -y -f lavfi -i 'testsrc2=size=" + std::to_string(width) + "x" +
            std::to_string(height) + ":rate=30,noise=alls=4:allf=t' -f lavfi -i sine=frequency=300 -t " +
            std::to_string(seconds) +
            " -c:v libx265 -x265-params log-level=error -preset fast -pix_fmt yuv420p -tag:v hvc1 -c:a aac -shortest " +
            quoted(clip.string() + ".part.mov") + " && mv " + quoted(clip.string() + ".part.mov") + " " +
            quoted(clip.string()));
    }
    return clip;
}

// The arguments `clipnest convert` hands ffmpeg for a clip (media/convert.cpp), without its progress pipe.
std::string byHand(const fs::path& in, const fs::path& out, int crf) {
    return "ffmpeg -nostdin -hide_banner -loglevel error -y -i " + quoted(in.string()) +
           " -map 0:V:0 -vf \"scale=-2:'2*trunc(min(ih,1080)/2)',format=yuv420p\" -c:v libx264 -crf " +
           std::to_string(crf) + " -profile:v high -level:v 4.1 -pix_fmt yuv420p -map 0:a:0 -c:a aac -b:a 160k " +
           "-movflags +faststart -f mp4 " + quoted(out.string());
}

double secondsOf(const std::string& command) {
    const auto from = std::chrono::steady_clock::now();
    if (!run(command)) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
        return -1;
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

struct Figures {
    std::vector<double> times;
    std::string text(double clipSeconds, double against = 0) const {
        std::vector<double> t = times;
        std::sort(t.begin(), t.end());
        const double median = t.empty() ? 0 : t[t.size() / 2];
        char line[160];
        std::snprintf(line, sizeof line, "%.2f s [%.2f-%.2f], %.2fx real time", median, t.empty() ? 0 : t.front(),
                      t.empty() ? 0 : t.back(), median > 0 ? clipSeconds / median : 0);
        std::string s = line;
        if (against > 0) {
            std::snprintf(line, sizeof line, ", %.2fx by hand", median / against);
            s += line;
        }
        return s;
    }
    double median() const {
        std::vector<double> t = times;
        std::sort(t.begin(), t.end());
        return t.empty() ? 0 : t[t.size() / 2];
    }
};

int convertBench(const std::string& clipnest, int seconds, int rounds) {
    std::printf("| clip | by hand | clipnest convert |\n|---|---|---|\n");
    for (const int height : {720, 1080}) {
        const fs::path clip = clipOf(height, seconds);
        Figures hand, ours;
        for (int round = 0; round < rounds; ++round) {
            const fs::path folder = benchDir() / "channel";
            fs::remove_all(folder);
            fs::create_directories(folder);
            fs::copy_file(clip, folder / "clip.mov");
            const auto mine = [&] {
                ours.times.push_back(secondsOf("cd " + quoted(folder.string()) + " && " + quoted(clipnest) +
                                               " -q convert clip.mov > /dev/null 2>&1"));
            };
            const auto theirs = [&] { hand.times.push_back(secondsOf(byHand(clip, benchDir() / "hand.mp4", 23))); };
            if (round % 2) {
                mine();
                theirs();
            } else {
                theirs();
                mine();
            }
        }
        std::printf("| HEVC %dp, %d s | %s | %s |\n", height, seconds, hand.text(seconds).c_str(),
                    ours.text(seconds, hand.median()).c_str());
        std::fflush(stdout);
    }
    return 0;
}

int crfBench(int seconds, const std::vector<int>& crfs) {
    const fs::path clip = clipOf(1080, seconds);
    std::printf("| crf | size | bit rate | SSIM against the source |\n|---|---|---|---|\n");
    for (const int crf : crfs) {
        const fs::path out = benchDir() / ("crf" + std::to_string(crf) + ".mp4");
        if (secondsOf(byHand(clip, out, crf)) < 0) {
            return 1;
        }
        const std::string ssim = output("ffmpeg -nostdin -hide_banner -i " + quoted(out.string()) + " -i " +
                                        quoted(clip.string()) + " -lavfi ssim -f null - 2>&1 | grep -o 'All:[0-9.]*'");
        const double bytes = static_cast<double>(fs::file_size(out));
        std::printf("| %d | %.2f MB | %.2f Mbit/s | %s |\n", crf, bytes / 1e6, bytes * 8 / 1e6 / seconds,
                    ssim.empty() ? "?" : ssim.substr(4, ssim.find('\n') - 4).c_str());
        std::fflush(stdout);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    int seconds = 10, rounds = 3;
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--seconds" && i + 1 < args.size()) {
            seconds = std::max(1, std::atoi(args[++i].c_str()));
        } else if (args[i] == "--rounds" && i + 1 < args.size()) {
            rounds = std::max(1, std::atoi(args[++i].c_str()));
        } else {
            rest.push_back(args[i]);
        }
    }
    if (rest.size() >= 2 && rest[0] == "convert") {
        return convertBench(rest[1], seconds, rounds);
    }
    if (rest.size() >= 2 && rest[0] == "crf") {
        std::vector<int> crfs;
        for (std::size_t i = 1; i < rest.size(); ++i) {
            crfs.push_back(std::atoi(rest[i].c_str()));
        }
        return crfBench(seconds, crfs);
    }
    std::fprintf(stderr, "usage: clipnest_convert_bench convert [--seconds S] [--rounds R] CLIPNEST\n"
                         "       clipnest_convert_bench crf [--seconds S] CRF...\n");
    return 2;
}
