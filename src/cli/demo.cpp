#include "cli/demo.h"

#include "cli/command_line.h"
#include "shell/program.h"

#include <sstream>
#include <string>
#include <vector>

namespace clipnest::cli {

namespace {

struct DemoEntry {
    const char* file;
    const char* homepage;
    const char* page;
    const char* pattern; // ffmpeg's test source
};

constexpr DemoEntry Entries[] = {
    {"welcome.mp4", "Welcome to the channel",
     "This is a video page: the video, this longer description, and a comment box for visitors.", "testsrc"},
    {"garden.mp4", "Planting tulips in autumn", "Each entry on the homepage links to a page like this one.",
     "smptebars"},
    {"kitchen.mp4", "Bread in one hour", "Change the descriptions in Clipnest, then preview or publish the channel.",
     "rgbtestsrc"},
};

// Runs ffmpeg quietly for a short test video; false when it is not there or fails.
bool makeTestVideo(const std::filesystem::path& file, const char* pattern) {
    const ProgramRun run =
        runProgram({"ffmpeg", "-nostdin", "-loglevel", "error", "-f", "lavfi", "-i",
                    std::string(pattern) + "=size=320x240:rate=10", "-t", "3", "-pix_fmt", "yuv420p", file.string()});
    return run.started && run.status == 0;
}

bool run(const std::filesystem::path& folder, std::vector<const char*> words) {
    words.insert(words.begin(), "clipnest");
    std::ostringstream out, err;
    return runCommandLine(static_cast<int>(words.size()), words.data(), folder, out, err) == 0;
}

} // namespace

bool makeDemoChannel(const std::filesystem::path& folder) {
    std::error_code ec;
    if (!std::filesystem::create_directories(folder, ec)) {
        return false;
    }
    for (const DemoEntry& e : Entries) {
        makeTestVideo(folder / e.file, e.pattern);
        if (!run(folder, {"entry", e.file, "--homepage", e.homepage, "--individual", e.page})) {
            return false;
        }
    }
    return run(folder,
               {"title", "--title", "My Video Channel", "--message", "A demo channel: change it or start your own"});
}

} // namespace clipnest::cli
