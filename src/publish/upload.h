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

// Puts files on the server (and reads them back) over one connection, which libcurl keeps open from file to file. Each
// file goes to a hidden name beside its target and is renamed over the target only when it arrived whole, so a visitor
// sees the old file or the new one, never a part. A transfer that fails for a reason that may pass (no connection, a
// time-out) is tried three times in all, with a pause of 1, then 2 seconds.
class Uploader {
public:
    Uploader(const Target& target, const Settings& settings);
    ~Uploader();
    Uploader(const Uploader&) = delete;
    Uploader& operator=(const Uploader&) = delete;

    // Empty when the file is on the server under `name`; else what went wrong, in words for the user.
    std::string put(const std::filesystem::path& local, const std::string& name, const Progress& progress,
                    const std::atomic<bool>& cancel);

    // Reads the file `name` of the server's folder into `bytes`. Empty when read, or when there is no such file
    // (`missing` says so); else what went wrong, in words for the user.
    std::string get(const std::string& name, std::string& bytes, bool& missing);

    // The pauses between tries, in milliseconds (tests shorten them).
    int firstPauseMs = 1000;

private:
    struct Handle;
    void logIn(void* curl) const;
    std::string urlOf(void* curl, const std::string& name) const;
    std::string failure(int curlCode, long response, const char* errorText, const std::string& name,
                        bool& mayPass) const;
    std::string attempt(const std::filesystem::path& local, const std::string& name, const Progress& progress,
                        const std::atomic<bool>& cancel, bool& mayPass);
    Target target_;
    Settings settings_;
    std::unique_ptr<Handle> handle_;
};

// The temporary name a file is uploaded under, beside its target.
std::string partName(const std::string& name);

} // namespace clipnest::publish
