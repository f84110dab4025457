#include "text/page_text.h"

#include "text/markers.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <utility>

namespace clipnest {

using codepage::appendUtf8;
using codepage::byteOf;
using codepage::decode;
using codepage::unicodeOf;

namespace {

void appendReference(std::string& out, char32_t cp) {
    out += "&#";
    out += std::to_string(static_cast<std::uint32_t>(cp));
    out += ';';
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
    {markers::PlaceholderOpen, 1},
    {markers::PlaceholderClose, 1},
    {markers::WrapCodeOpen, 1},
    {markers::WrapCodeClose, 1},
    {markers::MarkerCode, 1},
    {markers::MarkerTail, 0},
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
