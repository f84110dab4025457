#include "text/discovery.h"

#include "text/document.h"
#include "text/markers.h"
#include "text/page_text.h"
#include "text/text_ops.h"

#include <array>
#include <cmath>

namespace clipnest::discovery {

namespace {

// XML 1.0's Char production: tab, line feed, carriage return and everything from the space up, less the surrogates
// and U+FFFE/U+FFFF.
bool allowedInXml(char32_t cp) {
    return cp == 0x9 || cp == 0xA || cp == 0xD || (cp >= 0x20 && cp <= 0xD7FF) || (cp >= 0xE000 && cp <= 0xFFFD) ||
           (cp >= 0x10000 && cp <= 0x10FFFF);
}

// 0 to 99 as two digits.
std::string twoDigits(int n) {
    return {static_cast<char>('0' + n / 10 % 10), static_cast<char>('0' + n % 10)};
}

// Days since 1970-01-01 from a civil date, and back (proleptic Gregorian).
std::int64_t daysFromCivil(std::int64_t y, int m, int d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

struct Civil {
    std::int64_t year;
    int month, day, hour, minute, second, weekday; // weekday 0 = Sunday
};

Civil civilOf(const Moment& moment) {
    const std::int64_t local = moment.seconds + std::int64_t{moment.offsetMinutes} * 60;
    std::int64_t days = local >= 0 ? local / 86400 : (local - 86399) / 86400;
    const std::int64_t rest = local - days * 86400;
    Civil c{};
    c.hour = static_cast<int>(rest / 3600);
    c.minute = static_cast<int>(rest / 60 % 60);
    c.second = static_cast<int>(rest % 60);
    c.weekday = static_cast<int>(((days % 7) + 11) % 7); // 1970-01-01 was a Thursday
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t doe = days - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    c.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    c.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    c.year = yoe + era * 400 + (c.month <= 2);
    return c;
}

std::string offsetText(int minutes, bool colon) {
    const int magnitude = minutes < 0 ? -minutes : minutes;
    return std::string(minutes < 0 ? "-" : "+") + twoDigits(magnitude / 60) + (colon ? ":" : "") +
           twoDigits(magnitude % 60);
}

// A whole number of `digits` digits at `at`, or -1.
int digitsAt(std::string_view text, std::size_t at, std::size_t digits) {
    if (at + digits > text.size()) {
        return -1;
    }
    int value = 0;
    for (std::size_t i = at; i < at + digits; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return -1;
        }
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

// A meta tag; nothing for an empty value.
void addMeta(std::string& out, std::string_view property, std::string_view content) {
    if (!content.empty()) {
        out += "<meta property=\"" + std::string(property) + "\" content=\"" + markupText(content) + "\">\n";
    }
}

void addJson(std::string& out, std::string_view key, std::string_view value, bool quoted = true) {
    out += joined({",\n  \"", key, "\": "});
    out += quoted ? joined({"\"", jsonText(value), "\""}) : std::string(value);
}

// One character of markup text that is not copied as it stands (see markupText).
void appendMarkup(std::string& out, char32_t cp, bool findable) {
    switch (cp) {
    case '&':
        out += "&amp;";
        return;
    case '<':
        out += "&lt;";
        return;
    case '>':
        out += "&gt;";
        return;
    case '"':
        out += "&quot;";
        return;
    case '\'':
        out += "&#39;";
        return;
    default:
        break;
    }
    if (!allowedInXml(cp)) {
        return;
    }
    if (cp < 0x80 && !findable) {
        out += static_cast<char>(cp);
    } else {
        out += "&#" + std::to_string(static_cast<std::uint32_t>(cp)) + ";";
    }
}

// The bytes of `utf8` that are written escaped whatever they are: one character of each sequence by which the tool
// finds its way in a page, so text put in a page's head never reads back as a marker or a placeholder.
std::vector<bool> findableBytes(std::string_view utf8) {
    std::vector<bool> escaped(utf8.size());
    for (std::size_t pos = 0; pos < utf8.size(); ++pos) {
        if (const std::optional<std::size_t> which = findableAt(utf8, pos)) {
            escaped[pos + *which] = true;
        }
    }
    return escaped;
}

std::string pageDescription(const VideoFacts& video) {
    return video.description.empty() ? video.title : video.description;
}

} // namespace

std::string siteProblem(std::string_view site) {
    const std::size_t schemeEnd = site.starts_with("https://") ? 8 : site.starts_with("http://") ? 7 : 0;
    if (schemeEnd == 0) {
        return "the channel's address must start with https:// (or http://)";
    }
    for (const char c : site) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F || std::string_view("\"'<>\\`{}|^").find(c) != std::string_view::npos) {
            return "the channel's address may not hold blanks, quotes, angle brackets, backslashes, control "
                   "characters or letters beyond ASCII (write an international host in its xn-- form and other "
                   "characters percent-encoded)";
        }
    }
    if (site.find_first_of("?#") != std::string_view::npos) {
        return "the channel's address is a folder's: no query (?) or fragment (#)";
    }
    const std::size_t hostEnd = site.find('/', schemeEnd);
    if (hostEnd == schemeEnd || site.substr(schemeEnd, hostEnd - schemeEnd).find('@') != std::string_view::npos) {
        return "the channel's address needs a host (and no user name), as in https://example.net/garden/";
    }
    if (hostEnd == std::string_view::npos || !site.ends_with('/')) {
        return "the channel's address is a folder's and ends in /, as in https://example.net/garden/";
    }
    return {};
}

std::string isoDateTime(const Moment& moment) {
    const Civil c = civilOf(moment);
    return std::to_string(c.year) + "-" + twoDigits(c.month) + "-" + twoDigits(c.day) + "T" + twoDigits(c.hour) + ":" +
           twoDigits(c.minute) + ":" + twoDigits(c.second) + offsetText(moment.offsetMinutes, true);
}

std::optional<Moment> parseIsoDateTime(std::string_view text) {
    const int year = digitsAt(text, 0, 4), month = digitsAt(text, 5, 2), day = digitsAt(text, 8, 2);
    const int hour = digitsAt(text, 11, 2), minute = digitsAt(text, 14, 2);
    if (year < 0 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23 || minute < 0 ||
        minute > 59 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':') {
        return std::nullopt;
    }
    std::size_t at = 16;
    int second = 0;
    if (at < text.size() && text[at] == ':') {
        second = digitsAt(text, at + 1, 2);
        if (second < 0 || second > 60) {
            return std::nullopt;
        }
        at += 3;
    }
    int offset = 0;
    if (text.substr(at) == "Z") {
        offset = 0;
    } else {
        const int hours = digitsAt(text, at + 1, 2), minutes = digitsAt(text, at + 4, 2);
        if (text.size() != at + 6 || (text[at] != '+' && text[at] != '-') || text[at + 3] != ':' || hours < 0 ||
            hours > 23 || minutes < 0 || minutes > 59) {
            return std::nullopt;
        }
        offset = (text[at] == '-' ? -1 : 1) * (hours * 60 + minutes);
    }
    const std::int64_t local = daysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
    return Moment{local - std::int64_t{offset} * 60, offset};
}

std::string rfc822DateTime(const Moment& moment) {
    static constexpr std::array<const char*, 7> days = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr std::array<const char*, 12> months = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                           "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const Civil c = civilOf(moment);
    return std::string(days[static_cast<std::size_t>(c.weekday)]) + ", " + twoDigits(c.day) + " " +
           months[static_cast<std::size_t>(c.month - 1)] + " " + std::to_string(c.year) + " " + twoDigits(c.hour) +
           ":" + twoDigits(c.minute) + ":" + twoDigits(c.second) + " " + offsetText(moment.offsetMinutes, false);
}

std::string isoDuration(double seconds) {
    const auto whole = static_cast<std::int64_t>(std::llround(seconds < 0 ? 0 : seconds));
    const std::int64_t h = whole / 3600, m = whole / 60 % 60, s = whole % 60;
    if (h > 0) {
        return "PT" + std::to_string(h) + "H" + std::to_string(m) + "M" + std::to_string(s) + "S";
    }
    return "PT" + (m > 0 ? std::to_string(m) + "M" : "") + std::to_string(s) + "S";
}

std::string addressOf(std::string_view site, std::string_view name) {
    std::string out(site);
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
            c == '_' || c == '~') {
            out += c;
        } else {
            static constexpr std::string_view hex = "0123456789ABCDEF";
            out += '%';
            out += hex[byte >> 4];
            out += hex[byte & 0xF];
        }
    }
    return out;
}

