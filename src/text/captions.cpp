#include "text/captions.h"

#include "text/document.h"
#include "text/page_text.h"
#include "text/text_ops.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <utility>

namespace clipnest {

namespace {

bool isLanguageTag(std::string_view tag) {
    std::size_t part = 0, length = 0;
    for (const char c : tag) {
        if (c == '-') {
            if ((part == 0 && (length < 2 || length > 3)) || length == 0 || length > 8) {
                return false;
            }
            ++part;
            length = 0;
        } else if (std::isalpha(static_cast<unsigned char>(c)) ||
                   (part > 0 && std::isdigit(static_cast<unsigned char>(c)))) {
            ++length;
        } else {
            return false;
        }
    }
    return part == 0 ? length >= 2 && length <= 3 : length >= 1 && length <= 8;
}

// What the browser's caption menu calls a language: its own name for the common ones, else its tag.
std::string labelOf(std::string_view language) {
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 10> Names = {{
        {"de", "Deutsch"},
        {"en", "English"},
        {"es", "Espa&#241;ol"},
        {"fr", "Fran&#231;ais"},
        {"it", "Italiano"},
        {"ja", "&#26085;&#26412;&#35486;"},
        {"nl", "Nederlands"},
        {"pl", "Polski"},
        {"pt", "Portugu&#234;s"},
        {"sv", "Svenska"},
    }};
    if (language.empty()) {
        return "Captions";
    }
    const std::string primary = lowerAscii(language.substr(0, language.find('-')));
    for (const auto& [tag, name] : Names) {
        if (tag == primary) {
            return std::string(name);
        }
    }
    return std::string(language);
}

// The value of a tag's src attribute, as written, or empty.
std::string_view srcOf(std::string_view tag) {
    for (std::size_t at = 0; (at = tag.find("src", at)) != std::string_view::npos; at += 3) {
        if (at == 0 || !std::isspace(static_cast<unsigned char>(tag[at - 1]))) {
            continue;
        }
        std::size_t i = at + 3;
        while (i < tag.size() && std::isspace(static_cast<unsigned char>(tag[i]))) {
            ++i;
        }
        if (i >= tag.size() || tag[i] != '=') {
            continue;
        }
        ++i;
        while (i < tag.size() && std::isspace(static_cast<unsigned char>(tag[i]))) {
            ++i;
        }
        if (i < tag.size() && (tag[i] == '"' || tag[i] == '\'')) {
            const std::size_t close = tag.find(tag[i], i + 1);
            return tag.substr(i + 1, close == std::string_view::npos ? std::string_view::npos : close - i - 1);
        }
        const std::size_t end = tag.find_first_of(" \t\r\n>", i);
        return tag.substr(i, end == std::string_view::npos ? std::string_view::npos : end - i);
    }
    return {};
}

} // namespace

std::vector<CaptionFile> captionFilesOf(std::string_view video, const std::vector<std::string>& names,
                                        std::string_view extension) {
    const std::string stem = std::string(withoutExtension(video)) + ".";
    const std::string tail = joined({".", extension});
    std::vector<CaptionFile> found;
    for (const std::string& name : names) {
        if (name == stem.substr(0, stem.size() - 1) + tail) {
            found.push_back({name, ""});
        } else if (name.size() > stem.size() + tail.size() && name.starts_with(stem) && name.ends_with(tail) &&
                   isLanguageTag(name.substr(stem.size(), name.size() - stem.size() - tail.size()))) {
            found.push_back({name, name.substr(stem.size(), name.size() - stem.size() - tail.size())});
        }
    }
    std::stable_sort(found.begin(), found.end(), [](const CaptionFile& a, const CaptionFile& b) {
        return a.language.empty() != b.language.empty() ? a.language.empty() : a.language < b.language;
    });
    return found;
}

bool isWebVtt(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.remove_prefix(3);
    }
    return text.starts_with("WEBVTT") &&
           (text.size() == 6 || text[6] == ' ' || text[6] == '\t' || text[6] == '\r' || text[6] == '\n');
}

namespace {

// "00:00:01,000" (hours of one digit or more, a period also taken for the comma).
bool isSrtTime(std::string_view t) {
    const std::size_t colon = t.find(':');
    if (colon == 0 || colon == std::string_view::npos || t.size() != colon + 10) {
        return false;
    }
    const auto digits = [&](std::size_t from, std::size_t count) {
        return std::all_of(t.begin() + static_cast<std::ptrdiff_t>(from),
                           t.begin() + static_cast<std::ptrdiff_t>(from + count),
                           [](char c) { return c >= '0' && c <= '9'; });
    };
    return digits(0, colon) && digits(colon + 1, 2) && t[colon + 3] == ':' && digits(colon + 4, 2) &&
           (t[colon + 6] == ',' || t[colon + 6] == '.') && digits(colon + 7, 3);
}

// "00:00:01,000 --> 00:00:02,500", with whatever position settings may follow.
bool isSrtTimes(std::string_view line) {
    const std::size_t arrow = line.find(" --> ");
    if (arrow == std::string_view::npos) {
        return false;
    }
    std::string_view end = line.substr(arrow + 5);
    end = end.substr(0, end.find(' '));
    return isSrtTime(line.substr(0, arrow)) && isSrtTime(end);
}

} // namespace

