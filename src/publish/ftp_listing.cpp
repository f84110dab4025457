#include "publish/ftp_listing.h"

#include "platform/code_page.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>

namespace clipnest::publish {

namespace {

std::string lower(std::string_view text) {
    std::string s(text);
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

bool number(std::string_view text, std::uintmax_t& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

// Adds the entry unless it is the folder itself, its parent, or a name the code page cannot hold.
void add(std::string_view utf8, std::uintmax_t size, bool regular, bool folder, std::vector<RemoteFile>& files) {
    const std::optional<std::string> name = toCodePage(utf8);
    if (name && !name->empty() && *name != "." && *name != "..") {
        files.push_back({*name, size, regular, folder});
    }
}

// Each line without its end, empty lines left out.
template <typename Read>
bool eachLine(std::string_view text, std::string& unread, Read read) {
    for (std::size_t from = 0; from < text.size();) {
        std::size_t end = text.find('\n', from);
        end = end == std::string_view::npos ? text.size() : end;
        std::string_view line = text.substr(from, end - from);
        from = end + 1;
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        if (!line.empty() && !read(line)) {
            unread = std::string(line);
            return false;
        }
    }
    return true;
}

bool readMlsdLine(std::string_view line, std::vector<RemoteFile>& files) {
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos) {
        return false;
    }
    std::string type;
    std::uintmax_t size = 0;
    for (std::string_view facts = line.substr(0, space); !facts.empty();) {
        const std::size_t end = std::min(facts.find(';'), facts.size());
        const std::string_view fact = facts.substr(0, end);
        facts.remove_prefix(std::min(end + 1, facts.size()));
        const std::size_t equals = fact.find('=');
        if (equals == std::string_view::npos) {
            return false;
        }
        const std::string key = lower(fact.substr(0, equals));
        const std::string_view value = fact.substr(equals + 1);
        if (key == "type") {
            type = lower(value);
        } else if (key == "size" && !number(value, size)) {
            return false;
        }
    }
    if (type != "cdir" && type != "pdir") {
        add(line.substr(space + 1), size, type == "file", type == "dir", files);
    }
    return true;
}

constexpr std::array<std::string_view, 12> Months = {"jan", "feb", "mar", "apr", "may", "jun",
                                                     "jul", "aug", "sep", "oct", "nov", "dec"};

bool readLsLine(std::string_view line, std::vector<RemoteFile>& files) {
    if (line.starts_with("total ")) {
        return true;
    }
    // The fields as they stand in the line, up to the one the name starts after.
    std::vector<std::string_view> fields;
    for (std::size_t at = line.find_first_not_of(' '); at != std::string_view::npos && fields.size() < 12;
         at = line.find_first_not_of(' ', at)) {
        const std::size_t end = std::min(line.find(' ', at), line.size());
        fields.push_back(line.substr(at, end - at));
        at = end;
    }
    if (fields.empty()) {
        return false;
    }
    const std::string_view mode = fields.front();
    if (mode.size() < 10 || std::string_view("-dlbcps").find(mode[0]) == std::string_view::npos) {
        return false;
    }
    for (std::size_t month = 2; month + 3 < fields.size(); ++month) {
        std::uintmax_t size = 0, day = 0, year = 0;
        const std::string_view when = fields[month + 2];
        // An owner or group named like a month is passed over: the day and the time or year must follow.
        if (std::find(Months.begin(), Months.end(), lower(fields[month])) == Months.end() ||
            !number(fields[month - 1], size) || !number(fields[month + 1], day) || day < 1 || day > 31 ||
            !(number(when, year) || (when.size() == 5 && when[2] == ':'))) {
            continue;
        }
        std::string_view entry = line.substr(static_cast<std::size_t>(when.data() + when.size() - line.data()) + 1);
        if (mode[0] == 'l') {
            entry = entry.substr(0, entry.find(" -> "));
        }
        add(entry, size, mode[0] == '-', mode[0] == 'd', files);
        return true;
    }
    return false;
}

} // namespace

bool readMlsd(std::string_view text, std::vector<RemoteFile>& files, std::string& unread) {
    return eachLine(text, unread, [&](std::string_view line) { return readMlsdLine(line, files); });
}

bool readLsLines(std::string_view text, std::vector<RemoteFile>& files, std::string& unread) {
    return eachLine(text, unread, [&](std::string_view line) { return readLsLine(line, files); });
}

} // namespace clipnest::publish
