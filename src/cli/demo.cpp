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

// Each homepage description says what its clip shows.
constexpr DemoEntry Entries[] = {
    {"welcome.mp4", "Welcome: a test picture that counts three seconds",
     "This is a video page: the video, this longer description, and a comment box for visitors.", "testsrc"},
    {"colour-bars.mp4", "Colour bars, as a studio sends them",
     "Each entry on the homepage links to a page like this one.", "smptebars"},
    {"stripes.mp4", "Red, green and blue stripes",
     "Change the descriptions in Clipnest, then preview or publish the channel.", "rgbtestsrc"},
};

// Runs ffmpeg quietly for a short test video that browsers play and start at once (H.264, its index at the front,
// as clipnest check asks); false when ffmpeg is not there or fails.
bool makeTestVideo(const std::filesystem::path& file, const char* pattern) {
    const ProgramRun run = runProgram({"ffmpeg", "-nostdin", "-loglevel", "error", "-f", "lavfi", "-i",
                                       std::string(pattern) + "=size=320x240:rate=10", "-t", "3", "-c:v", "libx264",
                                       "-pix_fmt", "yuv420p", "-movflags", "+faststart", file.string()});
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
