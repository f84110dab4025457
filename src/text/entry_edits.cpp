#include "text/entry_edits.h"

#include "text/document.h"
#include "text/markers.h"
#include "text/text_ops.h"
#include "text/video_tag.h"

#include <algorithm>

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
    const std::string close = " " + std::string(markers::WrapClose);
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

} // namespace clipnest
