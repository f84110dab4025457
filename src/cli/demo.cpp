#include "cli/demo.h"

#include "cli/command_line.h"
#include "media/ffmpeg.h"
#include "platform/working_folder.h"

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
        WorkingFolder channel(folder);
        media::makeTestClip(channel, e.file, e.pattern);
        if (!run(folder, {"entry", e.file, "--homepage", e.homepage, "--individual", e.page})) {
            return false;
        }
    }
    return run(folder,
               {"title", "--title", "My Video Channel", "--message", "A demo channel: change it or start your own"});
}

} // namespace clipnest::cli