bool isSrtCues(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.remove_prefix(3);
    }
    if (text.find('\0') != std::string_view::npos) {
        return false;
    }
    // Each line, without its CR; `at` counts the lines of the block: 0 its number, 1 its times.
    int at = 0;
    bool cues = false;
    for (std::size_t from = 0; from < text.size();) {
        std::size_t end = text.find('\n', from);
        end = end == std::string_view::npos ? text.size() : end;
        std::string_view line = text.substr(from, end - from);
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        from = end + 1;
        if (stripBlanks(line).empty()) {
            at = 0;
            continue;
        }
        if (at == 0 && !(std::all_of(line.begin(), line.end(), [](char c) { return c >= '0' && c <= '9'; }))) {
            return false;
        }
        if (at == 1 && !isSrtTimes(line)) {
            return false;
        }
        cues = cues || at == 1;
        ++at;
    }
    return cues;
}

std::string srtToWebVtt(std::string_view srt) {
    if (srt.starts_with("\xEF\xBB\xBF")) {
        srt.remove_prefix(3);
    }
    std::string out = "WEBVTT\n\n";
    for (std::size_t from = 0; from < srt.size();) {
        std::size_t end = srt.find_first_of("\r\n", from);
        end = end == std::string_view::npos ? srt.size() : end;
        std::string line(srt.substr(from, end - from));
        if (line.find("-->") != std::string::npos) {
            // 00:00:01,000 --> 00:00:02,500: only the commas of the times.
            for (std::size_t i = 0; i < line.size(); ++i) {
                if (line[i] == ',' && i > 0 && i + 1 < line.size() &&
                    std::isdigit(static_cast<unsigned char>(line[i - 1])) &&
                    std::isdigit(static_cast<unsigned char>(line[i + 1]))) {
                    line[i] = '.';
                }
            }
        }
        out += line;
        out += '\n';
        from = end < srt.size() && srt[end] == '\r' && end + 1 < srt.size() && srt[end + 1] == '\n' ? end + 2 : end + 1;
    }
    return out;
}

bool setCaptionTracks(std::string& page, std::string_view sourceKey, std::string_view video,
                      const std::vector<CaptionFile>& captions) {
    const std::size_t source = findText(page, sourceKey);
    if (source == std::string::npos) {
        return false;
    }
    std::size_t close = source;
    while ((close = page.find('<', close + 1)) != std::string::npos &&
           !startsWithIgnoringCase(page.substr(close), "</video")) {
    }
    if (close == std::string::npos) {
        return false;
    }
    // This video's caption files, as the page names them: NAME.…vtt with the name written as the page writes it.
    const std::string stem = nameInPage(withoutExtension(video)) + ".";
    // As a page written before names were escaped holds it.
    const std::string older = asciiWithReferences(std::string(withoutExtension(video))) + ".";
    for (std::size_t at = source; (at = page.find('<', at + 1)) != std::string::npos && at < close;) {
        if (!startsWithIgnoringCase(page.substr(at), "<track")) {
            continue;
        }
        const std::size_t end = page.find('>', at);
        if (end == std::string::npos || end > close) {
            break;
        }
        const std::string_view src = srcOf(std::string_view(page).substr(at, end + 1 - at));
        if (!(src.starts_with(stem) || src.starts_with(older)) || !src.ends_with(".vtt")) {
            continue;
        }
        std::size_t from = at;
        while (from > 0 && std::isspace(static_cast<unsigned char>(page[from - 1]))) {
            --from;
        }
        page.erase(from, end + 1 - from);
        close -= end + 1 - from;
        at = from;
    }
    std::string lines;
    for (std::size_t i = 0; i < captions.size(); ++i) {
        const CaptionFile& c = captions[i];
        lines += "\n                <track kind=\"captions\" src=\"" + nameInPage(c.name) + "\"" +
                 (c.language.empty() ? "" : " srclang=\"" + c.language + "\"") + " label=\"" + labelOf(c.language) +
                 "\"" + (i == 0 ? " default" : "") + ">";
    }
    // Behind the blanks in front of the end, so taking the tracks out again gives the element as it was.
    std::size_t at = close;
    while (at > source && std::isspace(static_cast<unsigned char>(page[at - 1]))) {
        --at;
    }
    page.insert(at, lines);
    return true;
}

} // namespace clipnest
