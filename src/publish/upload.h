#pragma once

#include "publish/settings.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace clipnest::publish {

// How far the transfer of one file is.
using Progress = std::function<void(std::uintmax_t sent, std::uintmax_t total)>;

// Puts files on the server over one connection, which libcurl keeps open from file to file. Each file goes to a
// hidden name beside its target and is renamed over the target only when it arrived whole, so a visitor sees the
// old file or the new one, never a part. A transfer that fails for a reason that may pass (no connection, a time-out)
// is tried three times in all, with a pause of 1, then 2 seconds.
class Uploader {
public:
    Uploader(const Target& target, const Settings& settings);
    ~Uploader();
    Uploader(const Uploader&) = delete;
    Uploader& operator=(const Uploader&) = delete;

    // Empty when the file is on the server under `name`; else what went wrong, in words for the user.
    std::string put(const std::filesystem::path& local, const std::string& name, const Progress& progress,
                    const std::atomic<bool>& cancel);

    // The pauses between tries, in milliseconds (tests shorten them).
    int firstPauseMs = 1000;

private:
    struct Handle;
    std::string attempt(const std::filesystem::path& local, const std::string& name, const Progress& progress,
                        const std::atomic<bool>& cancel, bool& mayPass);
    Target target_;
    Settings settings_;
    std::unique_ptr<Handle> handle_;
};

// The temporary name a file is uploaded under, beside its target.
std::string partName(const std::string& name);

} // namespace clipnest::publish
