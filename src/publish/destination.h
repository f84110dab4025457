#pragma once

#include "publish/settings.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace clipnest::publish {

// Where a publish goes once the settings' rules are applied, and what the user should know of it.
struct Destination {
    Settings settings;
    Target target;
    std::vector<std::string> notes; // plain FTP, an address that could not be kept
};

struct DestinationProblem {
    enum class Kind {
        Settings,  // the settings file cannot be read
        NoAddress, // none given and none kept
        BadAddress,
        PlainFtp, // ftp:// without `insecure`
    } kind = Kind::Settings;
    std::string text;
};

// The address kept in the channel's settings, or empty when there is none (or the settings cannot be read).
std::string keptAddress(const std::filesystem::path& channel);

// The channel's settings with `to` (when not empty) in place of the kept address and `insecure` added to the kept
// one, checked: the problem when the settings cannot be read, there is no address, it cannot be read or it is plain
// ftp:// without `insecure`. A new address that passes is kept in the settings when `keep` holds.
Result<Destination, DestinationProblem> chooseDestination(const std::filesystem::path& channel, const std::string& to,
                                                          bool insecure, bool keep);

// Keeps the address `to` (with `insecure` for plain ftp://) in the channel's settings, the others as they are: for an
// address given once, after a publish has reached its server, so that one that fails is not kept. Nothing when kept,
// else why not.
std::optional<std::string> keepAddress(const std::filesystem::path& channel, const std::string& to, bool insecure);

} // namespace clipnest::publish
