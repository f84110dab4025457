#pragma once

#include "platform/result.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace clipnest::publish {

// Where the channel is published and how, as kept in .clipnest/publish.conf: one "key = value" a line, # comments.
// No password is ever kept: SFTP logs in with the user's SSH agent or keys, FTPS with ~/.netrc.
struct Settings {
    std::string to;                 // sftp://user@host[:port]/path, ftps://..., or ftp://... with `insecure`
    std::vector<std::string> extra; // files of the channel folder uploaded as well (a style sheet, a logo)
    bool insecure = false;          // plain FTP allowed
    std::string cacert;             // FTPS: the certificate authority of a host that signs its own certificate
    std::string key;                // SFTP: the private key; else the first of ~/.ssh/id_ed25519, id_ecdsa, id_rsa
    std::string knownHosts;         // SFTP: else ~/.ssh/known_hosts
    // The video pages load scripts and web-font style sheets only from these addresses the host names.
    std::vector<std::string> scripts, fonts;
    // `site = https://example.net/garden/`: the channel's own address, from which the share tags, the feed and the
    // sitemap make absolute addresses; without it they are not written.
    std::string site;
    std::uintmax_t maxUpload = 0; // `max_upload = 200M`: the largest file the host takes (K, M, G: powers of 1024)
    int connections = 0;          // `connections = 4`: uploads side by side, 1 to 8; 0 for the default
    int feedItems = 0;            // `feed_items = 100`: the newest entries feed.xml holds, 1 or more; 0 for 100
};

// Connections a publish opens when the settings name none.
inline constexpr int DefaultConnections = 2;

inline constexpr const char* SettingsFile = ".clipnest/publish.conf"; // the channel's settings file

// The settings of a channel folder; defaults when there are none. A failure says which line it cannot read and why.
Result<Settings> loadSettings(const std::filesystem::path& channel);
// Writes them whole, in one step; false when they could not be written.
bool saveSettings(const std::filesystem::path& channel, const Settings& settings);

// Nothing when `site` may be the channel's address, else why not (see discovery::siteProblem).
std::optional<std::string> siteRefusal(const std::string& site);

// An address taken apart. `path` is the folder on the server, with a leading slash ("/" for the login folder's root
// on FTP, or the file system's root on SFTP; "/~/" is the home folder on SFTP).
struct Target {
    enum class Scheme { Sftp, Ftps, Ftp } scheme = Scheme::Sftp;
    std::string user, host, path;
    int port = 0; // 0: the scheme's own
    std::string display() const;
};

// The address taken apart; a failure, with the reason, for one that is not sftp://, ftps:// or ftp:// with a host and
// a folder, or that holds a password.
Result<Target> parseTarget(const std::string& url);

} // namespace clipnest::publish
