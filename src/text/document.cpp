#include "text/document.h"

#include "platform/working_folder.h"
#include "text/markers.h"
#include "text/page_front.h"
#include "text/page_text.h"
#include "text/templates.h"
#include "text/text_ops.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <span>

namespace clipnest {

std::optional<std::string_view> findHomepage(const WorkingFolder& folder) {
    // A link in a homepage's place counts as there (and is then refused), so nothing is written in its place.
    for (const std::string_view name : markers::HomepageNames) {
        if (folder.exists(name) || folder.isLink(name)) {
            return name;
        }
    }
    return std::nullopt;
}

std::string linesWithLf(std::string bytes) {
    const std::size_t n = bytes.size();
    const bool lastLineEnded =
        n > 0 && (bytes[n - 1] == '\r' || (n > 1 && bytes[n - 2] == '\r' && bytes[n - 1] == '\n'));
    // In place: every CR LF or lone CR becomes one LF, so the text never grows past its last line.
    std::size_t w = 0;
    for (std::size_t r = 0; r < n;) {
        const std::size_t cr = std::min(bytes.find('\r', r), n);
        if (w != r) {
            std::memmove(bytes.data() + w, bytes.data() + r, cr - r);
        }
        w += cr - r;
        r = cr;
        if (r < n) {
            bytes[w++] = '\n';
            r += (r + 1 < n && bytes[r + 1] == '\n') ? 2 : 1;
        }
    }
    bytes.resize(w);
    if (n > 0 && !lastLineEnded) {
        bytes += '\n';
    }
    return bytes;
}

std::string buildSampleEntry() {
    return std::string(templates::sampleEntry());
}

std::string sampleEntryFor(std::string_view pageText, std::size_t from, std::string_view sampleEntry) {
    std::string sample(sampleEntry);
    if (findText(pageText, markers::ClipScript, from) == std::string_view::npos) {
        for (const std::string_view line : {markers::ClipHolderOpen, markers::ClipHolderClose}) {
            if (const std::size_t at = sample.find(line); at != std::string::npos) {
                sample.erase(at, line.size());
            }
        }
    }
    return sample;
}

bool seedSampleEntry(std::string& pageText, std::string_view key, std::string_view sampleEntry, std::size_t from) {
    if (pageText.empty() || containsNearEnd(std::string_view(pageText).substr(std::min(from, pageText.size())), key)) {
        return false;
    }
    std::size_t p = std::string::npos;
    for (const std::string_view marker : {markers::EndA, markers::EndB, markers::EndC}) {
        if (p = findText(pageText, marker, from); p != std::string::npos) {
            break;
        }
    }
    if (p == std::string::npos) {
        p = pageText.rfind("</div>");
    }
    if (p == std::string::npos) {
        return false;
    }
    std::string block;
    block.reserve(sampleEntry.size() + 2);
    block += '\n';
    block.append(sampleEntryFor(pageText, p, sampleEntry));
    block += '\n';
    pageText.insert(p, block);
    return true;
}

namespace {

std::size_t occurrences(std::string_view text, std::string_view part, std::size_t from) {
    std::size_t count = 0;
    for (std::size_t at = findText(text, part, from); at != std::string_view::npos; at = findText(text, part, at + 1)) {
        ++count;
    }
    return count;
}

} // namespace

std::optional<std::string> appendProblem(std::string_view pageText, std::size_t from) {
    // The first end marker holds the second; the third, on the line below, stands in when both are gone.
    std::size_t ends = occurrences(pageText, markers::EndB, from);
    if (ends == 0) {
        ends = occurrences(pageText, markers::EndC, from);
    }
    if (ends == 0) {
        return "has no end marker (the comment \"PLEASE leave this '</div>' tag and comment tag here immediately "
               "below your last entry\"), so a new entry has no place.\r\n   Put it back below the last entry.";
    }
    if (ends > 1) {
        return "has the end marker " + std::to_string(ends) + " times (was the page pasted in twice?), so a new " +
               "entry would go in " + std::to_string(ends) + " places.\r\n   Keep only the one below the last entry.";
    }
    if (const std::size_t samples = occurrences(pageText, markers::FileNameToken, from); samples > 1) {
        return "holds the disabled sample entry " + std::to_string(samples) + " times, so a new entry would go in " +
               std::to_string(samples) + " places.\r\n   Keep only the one above the end marker.";
    }
    return std::nullopt;
}

bool entryPresent(std::string_view pageText, std::string_view fileNameLessExt, const PageFront* front) {
    return entryFileName(pageText, fileNameLessExt, front).has_value();
}

namespace {

// The name, as the page writes it, of the source line found at `at`: up to its closing quote, or to the text's end.
std::string_view sourceName(std::string_view pageText, std::size_t at) {
    const std::size_t from = at + markers::SourceKey.size();
    const std::size_t quote = pageText.find('"', from);
    return pageText.substr(from, quote == std::string_view::npos ? quote : quote - from);
}

} // namespace

std::optional<std::string> entryFileName(std::string_view pageText, std::string_view fileNameLessExt,
                                         const PageFront* front) {
    // Only an entry's own source line counts, never the host's markup around the entries (an image of the same
    // name, a link); any extension counts, since the entries of one name share its page.
    if (front == nullptr) {
        std::string prefix(fileNameLessExt);
        prefix += '.';
        const auto found = findEntrySource(pageText, prefix, false);
        return found ? std::optional(nameFromPage(sourceName(pageText, found->first))) : std::nullopt;
    }
    // The same search in two parts: the front's entries, then the text after them; the name as pages write it now
    // first, then as older pages wrote it.
    const std::string now = nameInPage(fileNameLessExt);
    const std::string_view stems[] = {now, fileNameLessExt};
    for (const std::string_view stem : std::span(stems, now == fileNameLessExt ? 1 : 2)) {
        if (const std::optional<std::string_view> name = front->nameWithStem(stem)) {
            return nameFromPage(*name);
        }
        std::string key(markers::SourceKey);
        key.append(stem);
        key += '.';
        if (const std::size_t at = findText(pageText, key, front->entriesEnd()); at != std::string_view::npos) {
            return nameFromPage(sourceName(pageText, at));
        }
    }
    return std::nullopt;
}

std::string entrySourceKey(std::string_view fileName) {
    std::string key(markers::SourceKey);
    key.append(fileName);
    key += '"';
    return key;
}

std::string nameInPage(std::string_view fileName) {
    // The name checks leave out quotes, < and >: of what an attribute needs escaped, a name can hold only "&".
    std::string escaped;
    escaped.reserve(fileName.size());
    for (const char c : fileName) {
        escaped += c == '&' ? std::string_view("&amp;") : std::string_view(&c, 1);
    }
    return asciiWithReferences(escaped);
}

std::string nameFromPage(std::string_view inPage) {
    std::string name;
    name.reserve(inPage.size());
    for (std::size_t i = 0; i < inPage.size(); ++i) {
        if (inPage.compare(i, 5, "&amp;") == 0) {
            name += '&';
            i += 4;
            continue;
        }
        if (inPage.compare(i, 2, "&#") == 0) {
            const bool hex = i + 2 < inPage.size() && (inPage[i + 2] == 'x' || inPage[i + 2] == 'X');
            std::size_t j = i + (hex ? 3 : 2);
            char32_t cp = 0;
            const std::size_t digits = j;
            for (; j < inPage.size() && j - digits < 7 && std::isxdigit(static_cast<unsigned char>(inPage[j])); ++j) {
                const char c = inPage[j];
                if (!hex && !std::isdigit(static_cast<unsigned char>(c))) {
                    break;
                }
                cp = cp * (hex ? 16 : 10) + static_cast<char32_t>(std::isdigit(static_cast<unsigned char>(c))
                                                                      ? c - '0'
                                                                      : (c | 0x20) - 'a' + 10);
            }
            if (j > digits && j < inPage.size() && inPage[j] == ';') {
                if (const int byte = codepage::byteOf(cp); byte >= 0x80) {
                    name += static_cast<char>(byte);
                    i = j;
                    continue;
                }
            }
        }
        name += inPage[i];
    }
    return name;
}

std::optional<std::pair<std::size_t, std::size_t>> findEntrySource(std::string_view pageText, std::string_view fileName,
                                                                   bool whole) {
    const auto keyOf = [&](std::string_view name) {
        std::string key(markers::SourceKey);
        key.append(name);
        if (whole) {
            key += '"';
        }
        return key;
    };
    const std::string now = keyOf(nameInPage(fileName));
    if (const std::size_t at = findText(pageText, now); at != std::string_view::npos) {
        return std::pair{at, now.size()};
    }
    if (const std::string before = keyOf(fileName); before != now) {
        if (const std::size_t at = findText(pageText, before); at != std::string_view::npos) {
            return std::pair{at, before.size()};
        }
    }
    return std::nullopt;
}

std::optional<std::string_view> valueAfterMarker(std::string_view pageText, std::string_view marker) {
    const std::size_t at = findText(pageText, marker);
    if (at == std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view value = pageText.substr(at + marker.size());
    value = value.substr(0, value.find('<'));
    const std::size_t first = value.find_first_not_of(" \r\n\t");
    if (first == std::string_view::npos) {
        return std::string_view();
    }
    return value.substr(first, value.find_last_not_of(" \r\n\t") + 1 - first);
}

std::string_view withoutExtension(std::string_view fileName) {
    return fileName.substr(0, fileName.find('.'));
}

std::string extensionOf(std::string_view fileName) {
    const std::size_t dot = fileName.rfind('.');
    return dot == std::string_view::npos ? std::string() : lowerAscii(fileName.substr(dot + 1));
}

bool isVideoName(std::string_view fileName) {
    const std::string extension = extensionOf(fileName);
    return extension == "mp4" || extension == "m4v" || extension == "mov" || extension == "webm";
}

std::string descriptionFromFileName(std::string_view fileName) {
    const std::string_view stem = fileName.substr(0, std::min(fileName.rfind('.'), fileName.size()));
    std::string words;
    for (const char c : stem) {
        const bool blank = c == '_' || c == '-' || c == ' ' || c == '\t';
        if (!blank) {
            words += c;
        } else if (!words.empty() && words.back() != ' ') {
            words += ' ';
        }
    }
    if (!words.empty() && words.back() == ' ') {
        words.pop_back();
    }
    if (!words.empty() && words.front() >= 'a' && words.front() <= 'z') {
        words.front() = static_cast<char>(words.front() - 'a' + 'A');
    }
    return words;
}

std::optional<std::string> typedFileName(std::string_view box) {
    std::optional<std::string> name = toCodePage(stripBlanks(box));
    if (name && !isValidFileName(*name)) {
        name.reset();
    }
    return name;
}

bool isValidFileName(std::string_view name) {
    const std::size_t period = name.find('.');
    if (period == std::string_view::npos || period == 0) {
        return false;
    }
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        // # and % would end or escape the link to the page, so a visitor's browser would ask for another file.
        if (byte < 0x20 || byte == 0x7F || std::string_view("\\/:*?\"<>|#%").find(c) != std::string_view::npos) {
            return false;
        }
    }
    // A name goes into the pages as it is: it must not hold a placeholder's ends or a marker's searched tail, or a
    // later Step would take the name for one.
    for (const std::string_view findable : {markers::PlaceholderOpen, markers::PlaceholderClose, markers::MarkerTail}) {
        if (name.find(findable) != std::string_view::npos) {
            return false;
        }
    }
    return true;
}

std::string fileNameProblem(std::string_view box, bool rename) {
    const std::string_view name = stripBlanks(box);
    const std::string quoted = joined({"\"", name, "\""});
    if (name.empty()) {
        return "the box is empty";
    }
    const std::optional<std::string> bytes = toCodePage(name);
    if (!bytes) {
        return "the name holds a character the pages cannot store (they keep Windows-1252 names)";
    }
    // "../x.mp4" is a path before it is a name that starts with a period: say what the user typed.
    if (const std::size_t slash = bytes->find_first_of("/\\"); slash != std::string::npos) {
        return quoted + " holds " + std::string(1, (*bytes)[slash]) +
               ", so it is a path: give the file's name alone, as it stands in the channel folder";
    }
    const std::size_t period = bytes->find('.');
    if (period == std::string::npos) {
        return quoted + " has no period: a file name needs one before its extension, as in " + std::string(name) +
               ".mp4";
    }
    if (period == 0) {
        return quoted + " starts with a period: a file name needs a name before its extension";
    }
    for (const char c : *bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            return quoted + " holds a control character (a tab or a line break)";
        }
        if (std::string_view("\\/:*?\"<>|#%").find(c) != std::string_view::npos) {
            return quoted + " holds " + std::string(1, c) + ", which no file name here may hold";
        }
    }
    if (!isValidFileName(*bytes)) {
        return quoted + " holds p4y, p5y or a marker's words, which the pages keep for their own marks";
    }
    if (rename && !isRenameName(*bytes)) {
        return quoted + " holds .., which the rename page refuses (it renames a file only beside itself)";
    }
    return {};
}

bool isRenameName(std::string_view name) {
    return isValidFileName(name) && name.find("..") == std::string_view::npos;
}

} // namespace clipnest
