#include "cli/demo.h"

#include "cli/command_line.h"

#include <fcntl.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
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
    const std::string source = std::string(pattern) + "=size=320x240:rate=10";
    const std::string path = file.string();
    const char* const argv[] = {"ffmpeg",       "-nostdin", "-loglevel", "error",    "-f",      "lavfi",      "-i",
                                source.c_str(), "-t",       "3",         "-pix_fmt", "yuv420p", path.c_str(), nullptr};
    const pid_t pid = ::fork();
    if (pid < 0) {
        return false;
    }
    if (pid == 0) {
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        ::execvp("ffmpeg", const_cast<char* const*>(argv));
        ::_exit(127);
    }
    int status = 0;
    return ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
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
