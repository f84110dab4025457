#pragma once

#include "publish/plan.h"
#include "publish/remote.h"
#include "publish/settings.h"

#include <atomic>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace clipnest::publish {

// What a publish was asked to do besides uploading what changed.
struct Options {
    bool dryRun = false; // only say what would be done
    bool strict = false; // upload nothing when `clipnest check` finds a problem
    bool remove = false; // remove from the server what the channel put there and no longer has
    // Files on the server that Clipnest did not put there, which may be replaced all the same.
    std::set<std::string> replace;
};

using Problems = std::vector<std::pair<std::string, std::string>>; // a name and what happened to it

struct Report {
    std::vector<ChannelFile> changed;  // what was to be uploaded, in order
    std::vector<std::string> uploaded; // what is now on the server
    // Files the server already held with the same bytes: recorded as the channel's, not sent.
    std::vector<std::string> found;
    Problems failed; // a file's own problem
    // Held back with the old copy left live: a file they name did not arrive.
    Problems held;
    // Files on the server that Clipnest did not put there and that differ: left as they are.
    std::vector<std::string> kept;
    std::vector<RenamePair> renamed;  // done on the server (a dry run: to be done)
    std::vector<std::string> removed; // from the server (a dry run: to be removed)
    // The connection's problem that ended the publish part way, and the files it cut off.
    std::string stopped;
    std::vector<std::string> cutOff;
    std::vector<std::string> notes;
    std::string error; // nothing could be done at all (another publish runs, no connection or login)
    bool cancelled = false;
    bool busy = false; // another publish of the channel is running

    // Whether every changed file is on the server now.
    bool whole() const { return error.empty() && uploaded.size() + found.size() == changed.size(); }
};

// How far the whole publish is: files come to their end of all files, bytes on the server of all bytes, the rate of
// the whole publish since its first byte and the seconds it still takes (-1 while unknown).
struct Overall {
    std::size_t filesDone = 0, files = 0;
    std::uintmax_t bytesDone = 0, bytes = 0;
    double bytesPerSecond = 0;
    int secondsLeft = -1;
};

// What a publish tells while it runs; called from the threads that upload, one call at a time.
struct Events {
    // The transfer of a file begins; `done` files of `count` have come to their end before it.
    std::function<void(const ChannelFile& file, std::size_t done, std::size_t count)> starting;
    std::function<void(const ChannelFile& file, std::uintmax_t sent, std::uintmax_t total)> progress;
    std::function<void(const ChannelFile& file, const std::string& problem)> finished;
    // The whole publish's figures, after each of the calls above.
    std::function<void(const Overall&)> overall;
};

// Brings the server's folder at `target` up to the channel's files, or with `dryRun` only tells what that takes.
// - One publish of a channel at a time: another one, in this process or another, finds it busy and does nothing.
// - Files go up in stages (see Stage), and a file that names one that did not arrive in this publish is held back
//   with its old copy left live, so the live site never links what is missing.
// - The pending renames are done on the server, before the pages that name the new names go up, and taken back when
//   the homepage cannot follow; a renamed video's old page is replaced by one that sends visitors to the new page.
// - A name Clipnest never put there that the server holds with other bytes is not replaced unless `replace` names
//   it; the server's own .htaccess keeps its lines, with Clipnest's block merged in.
// - Parts of files cut off are removed, or gone on from when a large video is unchanged.
// - A file is recorded as published, for that folder, only once the server has it in place; the record is saved
//   every few hundred files and at the end.
// - A connection, login, host-key or certificate problem stops the publish at once and is said once.
// - `settings.connections` connections upload side by side.
Report publishChannel(const std::filesystem::path& channel, const Settings& settings, const Target& target,
                      const Events& events, const std::atomic<bool>& cancel, const Options& options);
// The same, over the connections `open` makes (openRemote's for `target` in the one above).
Report publishChannel(const std::filesystem::path& channel, const Settings& settings, const Target& target,
                      const Events& events, const std::atomic<bool>& cancel, const Options& options,
                      const RemoteMaker& open);

// The publish's lock file in the channel folder.
inline constexpr const char* PublishLockFile = ".clipnest/publish.lock";

// A file this large that is cut off keeps what arrived on the server, for the next publish to go on from.
inline constexpr std::uintmax_t ResumeAtLeast = std::uintmax_t{8} << 20;

} // namespace clipnest::publish
