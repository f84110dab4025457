#include "platform/code_page.h"

#include "platform/message_text.h"

#include <array>

namespace clipnest {

namespace codepage {

namespace {

// Unicode code points of the bytes 0x80 to 0x9F; the five undefined bytes keep their own value.
constexpr std::array<char32_t, 32> HighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

bool isUndefinedByte(char32_t cp) {
    return cp == 0x81 || cp == 0x8D || cp == 0x8F || cp == 0x90 || cp == 0x9D;
}

} // namespace

char32_t unicodeOf(unsigned char byte) {
    return byte >= 0x80 && byte < 0xA0 ? HighControls[byte - 0x80] : byte;
}

int byteOf(char32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
        return static_cast<int>(cp);
    }
    if (isUndefinedByte(cp)) {
        return -1;
    }
    for (std::size_t i = 0; i < HighControls.size(); ++i) {
        if (HighControls[i] == cp) {
            return static_cast<int>(0x80 + i);
        }
    }
    return -1;
}

char32_t decode(std::string_view s, std::size_t& pos, bool& ok) {
    const auto b0 = static_cast<unsigned char>(s[pos]);
    ok = true;
    if (b0 < 0x80) {
        ++pos;
        return b0;
    }
    int len = 0;
    char32_t cp = 0;
    char32_t min = 0;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4, cp = b0 & 0x07, min = 0x10000;
    }
    if (len == 0 || pos + len > s.size()) {
        ok = false;
        ++pos;
        return 0xFFFD;
    }
    for (int i = 1; i < len; ++i) {
        const auto b = static_cast<unsigned char>(s[pos + i]);
        if ((b & 0xC0) != 0x80) {
            ok = false;
            ++pos;
            return 0xFFFD;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ok = false;
        ++pos;
        return 0xFFFD;
    }
    pos += len;
    return cp;
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

} // namespace codepage

std::optional<std::string> toCodePage(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t pos = 0; pos < utf8.size();) {
        bool ok = true;
        const char32_t cp = codepage::decode(utf8, pos, ok);
        const int byte = codepage::byteOf(cp);
        if (!ok || byte < 0) {
            return std::nullopt;
        }
        out += static_cast<char>(byte);
    }
    return out;
}

std::string messageToUtf8(std::string_view mixed) {
    std::string out;
    out.reserve(mixed.size());
    for (std::size_t pos = 0; pos < mixed.size();) {
        const std::size_t from = pos;
        bool ok = true;
        const char32_t cp = codepage::decode(mixed, pos, ok);
        if (ok) {
            codepage::appendUtf8(out, cp);
        } else {
            pos = from + 1;
            codepage::appendUtf8(out, codepage::unicodeOf(static_cast<unsigned char>(mixed[from])));
        }
    }
    return out;
}

std::string codePageToUtf8(std::string_view codePage) {
    std::string out;
    out.reserve(codePage.size());
    for (const char c : codePage) {
        codepage::appendUtf8(out, codepage::unicodeOf(static_cast<unsigned char>(c)));
    }
    return out;
}

} // namespace clipnest
