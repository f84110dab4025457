#pragma once

#include "platform/result.h"
#include "publish/settings.h"

#include <atomic>
#include <string>
#include <vector>

namespace clipnest::publish {

// What a test of the connection found: whether the folder of the address can be published to, and if not, why.
struct ConnectionReport {
    enum class Outcome { Writable, NotWritable, FolderMissing, LoginRefused, HostKeyUnknown, Unreachable, BadAddress };
    Outcome outcome = Outcome::Unreachable;
    // One line, UTF-8, e.g. "Connected as bob; public_html holds homepage.html and 12 other files; writable".
    std::string text;
    std::vector<std::string> loginTop; // the login folder's top names (folders first), when they could be read
};

// Connects with `settings` (its `to`, key, known hosts, cacert, insecure), logs in, looks for the folder, and puts and
// removes a small file there to tell whether it can be written.
ConnectionReport checkConnection(const Settings& settings, const std::atomic<bool>* cancel = nullptr);

// The folders inside `path` (a path as written in an address, "" for the login folder), for a folder chooser.
Result<std::vector<std::string>> listFolders(const Settings& settings, const std::string& path);

} // namespace clipnest::publish
