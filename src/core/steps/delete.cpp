#include "core/steps/delete.h"

#include "core/form.h"
#include "core/form_state.h"
#include "text/document.h"
#include "text/entry_edits.h"
#include "text/markers.h"
#include "text/page_text.h"
#include "text/text_ops.h"

namespace clipnest {

void Form::deleteEntry(EntryPanel panel) {
    startClick();
    const std::string& nameBox = controls.entry(panel).name;
    Request next;
    next.kind = Operation::Kind::Delete;
    // The trimmed name, like the presence check, so blanks typed around it still find the entry.
    if (!takeFileName(nameBox, next)) {
        return;
    }
    if (beginRequest(std::move(next), {std::string(stripBlanks(nameBox))})) {
        arm(Step::FindHomepage);
    }
}

void findHomepageForDelete(Form& form) {
    std::string& text = state(form).homepage.PageText;
    const std::optional<std::string_view> name = findHomepage(form.folder());
    if (!name) {
        // The text held in memory stays: a later request still has its homepage to write. Every delete that finds
        // none says so: it is a request that could not be done.
        form.arm(Step::HideNotices);
        form.show(Message::NoHomepage);
        form.disarm(Step::FindHomepage);
        return;
    }
    const bool held = !text.empty();
    if (!held) {
        if (!form.loadHomepage(*name)) {
            // An unreadable file ends the delete (its failure is said); one that went away is looked for again.
            if (!state(form).homepage.UnreadableHomepage.empty()) {
                form.disarm(Step::FindHomepage);
            }
            return;
        }
        form.hide(Message::NoHomepage);
    }
    // An empty file reads as empty text: hand over now instead of reading it again on every run.
    if (held || text.empty()) {
        form.arm(Step::CutEntry);
        form.hide(Message::NoHomepage);
        form.disarm(Step::FindHomepage);
    }
    if (!text.empty() && !entryPresent(text, state(form).request.FileNameLessExt)) {
        form.show(Message::EntryNotFound);
        form.arm(Step::HideNotices);
    }
}

void cutEntry(Form& form) {
    if (!cutEntryOut(state(form).homepage.PageText, state(form).request.FileName)) {
        form.arm(Step::EntryNotFound);
        form.disarm(Step::CutEntry);
        return;
    }
    if (form.writeHomepage()) {
        form.disarm(Step::CutEntry);
    }
}

void reportEntryNotFound(Form& form) {
    int& tick = state(form).notices.NotFoundTick;
    ++tick;
    if (tick == 1) {
        form.setInterval(Step::EntryNotFound, EntryNotFoundShownMs);
        form.show(Message::EntryNotFound);
    } else if (tick == 2) {
        form.hide(Message::EntryNotFound);
        tick = 0;
        form.disarm(Step::EntryNotFound);
    }
}

} // namespace clipnest
