#include "publish/settings.h"

#include "platform/working_folder.h"
#include "text/channel_settings.h"
#include "text/discovery.h"
#include "text/individual_page.h"
#include "text/text_ops.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <sstream>

namespace clipnest::publish {

namespace {

// Takes a setting of words into `s`: true when `line` is one, `refusal` then saying what is wrong with its value, or
// left empty.
bool takeWords(Settings& s, const SettingLine& line, std::string& refusal) {
    const std::string& value = line.value;
    if (line.key == "to") {
        s.to = value;
    } else if (line.key == "extra") {
        s.extra = settingWords({line}, "extra");
    } else if (line.key == "insecure") {
        s.insecure = value == "yes" || value == "true";
    } else if (line.key == "cacert") {
        s.cacert = value;
    } else if (line.key == "key") {
        s.key = value;
    } else if (line.key == "known_hosts") {
        s.knownHosts = value;
    } else if (line.key == "site") {
        refusal = siteRefusal(value).value_or("");
        s.site = value;
    } else if (line.key == "comments") {
        if (value != "held" && value != "shown") {
            refusal = "comments takes held or shown; '" + value + "' is neither";
        }
        s.commentsHeld = value == "held";
    } else if (line.key == "notify") {
        refusal = notifyRefusal(value).value_or("");
        s.notify = value;
    } else if (line.key == "script" || line.key == "fonts") {
        for (const std::string& address : settingWords({line}, line.key)) {
            if (!isPageAddress(address)) {
                refusal = line.key + " takes https:// addresses; '" + address + "' is none";
                return true;
            }
            (line.key == "script" ? s.scripts : s.fonts).push_back(address);
        }
    } else {
        return false;
    }
    return true;
}

// The whole value as a number from `low` to `high`, or nothing.
template <typename Number>
std::optional<Number> numberIn(const std::string& value, Number low, Number high) {
    Number number{};
    const auto [end, problem] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (problem != std::errc() || end != value.data() + value.size() || number < low || number > high) {
        return std::nullopt;
    }
    return number;
}

// A size such as 200M, in bytes, or nothing.
std::optional<std::uintmax_t> sizeOf(const std::string& value) {
    std::uintmax_t number = 0;
    const auto [end, problem] = std::from_chars(value.data(), value.data() + value.size(), number);
    const std::string unit(end, value.data() + value.size());
    const int shift = unit == ""                   ? 0
                      : unit == "K" || unit == "k" ? 10
                      : unit == "M" || unit == "m" ? 20
                      : unit == "G" || unit == "g" ? 30
                                                   : -1;
    if (problem != std::errc() || shift < 0 || number == 0 || number > (UINTMAX_MAX >> 30)) {
        return std::nullopt;
    }
    return number << shift;
}

// As takeWords, for the settings that are numbers.
bool takeNumber(Settings& s, const SettingLine& line, std::string& refusal) {
    const std::string& value = line.value;
    const std::string none = "; '" + value + "' is none";
    if (line.key == "max_upload") {
        const std::optional<std::uintmax_t> size = sizeOf(value);
        refusal = size ? "" : "max_upload takes a size such as 200M" + none;
        s.maxUpload = size.value_or(s.maxUpload);
    } else if (line.key == "connections") {
        const std::optional<int> n = numberIn(value, 1, 8);
        refusal = n ? "" : "connections takes a number from 1 to 8" + none;
        s.connections = n.value_or(s.connections);
    } else if (line.key == "feed_items" || line.key == "notify_per_day") {
        const std::optional<int> n = numberIn(value, 1, std::numeric_limits<int>::max());
        refusal = n ? "" : line.key + " takes a number from 1 up" + none;
        (line.key == "feed_items" ? s.feedItems : s.notifyPerDay) = n.value_or(0);
    } else if (line.key == "max_height") {
        const std::optional<int> n = numberIn(value, 144, 4320);
        refusal = n ? "" : "max_height takes a height from 144 to 4320" + none;
        s.maxHeight = n.value_or(s.maxHeight);
    } else if (line.key == "crf") {
        const std::optional<int> n = numberIn(value, 0, 51);
        refusal = n ? "" : "crf takes 0 to 51" + none;
        s.crf = n.value_or(s.crf);
    } else {
        return false;
    }
    return true;
}

} // namespace

Result<Settings> loadSettings(const std::filesystem::path& channel) {
    Settings settings;
    for (const SettingLine& line : readChannelSettings(WorkingFolder(channel))) {
        std::string refusal;
        if (!takeWords(settings, line, refusal) && !takeNumber(settings, line, refusal)) {
            refusal = "unknown setting '" + line.key + "'";
        }
        if (!refusal.empty()) {
            return Failure{std::string(SettingsFile) + " line " + std::to_string(line.number) + ": " + refusal};
        }
    }
    return settings;
}

bool saveSettings(const std::filesystem::path& channel, const Settings& s) {
    std::string text = "# Where and how `clipnest publish` uploads the channel. No password is kept here: SFTP uses "
                       "your SSH agent or keys,\n# FTPS your ~/.netrc.\nto = " +
                       s.to + "\n";
    if (!s.extra.empty()) {
        text += "extra =";
        for (const std::string& name : s.extra) {
            text += " " + name;
        }
        text += "\n";
    }
    // `insecure` allows plain ftp:// only, and is not kept for an address that is none.
    text += s.insecure && s.to.starts_with("ftp://") ? "insecure = yes\n" : "";
    text += s.cacert.empty() ? "" : "cacert = " + s.cacert + "\n";
    text += s.key.empty() ? "" : "key = " + s.key + "\n";
    text += s.knownHosts.empty() ? "" : "known_hosts = " + s.knownHosts + "\n";
    text += s.site.empty() ? "" : "site = " + s.site + "\n";
    text += s.maxUpload ? "max_upload = " + std::to_string(s.maxUpload) + "\n" : "";
    text += s.connections ? "connections = " + std::to_string(s.connections) + "\n" : "";
    text += s.feedItems ? "feed_items = " + std::to_string(s.feedItems) + "\n" : "";
    text += s.maxHeight ? "max_height = " + std::to_string(s.maxHeight) + "\n" : "";
    text += s.crf >= 0 ? "crf = " + std::to_string(s.crf) + "\n" : "";
    text += s.commentsHeld ? "comments = held\n" : "";
    text += s.notify.empty() ? "" : "notify = " + s.notify + "\n";
    text += s.notifyPerDay ? "notify_per_day = " + std::to_string(s.notifyPerDay) + "\n" : "";
    for (const auto& [key, addresses] : {std::pair{"script", &s.scripts}, std::pair{"fonts", &s.fonts}}) {
        for (const std::string& address : *addresses) {
            text += std::string(key) + " = " + address + "\n";
        }
    }
    std::optional<WorkingFolder> hidden = WorkingFolder(channel).subfolder(".clipnest", true);
    return hidden && hidden->write("publish.conf", text);
}

std::optional<std::string> notifyRefusal(const std::string& address) {
    const std::size_t at = address.find('@');
    const bool control = std::any_of(address.begin(), address.end(),
                                     [](char c) { return static_cast<unsigned char>(c) <= 0x20 || c == 0x7F; });
    if (control || at == std::string::npos || at == 0 || at + 1 == address.size()) {
        return "notify takes one mail address such as host@example.net, without blanks or line breaks; '" + address +
               "' is none";
    }
    return std::nullopt;
}

std::optional<std::string> siteRefusal(const std::string& site) {
    const std::string problem = discovery::siteProblem(site);
    if (problem.empty()) {
        return std::nullopt;
    }
    return problem + "; '" + site + "' is none";
}

std::string Target::display() const {
    const char* scheme = this->scheme == Scheme::Sftp ? "sftp" : this->scheme == Scheme::Ftps ? "ftps" : "ftp";
    return joined(
        {scheme, "://", user.empty() ? "" : user + "@", host, port ? joined({":", std::to_string(port)}) : "", path});
}

std::string Target::folder() const {
    if (path.starts_with("//")) {
        return path.substr(1);
    }
    if (path.starts_with("/~/")) {
        return path.substr(3);
    }
    return path.substr(path.empty() ? 0 : 1);
}

std::string Target::described() const {
    const std::string server = " on " + host;
    const std::string login = "the login folder" + (user.empty() ? std::string() : " of " + user) + server;
    std::string inside = folder();
    if (inside.size() > 1 && inside.ends_with('/')) {
        inside.pop_back();
    }
    if (inside.empty()) {
        return login;
    }
    if (inside.starts_with('/')) {
        return "the folder " + inside + server;
    }
    return "the folder " + inside + " in " + login;
}

std::string Target::recordKey() const {
    const std::string inside = folder();
    Target key = *this;
    // "/~/x/" and "/x/" are one folder; an SFTP address read from the server's root before is another's record.
    key.path = inside.starts_with('/') ? "/" + inside : scheme == Scheme::Sftp ? "/~/" + inside : "/" + inside;
    return key.display();
}

Result<Target> parseTarget(const std::string& url) {
    Target t;
    const std::size_t colon = url.find("://");
    const std::string scheme = colon == std::string::npos ? "" : url.substr(0, colon);
    if (scheme == "sftp") {
        t.scheme = Target::Scheme::Sftp;
    } else if (scheme == "ftps") {
        t.scheme = Target::Scheme::Ftps;
    } else if (scheme == "ftp") {
        t.scheme = Target::Scheme::Ftp;
    } else {
        return Failure{"the address must start with sftp://, ftps:// or ftp://"};
    }
    std::string rest = url.substr(colon + 3);
    const std::size_t slash = rest.find('/');
    std::string authority = rest.substr(0, slash);
    t.path = slash == std::string::npos ? "/" : rest.substr(slash);
    if (!t.path.ends_with('/')) {
        t.path += '/';
    }
    if (const std::size_t at = authority.rfind('@'); at != std::string::npos) {
        t.user = authority.substr(0, at);
        authority.erase(0, at + 1);
        if (t.user.find(':') != std::string::npos) {
            return Failure{
                "the address holds a password; Clipnest never keeps one: use your SSH agent or keys for SFTP and "
                "~/.netrc for FTPS"};
        }
    }
    // An IPv6 address is in brackets, and only a colon after the closing one starts the port.
    const std::size_t closing = authority.starts_with('[') ? authority.find(']') : 0;
    if (closing == std::string::npos || (closing && closing + 1 < authority.size() && authority[closing + 1] != ':')) {
        return Failure{"the address's host '" + authority + "' is no host name nor IPv6 address in brackets"};
    }
    if (const std::size_t portAt = authority.rfind(':');
        portAt != std::string::npos && (!closing || portAt > closing)) {
        const std::string port = authority.substr(portAt + 1);
        const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), t.port);
        if (ec != std::errc() || end != port.data() + port.size() || t.port <= 0 || t.port > 65535) {
            return Failure{"the port '" + port + "' is no port number"};
        }
        authority.erase(portAt);
    }
    t.host = authority;
    if (t.host.empty() || t.path.find("/../") != std::string::npos ||
        t.path.find_first_of("\r\n\"") != std::string::npos) {
        return Failure{"the address needs a host and a folder, as in sftp://user@example.net/public_html"};
    }
    return t;
}

} // namespace clipnest::publish
