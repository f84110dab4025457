#include "core/steps/delete.h"

#include "core/form.h"
#include "text/document.h"
#include "text/markers.h"
#include "text/page_text.h"
#include "text/text_ops.h"

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

} // namespace

void Form::deleteEntry(EntryPanel panel) {
    const std::string& nameBox = controls.entry(panel).name;
    Request next;
    next.kind = RequestKind::Delete;
    // The trimmed name, like the presence check, so blanks typed around it still find the entry.
    if (!takeFileName(nameBox, next)) {
        return;
    }
    beginRequest(std::move(next), "delete " + std::string(stripBlanks(nameBox)));
    arm(Step::FindHomepage);
}

void findHomepageForDelete(Form& form) {
    std::string& text = form.homepage.PageText;
    const std::optional<std::string_view> name = findHomepage(form.folder());
    if (!name) {
        // The text held in memory stays: a later request still has its homepage to write. Every delete that finds
        // none says so: it is a request that could not be done.
        form.arm(Step::HideNotices);
        form.show(Panel::NoHomepage);
        form.disarm(Step::FindHomepage);
        return;
    }
    const bool held = !text.empty();
    if (!held) {
        if (!form.loadHomepage(*name)) {
            // An unreadable file ends the delete (its panel is up); one that went away is looked for again.
            if (!form.homepage.UnreadableHomepage.empty()) {
                form.disarm(Step::FindHomepage);
            }
            return;
        }
        form.hide(Panel::NoHomepage);
    }
    // An empty file reads as empty text: hand over now instead of reading it again on every run.
    if (held || text.empty()) {
        form.arm(Step::CutEntry);
        form.hide(Panel::NoHomepage);
        form.disarm(Step::FindHomepage);
    }
    if (!text.empty() && !entryPresent(text, form.request.FileNameLessExt)) {
        form.show(Panel::EntryNotFound);
        form.arm(Step::HideNotices);
    }
}

void cutEntry(Form& form) {
    std::string& text = form.homepage.PageText;
    const std::size_t p = findText(text, entrySourceKey(form.request.FileName));
    if (p == std::string::npos) {
        form.arm(Step::EntryNotFound);
        form.disarm(Step::CutEntry);
        return;
    }
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

    if (form.writeHomepage()) {
        form.disarm(Step::CutEntry);
    }
}

void reportEntryNotFound(Form& form) {
    int& tick = form.notices.NotFoundTick;
    ++tick;
    if (tick == 1) {
        // The notice stays up for 20 seconds, and every later use of this Step keeps that rhythm.
        form.setInterval(Step::EntryNotFound, 20000);
        form.show(Panel::EntryNotFound);
    } else if (tick == 2) {
        form.hide(Panel::EntryNotFound);
        tick = 0;
        form.disarm(Step::EntryNotFound);
    }
}

} // namespace clipnest