std::string_view videoType(std::string_view name) {
    return extensionOf(name) == "webm" ? "video/webm" : "video/mp4";
}

std::string markupText(std::string_view utf8) {
    // What is copied as it stands goes in runs; only the bytes of this table are looked at one by one: markup, the
    // controls, what is beyond ASCII, and the characters that typed text writes as a reference in a findable
    // sequence (the digit of "p4y", "t9b3" ..., the "b" of the searched marker tail).
    static constexpr auto Looked = [] {
        std::array<bool, 256> looked{};
        for (int b = 0; b < 256; ++b) {
            looked[static_cast<std::size_t>(b)] = b < 0x20 || b >= 0x80;
        }
        for (const unsigned char c : std::string_view("&<>\"'459b")) {
            looked[c] = true;
        }
        return looked;
    }();
    std::string out;
    out.reserve(utf8.size() + utf8.size() / 8);
    std::size_t done = 0;
    for (std::size_t pos = 0; pos < utf8.size();) {
        if (!Looked[static_cast<unsigned char>(utf8[pos])]) {
            ++pos;
            continue;
        }
        out.append(utf8, done, pos - done);
        const char c = utf8[pos];
        const bool findable = (c == 'b' && findableAt(utf8, pos) == std::size_t{0}) ||
                              (c >= '0' && c <= '9' && pos > 0 && findableAt(utf8, pos - 1) == std::size_t{1});
        const char32_t cp = nextCodePoint(utf8, pos);
        done = pos;
        appendMarkup(out, cp, findable);
    }
    out.append(utf8, done);
    return out;
}

