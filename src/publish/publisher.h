#pragma once

#include "publish/plan.h"
#include "publish/settings.h"
#include "publish/upload.h"

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
    std::vector<std::pair<std::string, std::string>> failed; // name and the reason
    std::vector<std::string> notes;
    std::string error; // nothing could be done at all
    bool cancelled = false;
};

// What a publish tells while it runs.
struct Events {
    std::function<void(const ChannelFile& file, std::size_t index, std::size_t count)> starting;
    Progress progress;
    std::function<void(const ChannelFile& file, const std::string& problem)> finished;
};

// Uploads the channel's changed files to `target`, or with `dryRun` only tells which they are. Each file that
// arrived is recorded in the manifest at once, so an interrupted publish is finished by the next one; a failed file
// stays changed. The homepage goes last, and not at all when a file before it failed, so it never links to a page
// or video the server lacks.
//
// What `clipnest check` finds is said in one note, and with `strict` nothing is uploaded then.
Report publishChannel(const std::filesystem::path& channel, const Settings& settings, const Target& target,
                      const Events& events, const std::atomic<bool>& cancel, bool dryRun, bool strict = false);

} // namespace clipnest::publish
