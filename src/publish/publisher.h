#pragma once

#include "publish/plan.h"
#include "publish/remote.h"
#include "publish/settings.h"

#include <atomic>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace clipnest::publish {

struct Report {
    std::vector<ChannelFile> changed;                        // what was to be uploaded, in order
    std::vector<std::string> uploaded;                       // what is now on the server
    std::vector<std::pair<std::string, std::string>> failed; // name and the reason, one file's own problem
    // The connection's problem that ended the publish part way, and the files it cut off.
    std::string stopped;
    std::vector<std::string> cutOff;
    std::vector<std::string> notes;
    std::string error; // nothing could be done at all (another publish runs, no connection or login)
    bool cancelled = false;
    bool busy = false; // another publish of the channel is running
};

// What a publish tells while it runs; called from the threads that upload, one call at a time.
struct Events {
    // The transfer of a file begins; `done` files of `count` have come to their end before it.
    std::function<void(const ChannelFile& file, std::size_t done, std::size_t count)> starting;
    std::function<void(const ChannelFile& file, std::uintmax_t sent, std::uintmax_t total)> progress;
    std::function<void(const ChannelFile& file, const std::string& problem)> finished;
};

// Uploads the channel's changed files to `target`, or with `dryRun` only tells which they are.
// - One publish of a channel at a time: another one, in this process or another, finds it busy and does nothing.
// - A file is recorded as published only once the server has it in place; the record is saved every few hundred
//   files and at the end, so a killed publish loses a few records at most, and those files are simply sent again.
// - The homepage goes last, and not at all when a file before it failed, so it never links to a page or video the
//   server lacks.
// - A connection, login, host-key or certificate problem stops the publish at once and is said once.
// - `settings.connections` connections upload side by side.
//
// What `clipnest check` finds is said in one note, and with `strict` nothing is uploaded then.
Report publishChannel(const std::filesystem::path& channel, const Settings& settings, const Target& target,
                      const Events& events, const std::atomic<bool>& cancel, bool dryRun, bool strict = false);
// The same, over the connections `open` makes (openRemote's for `target` in the one above).
Report publishChannel(const std::filesystem::path& channel, const Settings& settings, const Target& target,
                      const Events& events, const std::atomic<bool>& cancel, bool dryRun, bool strict,
                      const RemoteMaker& open);

// The publish's lock file in the channel folder.
inline constexpr const char* PublishLockFile = ".clipnest/publish.lock";

} // namespace clipnest::publish
