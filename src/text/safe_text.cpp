#include "text/safe_text.h"

#include <cstdio>

namespace clipnest {

namespace {

// The length of the well-formed UTF-8 character at the start of `s` (no overlong form, no surrogate, nothing past
// U+10FFFF), or 0.
std::size_t utf8Length(std::string_view s) {
    const auto at = [&s](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const auto follows = [&](std::size_t i, unsigned char low, unsigned char high) {
        return i < s.size() && at(i) >= low && at(i) <= high;
    };
    const unsigned char lead = at(0);
    if (lead >= 0xC2 && lead <= 0xDF) {
        return follows(1, 0x80, 0xBF) ? 2 : 0;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        const unsigned char low = lead == 0xE0 ? 0xA0 : 0x80, high = lead == 0xED ? 0x9F : 0xBF;
        return follows(1, low, high) && follows(2, 0x80, 0xBF) ? 3 : 0;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        const unsigned char low = lead == 0xF0 ? 0x90 : 0x80, high = lead == 0xF4 ? 0x8F : 0xBF;
        return follows(1, low, high) && follows(2, 0x80, 0xBF) && follows(3, 0x80, 0xBF) ? 4 : 0;
    }
    return 0;
}

// The code point of a two- or three-byte character.
unsigned codePoint(std::string_view c) {
    const auto at = [&c](std::size_t i) { return static_cast<unsigned>(static_cast<unsigned char>(c[i])); };
    return c.size() == 2 ? ((at(0) & 0x1F) << 6) | (at(1) & 0x3F)
                         : ((at(0) & 0x0F) << 12) | ((at(1) & 0x3F) << 6) | (at(2) & 0x3F);
}

bool turnsTextAround(unsigned c) {
    return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

} // namespace

std::string safeText(std::string_view text, Backslash backslash) {
    std::string shown;
    shown.reserve(text.size());
    char hex[8];
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte >= 0x80) {
            const std::size_t length = utf8Length(text.substr(i));
            const std::string_view c = text.substr(i, length);
            if (length == 0) {
                std::snprintf(hex, sizeof hex, "\\x%02X", byte);
                shown += hex;
                ++i;
                continue;
            }
            if (length <= 3 && (codePoint(c) < 0xA0 || turnsTextAround(codePoint(c)))) {
                std::snprintf(hex, sizeof hex, "\\u%04X", codePoint(c));
                shown += hex;
            } else {
                shown += c;
            }
            i += length;
            continue;
        }
        switch (text[i]) {
        case '\r':
            shown += i + 1 < text.size() && text[i + 1] == '\n' ? "" : "\\r";
            break;
        case '\n':
            shown += "\\n";
            break;
        case '\t':
            shown += "\\t";
            break;
        case '\\':
            shown += backslash == Backslash::Doubled ? "\\\\" : "\\";
            break;
        default:
            if (byte < 0x20 || byte == 0x7F) {
                std::snprintf(hex, sizeof hex, "\\x%02X", byte);
                shown += hex;
            } else {
                shown += text[i];
            }
        }
        ++i;
    }
    return shown;
}

} // namespace clipnest