std::string jsonText(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    const auto unit = [&out](std::uint32_t u) {
        out += "\\u";
        for (int shift = 12; shift >= 0; shift -= 4) {
            out += "0123456789abcdef"[(u >> shift) & 0xF];
        }
    };
    const std::vector<bool> findable = findableBytes(utf8);
    for (std::size_t pos = 0; pos < utf8.size();) {
        const bool escape = findable[pos];
        const char32_t cp = nextCodePoint(utf8, pos);
        if (cp == '"' || cp == '\\') {
            out += '\\';
            out += static_cast<char>(cp);
        } else if (cp == '\n') {
            out += "\\n";
        } else if (cp == '\r') {
            out += "\\r";
        } else if (cp == '\t') {
            out += "\\t";
        } else if (cp == '/' && out.ends_with('<')) {
            out += "\\/";
        } else if (cp == '<' && pos < utf8.size() && (utf8[pos] == '?' || utf8[pos] == '!')) {
            // The page is PHP, and a script's text must not open a comment either: no "<?" and no "<!".
            unit(static_cast<std::uint32_t>(cp));
        } else if (cp < 0x20 || cp == 0x7F || escape) {
            unit(static_cast<std::uint32_t>(cp));
        } else if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x10000) {
            unit(static_cast<std::uint32_t>(cp));
        } else {
            const std::uint32_t v = static_cast<std::uint32_t>(cp) - 0x10000;
            unit(0xD800 + (v >> 10));
            unit(0xDC00 + (v & 0x3FF));
        }
    }
    return out;
}

