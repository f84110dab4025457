#include "text/text_ops.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <vector>

namespace clipnest {

namespace {

// The character a search looks for first: the part's first digit, else its first character.
std::size_t keyIndex(std::string_view part) {
    const std::size_t digit = part.find_first_of("0123456789");
    return digit == std::string_view::npos ? 0 : digit;
}

} // namespace

std::size_t findText(std::string_view text, std::string_view part, std::size_t from) {
    if (part.empty()) {
        return from <= text.size() ? from : std::string_view::npos;
    }
    if (from > text.size() || text.size() - from < part.size()) {
        return std::string_view::npos;
    }
    const std::size_t k = keyIndex(part);
    const char* const data = text.data();
    const char* const last = data + text.size() - part.size() + k; // the key character of the last possible match
    for (const char* at = data + from + k; at <= last;) {
        const void* hit = std::memchr(at, part[k], static_cast<std::size_t>(last - at) + 1);
        if (hit == nullptr) {
            break;
        }
        const char* const start = static_cast<const char*>(hit) - k;
        if (std::memcmp(start, part.data(), part.size()) == 0) {
            return static_cast<std::size_t>(start - data);
        }
        at = static_cast<const char*>(hit) + 1;
    }
    return std::string_view::npos;
}

std::size_t findLastText(std::string_view text, std::string_view part) {
    if (part.size() > text.size()) {
        return std::string_view::npos;
    }
    if (part.empty()) {
        return text.size();
    }
    const std::size_t k = keyIndex(part);
    const char* const data = text.data();
    // Key characters of possible matches stand at positions k to `end` - 1.
    for (std::size_t end = text.size() - part.size() + k + 1; end > k;) {
        const void* hit = ::memrchr(data + k, part[k], end - k);
        if (hit == nullptr) {
            break;
        }
        const char* const start = static_cast<const char*>(hit) - k;
        if (std::memcmp(start, part.data(), part.size()) == 0) {
            return static_cast<std::size_t>(start - data);
        }
        end = static_cast<std::size_t>(static_cast<const char*>(hit) - data);
    }
    return std::string_view::npos;
}

void replaceAll(std::string& text, std::string_view token, std::string_view value) {
    replaceEach(text, {{token, value}});
}

void replaceEach(std::string& text, std::initializer_list<std::pair<std::string_view, std::string_view>> tokens,
                 std::size_t from) {
    const std::size_t count = tokens.size();
    std::vector<std::size_t> next(count);
    const auto* token = tokens.begin();
    std::size_t first = std::string::npos;
    for (std::size_t i = 0; i < count; ++i) {
        next[i] = token[i].first.empty() ? std::string::npos : findText(text, token[i].first, from);
        first = std::min(first, next[i]);
    }
    if (first == std::string::npos) {
        return;
    }
    // Only the text from the first match on is rebuilt; what comes before it stays where it is.
    std::string out;
    out.reserve(text.size() - first + 64);
    std::size_t done = first;
    while (true) {
        std::size_t best = count;
        for (std::size_t i = 0; i < count; ++i) {
            if (next[i] != std::string::npos && (best == count || next[i] < next[best])) {
                best = i;
            }
        }
        if (best == count) {
            break;
        }
        out.append(text, done, next[best] - done);
        out.append(token[best].second);
        done = next[best] + token[best].first.size();
        // Tokens found inside the text just replaced start their search again behind it.
        for (std::size_t i = 0; i < count; ++i) {
            if (next[i] != std::string::npos && next[i] < done) {
                next[i] = findText(text, token[i].first, done);
            }
        }
    }
    out.append(text, done);
    text.resize(first);
    text += out;
}

std::size_t findRun(std::string_view text, char c, std::size_t count, std::size_t from) {
    if (count == 0) {
        return from;
    }
    // Every run of `count` copies covers one of every `count`-th positions, so only those are looked at until one
    // holds `c`; the run around it is then measured. Runs found in order, so the first long enough is the first.
    for (std::size_t i = from + count - 1; i < text.size();) {
        if (text[i] != c) {
            i += count;
            continue;
        }
        std::size_t start = i;
        while (start > 0 && text[start - 1] == c) {
            --start;
        }
        std::size_t end = i + 1;
        while (end < text.size() && text[end] == c) {
            ++end;
        }
        if (end - start >= count) {
            return start;
        }
        i = end + count;
    }
    return std::string_view::npos;
}

void replaceFirst(std::string& text, std::string_view token, std::string_view value) {
    if (const std::size_t pos = token.empty() ? std::string::npos : findText(text, token); pos != std::string::npos) {
        text.replace(pos, token.size(), value);
    }
}

std::string_view stripBlanks(std::string_view text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string lowerAscii(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    return lower;
}

bool startsWithIgnoringCase(std::string_view text, std::string_view lowerName) {
    return text.size() >= lowerName.size() && lowerAscii(text.substr(0, lowerName.size())) == lowerName;
}

std::optional<std::pair<std::size_t, std::size_t>> contentAfterMarker(std::string_view text, std::string_view marker,
                                                                      std::size_t from) {
    const std::size_t m = findText(text, marker, from);
    if (m == std::string_view::npos) {
        return std::nullopt;
    }
    const std::size_t tagStart = text.find('<', m + marker.size());
    if (tagStart == std::string_view::npos) {
        return std::nullopt;
    }
    const std::size_t tagEnd = text.find('>', tagStart);
    if (tagEnd == std::string_view::npos) {
        return std::nullopt;
    }
    const std::size_t tail = text.find('<', tagEnd + 1);
    if (tail == std::string_view::npos) {
        return std::nullopt;
    }
    return std::pair{tagEnd + 1, tail};
}

bool setContentAfterMarker(std::string& text, std::string_view marker, std::string_view value, std::size_t from) {
    const auto content = contentAfterMarker(text, marker, from);
    if (!content) {
        return false;
    }
    text.replace(content->first, content->second - content->first, value);
    return true;
}

std::string shellWord(std::string_view text) {
    const bool plain = !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               std::string_view("._-+/,:@%=").find(c) != std::string_view::npos;
    });
    if (plain) {
        return std::string(text);
    }
    std::string word = "'";
    for (const char c : text) {
        word += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return word + "'";
}

std::string shellPath(std::string_view name) {
    return name.starts_with('-') ? shellWord("./" + std::string(name)) : shellWord(name);
}

std::string shellOperand(std::string_view name) {
    return name.starts_with('-') ? "-- " + shellWord(name) : shellWord(name);
}

std::string readableSize(std::uintmax_t bytes) {
    if (bytes < 1000) {
        return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
    }
    const char* units[] = {"KB", "MB", "GB", "TB"};
    double size = static_cast<double>(bytes) / 1000;
    std::size_t unit = 0;
    while (size >= 999.95 && unit + 1 < std::size(units)) {
        size /= 1000;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", size, units[unit]);
    return text;
}

} // namespace clipnest
