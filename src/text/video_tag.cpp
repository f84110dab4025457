#include "text/video_tag.h"

#include "text/document.h"
#include "text/page_text.h"
#include "text/text_ops.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <optional>
#include <vector>

namespace clipnest {

namespace {

struct Tag {
    std::size_t attributesFrom, end; // behind "<video"; at its ">"
};

// The <video> tag whose element holds the first source line starting with `sourceKey`: the last video tag opened in
// front of it, with no video element's end in between. Tag names are read in any case, and a ">" inside a quoted
// value ends no tag.
std::optional<Tag> videoTagOf(std::string_view text, std::string_view sourceKey) {
    const std::size_t source = findText(text, sourceKey);
    if (source == std::string_view::npos) {
        return std::nullopt;
    }
    std::size_t open = source;
    for (;;) {
        open = open == 0 ? std::string_view::npos : text.rfind('<', open - 1);
        if (open == std::string_view::npos || startsWithIgnoringCase(text.substr(open + 1), "/video")) {
            return std::nullopt;
        }
        if (startsWithIgnoringCase(text.substr(open + 1), "video") && open + 6 < text.size() &&
            (text[open + 6] == '>' || std::isspace(static_cast<unsigned char>(text[open + 6])))) {
            break;
        }
    }
    char quote = 0;
    for (std::size_t i = open + 6; i < source; ++i) {
        if (quote) {
            quote = text[i] == quote ? 0 : quote;
        } else if (text[i] == '"' || text[i] == '\'') {
            quote = text[i];
        } else if (text[i] == '>') {
            return Tag{open + 6, i};
        }
    }
    return std::nullopt;
}

struct Attribute {
    std::string name; // lower case
    std::size_t from, to;
};

// The attributes of a tag's inside, each with the span of its name and value.
std::vector<Attribute> attributesOf(std::string_view inside) {
    std::vector<Attribute> found;
    const auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    for (std::size_t i = 0; i < inside.size();) {
        if (blank(inside[i]) || inside[i] == '/') {
            ++i;
            continue;
        }
        const std::size_t from = i;
        while (i < inside.size() && !blank(inside[i]) && inside[i] != '=' && inside[i] != '/') {
            ++i;
        }
        const std::string name = lowerAscii(inside.substr(from, i - from));
        std::size_t j = i;
        while (j < inside.size() && blank(inside[j])) {
            ++j;
        }
        if (j < inside.size() && inside[j] == '=') {
            ++j;
            while (j < inside.size() && blank(inside[j])) {
                ++j;
            }
            if (j < inside.size() && (inside[j] == '"' || inside[j] == '\'')) {
                const std::size_t close = inside.find(inside[j], j + 1);
                j = close == std::string_view::npos ? inside.size() : close + 1;
            } else {
                while (j < inside.size() && !blank(inside[j])) {
                    ++j;
                }
            }
            i = j;
        }
        found.push_back({std::move(name), from, i});
    }
    return found;
}

} // namespace

std::string posterValue(std::string_view video) {
    return nameInPage(std::string(withoutExtension(video)) + ".jpg");
}

std::string homepageSourceKey(std::string_view video) {
    return entrySourceKey(nameInPage(video));
}

std::string pageSourceKey(std::string_view video) {
    return entrySourceKey(nameInPage(video));
}

bool setVideoAttributes(std::string& text, std::string_view sourceKey, std::string_view poster) {
    const std::optional<Tag> tag = videoTagOf(text, sourceKey);
    if (!tag) {
        return false;
    }
    const std::string_view inside = std::string_view(text).substr(tag->attributesFrom, tag->end - tag->attributesFrom);
    const std::vector<Attribute> attributes = attributesOf(inside);
    std::vector<std::pair<std::string, std::string>> wanted{{"preload", "preload=\"none\""},
                                                            {"playsinline", "playsinline"}};
    if (!poster.empty()) {
        wanted.emplace_back("poster", "poster=\"" + std::string(poster) + "\"");
    }
    // Edits from the back, so each span still holds where it was found.
    std::vector<std::pair<Attribute, std::string>> edits;
    std::string added;
    for (const auto& want : wanted) {
        const std::string& name = want.first;
        const std::string& written = want.second;
        const auto at =
            std::find_if(attributes.begin(), attributes.end(), [&name](const Attribute& a) { return a.name == name; });
        if (at == attributes.end()) {
            added += " " + written;
        } else {
            edits.emplace_back(*at, written);
        }
    }
    const std::size_t behindLast = attributes.empty() ? 0 : attributes.back().to;
    std::string inner(inside);
    inner.insert(behindLast, added);
    std::sort(edits.begin(), edits.end(), [](const auto& a, const auto& b) { return a.first.from > b.first.from; });
    for (const auto& [attribute, written] : edits) {
        inner.replace(attribute.from, attribute.to - attribute.from, written);
    }
    text.replace(tag->attributesFrom, inside.size(), inner);
    return true;
}

void renamePoster(std::string& text, std::string_view sourceKey, std::string_view oldPoster,
                  std::string_view newPoster) {
    const std::optional<Tag> tag = videoTagOf(text, sourceKey);
    if (!tag) {
        return;
    }
    const std::string from = "poster=\"" + std::string(oldPoster) + "\"";
    const std::size_t at = std::string_view(text).substr(0, tag->end).find(from, tag->attributesFrom);
    if (at != std::string::npos) {
        text.replace(at, from.size(), "poster=\"" + std::string(newPoster) + "\"");
    }
}

} // namespace clipnest
