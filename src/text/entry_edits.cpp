#include "text/entry_edits.h"

#include "text/document.h"
#include "text/entries.h"
#include "text/markers.h"
#include "text/text_ops.h"
#include "text/video_tag.h"

#include <algorithm>
#include <vector>

namespace clipnest {

namespace {

constexpr std::string_view VideoOpening = "<div class=\"videofile";
// No closing quote, so it also finds the disabled sample's opening.
constexpr std::string_view NextEntry = "<div class=\"gallery";
constexpr std::string_view DisabledGallery = "<div class=\"gallery\"> s4j-->";
constexpr std::string_view SampleStart = "<!--n9h <div class=";
constexpr std::string_view PageEnd = "</html>";
// Each trimming loop gives up after this many passes.
constexpr int MaxTrimPasses = 20;
constexpr std::size_t MaxBehindPageEnd = 14;

// Cuts the text in front of the entry back to the end of the previous entry's last "</div>".
void trimTrailingBlanks(std::string_view& before) {
    for (int passes = 0; passes < MaxTrimPasses; ++passes) {
        const std::size_t blank = before.rfind(' ');
        const std::size_t div = before.rfind("</div>");
        if (blank == std::string::npos || (div != std::string::npos && blank < div)) {
            break;
        }
        if (blank >= 2) {
            before = before.substr(0, blank);
        }
    }
}

// Drops blank-ended words of the removed entry's remainder until the next gallery opening comes first. A disabled
// block (the sample's, or one the host disabled) is never cut into: its opening stops the words as well.
void dropLeadingWords(std::string_view& after) {
    for (int passes = 0; passes < MaxTrimPasses; ++passes) {
        const std::size_t next = std::min(findText(after, NextEntry), findText(after, markers::WrapOpen));
        const std::size_t blank = after.find(' ');
        if (next == std::string::npos || (blank != std::string::npos && next < blank)) {
            break;
        }
        if (blank != std::string::npos) {
            after.remove_prefix(blank + 1);
        }
    }
}

// The sample entry's lines without their wrappers or the blank inside each wrapper, tokens still in place, each
// followed by LF.
std::string blockLines(std::string_view sample) {
    const std::string open = std::string(markers::WrapOpen) + " ";
    const std::string close = joined({" ", markers::WrapClose});
    std::string block;
    for (std::string_view rest = sample; !rest.empty();) {
        const std::size_t lf = rest.find('\n');
        std::string_view line = rest.substr(0, lf);
        rest = lf == std::string_view::npos ? std::string_view() : rest.substr(lf + 1);
        if (line.starts_with(open) && line.ends_with(close)) {
            line = line.substr(open.size(), line.size() - open.size() - close.size());
        }
        block.append(line);
        block += '\n';
    }
    return block;
}

} // namespace

void makeSampleLive(std::string& text, std::string_view fileName, std::string_view fileNameLessExt,
                    std::string_view homepageDescrip, std::string_view sampleEntry, std::size_t from) {
    if (const std::size_t six = findRun(text, '\n', 6, from); six != std::string::npos) {
        text.erase(six, 3);
    }
    if (!fileName.empty()) {
        // One pass for the tokens and the wrappers: a value is put in once and never searched again.
        if (containsNearEnd(std::string_view(text).substr(std::min(from, text.size())), markers::FileNameKey)) {
            replaceEach(text,
                        {{markers::FileNameToken, nameInPage(fileName)},
                         {markers::FileNameLessExtToken, nameInPage(fileNameLessExt)},
                         {markers::HomepageDescripToken, homepageDescrip},
                         {markers::WrapOpen, ""},
                         {markers::WrapClose, ""}},
                        from);
        } else {
            replaceEach(text, {{markers::WrapOpen, ""}, {markers::WrapClose, ""}}, from);
        }
    }
    seedSampleEntry(text, markers::FileNameKey, sampleEntry, from);
}

bool insertBlockAbove(std::string& text, std::string_view anchorFileName) {
    // No closing quote: a prefix of the anchor's file name finds that entry too.
    const auto found = findEntrySource(text, anchorFileName, false);
    if (!found) {
        return false;
    }
    const std::size_t p = found->first;
    // The text is cut in front of the anchor's gallery opening and the block goes between the two pieces; inserting
    // in place gives the same text without copying a large homepage into pieces first. At the very start of the page
    // there is nothing to keep in front, so the block goes to the source line.
    std::size_t at = p;
    if (p >= markers::GalleryOpening.size()) {
        if (const std::size_t q = text.rfind(markers::GalleryOpening, p - markers::GalleryOpening.size());
            q != std::string::npos && q >= 1) {
            at = q;
        }
    }
    std::string block = blockLines(sampleEntryFor(text, at, buildSampleEntry()));
    block += "\n\n";
    text.insert(at, block);
    return true;
}

void fillFirstBlock(std::string& text, std::string_view fileName, std::string_view fileNameLessExt,
                    std::string_view homepageDescrip) {
    if (containsNearEnd(text, markers::FileNameKey)) {
        replaceFirst(text, markers::FileNameToken, nameInPage(fileName));
        replaceFirst(text, markers::FileNameLessExtToken, nameInPage(fileNameLessExt));
        replaceFirst(text, markers::HomepageDescripToken, homepageDescrip);
    }
}

bool cutEntryOut(std::string& text, std::string_view fileName) {
    const auto found = findEntrySource(text, fileName, true);
    if (!found) {
        return false;
    }
    const std::size_t p = found->first;
    // The text is cut into the piece before the entry and the piece after it, as views into the text; both only
    // ever shrink at their inner ends, so the result is made in place, without copying a large homepage.
    std::string_view before = std::string_view(text).substr(0, p);
    std::string_view after = std::string_view(text).substr(p);

    if (const std::size_t q = before.rfind(markers::GalleryOpening); q != std::string::npos) {
        before = before.substr(0, q);
    } else if (const std::size_t v = before.rfind(VideoOpening); v != std::string::npos) {
        before = before.substr(0, v);
    }

    // A page that has lost its sample entry has no disabled mark; the next live entry then still ends this one.
    const std::size_t next = findText(after, NextEntry);
    const std::size_t disabled = findText(after, markers::WrapOpen);
    if (next != std::string::npos && next < disabled) {
        after.remove_prefix(next);
    }

    if (contains(before, markers::GalleryOpening)) {
        trimTrailingBlanks(before);
    }
    dropLeadingWords(after);

    // The first gallery opening that follows is the sample's, or there is none.
    std::string_view joint = "\n\n";
    if (findText(after, DisabledGallery) == findText(after, NextEntry)) {
        joint = "\n\n\n\n\n";
        if (const std::size_t m = findText(after, SampleStart); m != std::string::npos) {
            after.remove_prefix(m);
        }
    }

    // Every read of a written page adds an empty line behind the page end; past a few, keep one character there.
    if (const std::size_t e = after.rfind(PageEnd); e != std::string::npos) {
        if (after.size() - e - PageEnd.size() > MaxBehindPageEnd) {
            after = after.substr(0, e + PageEnd.size() + 1);
        }
    }

    const std::size_t keepFrom = static_cast<std::size_t>(after.data() - text.data());
    const std::size_t keepTo = keepFrom + after.size();
    const std::size_t cutFrom = before.size();
    text.resize(keepTo);
    text.replace(cutFrom, keepFrom - cutFrom, joint);

    return true;
}

bool renameEntry(std::string& text, std::string_view oldName, std::string_view newName) {
    const auto found = findEntrySource(text, oldName, true);
    if (!found) {
        return false;
    }
    const std::size_t p = found->first;
    text.replace(p, found->second, entrySourceKey(nameInPage(newName)));
    renamePoster(text, homepageSourceKey(newName), posterValue(oldName), posterValue(newName));
    // The link stands between the entry's gallery opening and its source line; an older page may hold the name's
    // bytes as they stand.
    const std::size_t opening = p >= 1 ? text.rfind(markers::GalleryOpening, p - 1) : std::string::npos;
    const std::string oldLess(withoutExtension(oldName));
    for (const std::string& name : {nameInPage(oldLess), oldLess}) {
        const std::string link = "href=\"" + name + ".php\"";
        if (const std::size_t at = text.rfind(link, p);
            at != std::string::npos && opening != std::string::npos && at > opening) {
            text.replace(at, link.size(), "href=\"" + nameInPage(withoutExtension(newName)) + ".php\"");
            break;
        }
    }
    return true;
}

namespace {

// The bytes of one live entry's block: [start, end).
struct EntryBlock {
    std::string_view name;
    std::size_t start = 0, end = 0;
};

std::size_t lineStart(std::string_view text, std::size_t at) {
    const std::size_t lf = at == 0 ? std::string_view::npos : text.rfind('\n', at - 1);
    return lf == std::string_view::npos ? 0 : lf + 1;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Every live entry's block, in page order; nothing, with the problem, when one's bounds cannot be told.
std::optional<std::vector<EntryBlock>> entryBlocks(std::string_view text, std::string& problem) {
    std::vector<EntryBlock> blocks;
    std::size_t lastSource = 0;
    forEachLiveEntry(text, [&](std::string_view name, std::string_view) {
        blocks.push_back({name, static_cast<std::size_t>(name.data() - text.data()), 0});
    });
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        EntryBlock& b = blocks[i];
        const std::size_t source = b.start;
        const std::size_t open = text.rfind(NextEntry, source);
        const std::size_t floor = i == 0 ? 0 : std::max(lastSource, blocks[i - 1].end);
        if (open == std::string_view::npos || (i > 0 && open <= lastSource)) {
            problem = "the entry of " + std::string(b.name) + " has no <div class=\"gallery\"> line of its own.";
            return std::nullopt;
        }
        b.start = std::max(lineStart(text, open), floor);
        std::size_t next = text.find(NextEntry, source);
        next = std::min(next, text.find(markers::EndB, source));
        if (const std::size_t c = text.find(markers::EndC, source); c != std::string_view::npos) {
            const std::size_t div = text.rfind("</div>", c);
            next = std::min(next, div != std::string_view::npos && div > source ? div : c);
        }
        if (next == std::string_view::npos) {
            problem = "the homepage has no end marker below its last entry.";
            return std::nullopt;
        }
        std::size_t end = std::max(lineStart(text, next), source);
        if (end == source) {
            end = next;
        }
        // The block ends with its last line that holds more than blanks; the blank lines below it stay in place.
        std::size_t last = end;
        while (last > source && isBlank(text[last - 1])) {
            --last;
        }
        const std::size_t lf = text.find('\n', last);
        b.end = lf < end ? lf + 1 : end;
        lastSource = source;
    }
    return blocks;
}

} // namespace

std::optional<std::string> moveEntryBlock(std::string& text, std::string_view fileName,
                                          std::optional<std::string_view> aboveFileName) {
    std::string problem;
    const std::optional<std::vector<EntryBlock>> blocks = entryBlocks(text, problem);
    if (!blocks) {
        return problem;
    }
    const auto find = [&](std::string_view name) {
        return static_cast<std::size_t>(
            std::find_if(blocks->begin(), blocks->end(), [&](const EntryBlock& b) { return b.name == name; }) -
            blocks->begin());
    };
    const std::size_t moving = find(fileName);
    const std::size_t above = aboveFileName ? find(*aboveFileName) : blocks->size();
    for (const auto& [at, name] : {std::pair{moving, fileName}, std::pair{above, aboveFileName.value_or("")}}) {
        if (at == blocks->size() && !name.empty()) {
            return "the homepage has no entry for " + std::string(name) + ".";
        }
    }
    if (moving == above) {
        return "an entry cannot move above itself.";
    }
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < blocks->size(); ++i) {
        if (i == above) {
            order.push_back(moving);
        }
        if (i != moving) {
            order.push_back(i);
        }
    }
    if (above == blocks->size()) {
        order.push_back(moving);
    }
    // The blocks take each other's places; the text between them stays in its place.
    const std::string_view was = text;
    std::string moved(was.substr(0, blocks->front().start));
    moved.reserve(text.size());
    for (std::size_t k = 0; k < order.size(); ++k) {
        const EntryBlock& b = (*blocks)[order[k]];
        moved.append(was.substr(b.start, b.end - b.start));
        const std::size_t gapFrom = (*blocks)[k].end;
        const std::size_t gapTo = k + 1 < blocks->size() ? (*blocks)[k + 1].start : text.size();
        moved.append(was.substr(gapFrom, gapTo - gapFrom));
    }
    text = std::move(moved);
    return std::nullopt;
}

} // namespace clipnest
