#include "text_ops.h"

namespace clipnest {

void replaceAll(std::string& text, std::string_view token, std::string_view value) {
    if (token.empty()) {
        return;
    }
    std::size_t pos = text.find(token);
    if (pos == std::string::npos) {
        return;
    }
    std::string out;
    out.reserve(text.size());
    std::size_t done = 0;
    for (; pos != std::string::npos; pos = text.find(token, done)) {
        out.append(text, done, pos - done);
        out.append(value);
        done = pos + token.size();
    }
    out.append(text, done);
    text = std::move(out);
}

void replaceFirst(std::string& text, std::string_view token, std::string_view value) {
    if (const std::size_t pos = token.empty() ? std::string::npos : text.find(token); pos != std::string::npos) {
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

bool setContentAfterMarker(std::string& text, std::string_view marker, std::string_view value, std::size_t from) {
    const std::size_t m = text.find(marker, from);
    if (m == std::string::npos) {
        return false;
    }
    const std::size_t tagStart = text.find('<', m + marker.size());
    if (tagStart == std::string::npos) {
        return false;
    }
    const std::size_t tagEnd = text.find('>', tagStart);
    if (tagEnd == std::string::npos) {
        return false;
    }
    const std::size_t tail = text.find('<', tagEnd + 1);
    if (tail == std::string::npos) {
        return false;
    }
    text.replace(tagEnd + 1, tail - tagEnd - 1, value);
    return true;
}

} // namespace clipnest
