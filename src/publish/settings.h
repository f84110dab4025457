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
    // `max_height = 1080`: the tallest frame `clipnest convert` makes (never larger than the clip's), 144 to 4320;
    // 0 for 1080.
    int maxHeight = 0;
    // `crf = 23`: the quality `clipnest convert` encodes at, 0 (best, largest) to 51; -1 for the default.
    int crf = -1;
    // `comments = held`: every thread holds new comments until the host approves them (`comments = shown`, the
    // default: they show at once).
    bool commentsHeld = false;
    // `notify = host@example.net`: the pages mail a short note of each stored comment there, at most
    // `notify_per_day` a day (0 for the default, DefaultNotifyPerDay).
    std::string notify;
    int notifyPerDay = 0;
};

// Mails a day for the channel when the settings name no number.
inline constexpr int DefaultNotifyPerDay = 20;

// Connections a publish opens when the settings name none.
inline constexpr int DefaultConnections = 2;

inline constexpr const char* SettingsFile = ".clipnest/publish.conf"; // the channel's settings file

// The settings of a channel folder; defaults when there are none. A failure says which line it cannot read and why.
Result<Settings> loadSettings(const std::filesystem::path& channel);
// Writes them whole, in one step; false when they could not be written.
bool saveSettings(const std::filesystem::path& channel, const Settings& settings);

// Nothing when `address` may be the one the notes of new comments go to (`notify`): one word with an @ inside and no
// control character; else why not.
std::optional<std::string> notifyRefusal(const std::string& address);

// Nothing when `site` may be the channel's address, else why not (see discovery::siteProblem).
std::optional<std::string> siteRefusal(const std::string& site);

// An address taken apart. `path` is the folder as the address writes it, with a leading slash. It is read as an
// ordinary host reads it: inside the login folder ("/public_html/" is public_html in the login folder, "/" the login
// folder itself), as `scp host:path` does, whatever the scheme; a path from the server's root is written with two
// slashes ("//var/www/html/"). "/~/public_html/", as older settings write it, is the login folder's too.
struct Target {
    enum class Scheme { Sftp, Ftps, Ftp } scheme = Scheme::Sftp;
    std::string user, host, path;
    int port = 0; // 0: the scheme's own
    std::string display() const;
    // The folder as the server takes it: "" for the login folder, "public_html/" inside it, "/var/www/html/" from the
    // server's root.
    std::string folder() const;
    // The folder in words, for a message: "the folder public_html in the login folder of bob on example.net", "the
    // folder /var/www/html on example.net", "the login folder of bob on example.net".
    std::string described() const;
    // The address the channel's record of what is on the server is kept under: one for each folder, so that an
    // address written another way for the same folder finds the same record, and one read otherwise than before
    // finds none.
    std::string recordKey() const;
};

// The address taken apart; a failure, with the reason, for one that is not sftp://, ftps:// or ftp:// with a host and
// a folder, or that holds a password.
Result<Target> parseTarget(const std::string& url);

} // namespace clipnest::publish