std::string trimmedText(std::string_view utf8, std::size_t limit) {
    std::vector<std::size_t> starts; // where each character begins
    for (std::size_t pos = 0; pos < utf8.size();) {
        starts.push_back(pos);
        nextCodePoint(utf8, pos);
    }
    if (starts.size() <= limit) {
        return std::string(utf8);
    }
    // Room for the three dots.
    const std::size_t keep = limit > 3 ? limit - 3 : 0;
    std::size_t cut = starts[keep];
    const std::size_t blank = utf8.substr(0, cut + 1).rfind(' ');
    if (blank != std::string_view::npos && blank + 40 > cut) {
        cut = blank;
    }
    std::string out(utf8.substr(0, cut));
    while (out.ends_with(' ')) {
        out.pop_back();
    }
    return out + "...";
}

std::string shareTags(std::string_view site, const VideoFacts& video) {
    std::string out;
    addMeta(out, "og:type", "video.other");
    addMeta(out, "og:title", video.title);
    addMeta(out, "og:description", trimmedText(video.description, 200));
    addMeta(out, "og:url", addressOf(site, video.page));
    if (!video.poster.empty()) {
        addMeta(out, "og:image", addressOf(site, video.poster));
        addMeta(out, "og:image:width", video.posterWidth ? std::to_string(*video.posterWidth) : "");
        addMeta(out, "og:image:height", video.posterHeight ? std::to_string(*video.posterHeight) : "");
    }
    const std::string videoAddress = addressOf(site, video.video);
    addMeta(out, "og:video", videoAddress);
    if (site.starts_with("https://")) {
        addMeta(out, "og:video:secure_url", videoAddress);
    }
    addMeta(out, "og:video:type", videoType(video.video));
    addMeta(out, "og:video:width", video.width ? std::to_string(*video.width) : "");
    addMeta(out, "og:video:height", video.height ? std::to_string(*video.height) : "");
    // No twitter:card: a "player" card needs a page made to be framed as the player, and "summary_large_image" makes
    // chat apps show a still picture in place of the playing video that og:video gives them. Without one, X falls
    // back on the og: tags.
    return out;
}

std::string videoJsonLd(std::string_view site, const VideoFacts& video) {
    std::string out = "<script type=\"application/ld+json\">\n{\n  \"@context\": \"https://schema.org\"";
    addJson(out, "@type", "VideoObject");
    addJson(out, "name", video.title);
    addJson(out, "description", pageDescription(video));
    if (!video.poster.empty()) {
        addJson(out, "thumbnailUrl", addressOf(site, video.poster));
    }
    addJson(out, "uploadDate", isoDateTime(video.firstMade));
    if (video.seconds) {
        addJson(out, "duration", isoDuration(*video.seconds));
    }
    addJson(out, "contentUrl", addressOf(site, video.video));
    addJson(out, "encodingFormat", videoType(video.video));
    addJson(out, "embedUrl", addressOf(site, video.page));
    addJson(out, "url", addressOf(site, video.page));
    if (video.width && video.height) {
        addJson(out, "width", std::to_string(*video.width), false);
        addJson(out, "height", std::to_string(*video.height), false);
    }
    return out + "\n}\n</script>\n";
}

bool setShareBlock(std::string& pageText, std::string_view lines) {
    const std::size_t open = findText(pageText, markers::ShareOpen);
    if (open == std::string::npos) {
        // A page made before the share markers were gets them after its <title> line, which its title marker finds.
        const std::size_t title = findText(pageText, markers::PageTitleTail);
        const std::size_t close = title == std::string::npos ? title : pageText.find("</title>", title);
        const std::size_t end = close == std::string::npos ? close : pageText.find('\n', close);
        if (end == std::string::npos) {
            return false;
        }
        pageText.insert(end + 1, std::string(markers::ShareOpen) + "\n" + std::string(lines) +
                                     std::string(markers::ShareClose) + "\n");
        return true;
    }
    const std::size_t from = pageText.find('\n', open + markers::ShareOpen.size());
    const std::size_t close = from == std::string::npos ? from : pageText.find(markers::ShareClose, from);
    if (close == std::string::npos) {
        return false;
    }
    pageText.replace(from + 1, close - from - 1, lines);
    return true;
}

} // namespace clipnest::discovery
