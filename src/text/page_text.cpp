#include "text/page_text.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <utility>

namespace clipnest {

namespace {

// Unicode code points of the bytes 0x80 to 0x9F; the five undefined bytes keep their own value.
constexpr std::array<char32_t, 32> HighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char32_t unicodeOf(unsigned char byte) {
    return byte >= 0x80 && byte < 0xA0 ? HighControls[byte - 0x80] : byte;
}

bool isUndefinedByte(char32_t cp) {
    return cp == 0x81 || cp == 0x8D || cp == 0x8F || cp == 0x90 || cp == 0x9D;
}

// The Windows-1252 byte of a code point, or -1.
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

// Decodes one code point at `pos` and advances it; malformed input yields U+FFFD and `ok` false.
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

void appendReference(std::string& out, char32_t cp) {
    out += "&#";
    out += std::to_string(static_cast<std::uint32_t>(cp));
    out += ';';
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

bool isHtmlSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

// The code point of the reference that starts at `text[0]` ("&"), and its length; nothing when it is none we know.
std::optional<std::pair<char32_t, std::size_t>> reference(std::string_view text) {
    const std::size_t end = text.find(';');
    if (end == std::string_view::npos || end > 32) {
        return std::nullopt;
    }
    const std::string_view name = text.substr(1, end - 1);
    static constexpr std::array<std::pair<std::string_view, char32_t>, 6> Named = {
        {{"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}, {"nbsp", 0xA0}}};
    for (const auto& [entity, cp] : Named) {
        if (name == entity) {
            return std::pair{cp, end + 1};
        }
    }
    if (name.size() < 2 || name[0] != '#') {
        return std::nullopt;
    }
    const bool hex = name[1] == 'x' || name[1] == 'X';
    const std::string_view digits = name.substr(hex ? 2 : 1);
    if (digits.empty()) {
        return std::nullopt;
    }
    char32_t cp = 0;
    for (const char c : digits) {
        int digit = -1;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (hex && c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (hex && c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        }
        if (digit < 0) {
            return std::nullopt;
        }
        cp = std::min<char32_t>(cp * (hex ? 16 : 10) + static_cast<char32_t>(digit), 0x110000);
    }
    // As browsers read them: the C1 range names the Windows-1252 characters, and what no character can be is U+FFFD.
    if (cp >= 0x80 && cp < 0xA0) {
        cp = unicodeOf(static_cast<unsigned char>(cp));
    } else if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        cp = 0xFFFD;
    }
    return std::pair{cp, end + 1};
}

} // namespace

namespace {

// Texts by which the Steps find their way back into a page (the placeholders' ends, the wrappers' and markers'
// codes, the start of a marker's searched tail), each with the one character that goes in as a reference.
constexpr std::array<std::pair<std::string_view, std::size_t>, 6> Findable = {{
    {"p4y", 1},
    {"p5y", 1},
    {"n9h", 1},
    {"s4j", 1},
    {"t9b3", 1},
    {"between this tag and the", 0},
}};

// Typed text never reads back as a placeholder, a marker or a wrapper: one character of each such sequence is
// written as a numeric reference, which the visitor sees as the character itself.
std::string neutralised(std::string text) {
    std::string out;
    std::size_t done = 0;
    for (std::size_t pos = 0; pos < text.size(); ++pos) {
        if (const std::optional<std::size_t> which = findableAt(text, pos)) {
            out.append(text, done, pos + *which - done);
            appendReference(out, static_cast<unsigned char>(text[pos + *which]));
            done = pos + *which + 1;
            pos = done - 1;
        }
    }
    if (done == 0) {
        return text;
    }
    out.append(text, done);
    return out;
}

} // namespace

std::optional<std::size_t> findableAt(std::string_view text, std::size_t pos) {
    for (const auto& [sequence, which] : Findable) {
        if (text.substr(pos).starts_with(sequence)) {
            return which;
        }
    }
    return std::nullopt;
}

std::string toPageText(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t pos = 0; pos < utf8.size();) {
        bool ok = true;
        const char32_t cp = decode(utf8, pos, ok);
        if (cp == '&') {
            out += "&amp;";
        } else if (cp == '<') {
            out += "&lt;";
        } else if (cp == '>') {
            out += "&gt;";
        } else if (cp == '"') {
            // Also outside attributes: a quote in page text can never end one.
            out += "&quot;";
        } else if (const int byte = byteOf(cp); byte >= 0) {
            out += static_cast<char>(byte);
        } else {
            appendReference(out, cp);
        }
    }
    return neutralised(std::move(out));
}

std::optional<std::string> toCodePage(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t pos = 0; pos < utf8.size();) {
        bool ok = true;
        const char32_t cp = decode(utf8, pos, ok);
        const int byte = byteOf(cp);
        if (!ok || byte < 0) {
            return std::nullopt;
        }
        out += static_cast<char>(byte);
    }
    return out;
}

std::string asciiWithReferences(std::string_view codePage) {
    std::string out;
    out.reserve(codePage.size());
    for (const char c : codePage) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            out += c;
        } else {
            appendReference(out, unicodeOf(byte));
        }
    }
    return out;
}

char32_t nextCodePoint(std::string_view utf8, std::size_t& pos) {
    bool ok = true;
    return decode(utf8, pos, ok);
}

bool isValidUtf8(std::string_view text) {
    for (std::size_t pos = 0; pos < text.size();) {
        bool ok = true;
        decode(text, pos, ok);
        if (!ok) {
            return false;
        }
    }
    return true;
}

std::string codePageToUtf8(std::string_view codePage) {
    std::string out;
    out.reserve(codePage.size());
    for (const char c : codePage) {
        appendUtf8(out, unicodeOf(static_cast<unsigned char>(c)));
    }
    return out;
}

namespace {

// Whether the browser shows `text` as it stands: ASCII with no reference, no white space but single spaces between
// words. Sixteen bytes at a look, as most descriptions are such text; a byte it is unsure of (any below 14) sends the
// text the long way, which gives the same for plain text.
bool shownAsItStands(std::string_view text) {
    if (text.empty()) {
        return true;
    }
    if (text.front() == ' ' || text.back() == ' ') {
        return false;
    }
    using Bytes = unsigned char __attribute__((vector_size(16)));
    const Bytes high = Bytes{} + 0x7f, amp = Bytes{} + '&', low = Bytes{} + 14, space = Bytes{} + ' ';
    const char* const data = text.data();
    std::size_t i = 0;
    // Each look also takes the byte after the sixteen, for two spaces in a row.
    for (; i + 17 <= text.size(); i += 16) {
        Bytes a, b;
        std::memcpy(&a, data + i, 16);
        std::memcpy(&b, data + i + 1, 16);
        const auto doubt = (a > high) | (a == amp) | (a < low) | ((a == space) & (b == space));
        std::uint64_t halves[2];
        std::memcpy(halves, &doubt, 16);
        if ((halves[0] | halves[1]) != 0) {
            return false;
        }
    }
    for (; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(data[i]);
        if (c >= 0x80 || c == '&' || c < 14 || (c == ' ' && i + 1 < text.size() && data[i + 1] == ' ')) {
            return false;
        }
    }
    return true;
}

} // namespace

void appendShownText(std::string& out, std::string_view pageText) {
    if (shownAsItStands(pageText)) {
        out.append(pageText);
        return;
    }
    const std::size_t start = out.size();
    bool space = false;
    for (std::size_t i = 0; i < pageText.size();) {
        const char c = pageText[i];
        if (isHtmlSpace(c)) {
            space = out.size() > start;
            ++i;
            continue;
        }
        if (space) {
            out += ' ';
            space = false;
        }
        if (c == '&') {
            if (const auto ref = reference(pageText.substr(i))) {
                appendUtf8(out, ref->first);
                i += ref->second;
                continue;
            }
        }
        // A run of plain ASCII, the bulk of every description, goes over as it stands.
        std::size_t run = i;
        while (run < pageText.size() && static_cast<unsigned char>(pageText[run]) < 0x80 && pageText[run] != '&' &&
               !isHtmlSpace(pageText[run])) {
            ++run;
        }
        if (run > i) {
            out.append(pageText.data() + i, run - i);
            i = run;
            continue;
        }
        appendUtf8(out, unicodeOf(static_cast<unsigned char>(c)));
        ++i;
    }
}

std::string shownText(std::string_view pageText) {
    std::string out;
    out.reserve(pageText.size());
    appendShownText(out, pageText);
    return out;
}

} // namespace clipnest
