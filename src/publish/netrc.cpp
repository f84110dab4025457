#include "publish/netrc.h"

#include <vector>

namespace clipnest::publish {

namespace {

bool blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The words of the file; a macdef's body (up to an empty line) is no words.
std::vector<std::string> words(std::string_view text) {
    std::vector<std::string> found;
    std::size_t i = 0;
    while (i < text.size()) {
        if (blank(text[i])) {
            ++i;
            continue;
        }
        std::string word;
        if (text[i] == '"') {
            for (++i; i < text.size() && text[i] != '"'; ++i) {
                if (text[i] == '\\' && i + 1 < text.size()) {
                    ++i;
                }
                word.push_back(text[i]);
            }
            ++i;
        } else {
            for (; i < text.size() && !blank(text[i]); ++i) {
                word.push_back(text[i]);
            }
        }
        if (word == "macdef") {
            const std::size_t end = text.find("\n\n", i);
            i = end == std::string_view::npos ? text.size() : end + 2;
            continue;
        }
        found.push_back(std::move(word));
    }
    return found;
}

} // namespace

std::optional<NetrcLogin> netrcLogin(std::string_view text, std::string_view host, std::string_view user) {
    const std::vector<std::string> w = words(text);
    std::optional<NetrcLogin> fallback;
    for (std::size_t i = 0; i < w.size();) {
        const bool isDefault = w[i] == "default";
        if (!isDefault && !(w[i] == "machine" && i + 1 < w.size())) {
            ++i;
            continue;
        }
        const bool ours = isDefault || w[i + 1] == host;
        i += isDefault ? 1 : 2;
        NetrcLogin entry;
        for (; i < w.size() && w[i] != "machine" && w[i] != "default"; i += 2) {
            if (i + 1 < w.size() && w[i] == "login") {
                entry.login = w[i + 1];
            } else if (i + 1 < w.size() && w[i] == "password") {
                entry.password = w[i + 1];
            }
        }
        if (!ours || (!user.empty() && !entry.login.empty() && entry.login != user)) {
            continue;
        }
        if (isDefault) {
            fallback = fallback ? fallback : entry;
        } else {
            return entry;
        }
    }
    return fallback;
}

} // namespace clipnest::publish
