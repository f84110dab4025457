#include "core/steps/insert.h"

#include "core/form.h"
#include "core/form_state.h"
#include "core/steps/request.h"
#include "text/document.h"
#include "text/entry_edits.h"
#include "text/individual_page.h"
#include "text/markers.h"
#include "text/page_text.h"
#include "text/text_ops.h"
#include "text/video_tag.h"

#include <algorithm>
#include <array>

namespace clipnest {

namespace {

std::size_t utf8Length(std::string_view text) {
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// False when the chain ended: the new entry's page is in the folder but could not be read.
bool fillBlock(Form& form) {
    std::string& text = state(form).homepage.PageText;
    Request& q = state(form).request;
    fillFirstBlock(text, q.FileName, q.FileNameLessExt, q.HomepageDescrip);
    // A page already in the folder (the host's, with its edits) is kept; only a missing one is made.
    const std::string page = q.FileNameLessExt + ".php";
    if (!q.FileNameLessExt.empty() && (form.folder().exists(page) || form.folder().isLink(page))) {
        if (!form.readText(page, q.IndividPageText)) {
            form.endChains();
            return false;
        }
        q.PageToWrite = false;
        return true;
    }
    q.PageToWrite = true;
    q.IndividPageText = form.pageTemplate();
    return true;
}

void fillPage(Form& form) {
    Request& q = state(form).request;
    std::string& page = q.IndividPageText;
    if (!q.PageToWrite) {
        // The kept page changes only when its description was typed.
        q.PageToWrite =
            q.IndividTyped && setContentAfterMarker(page, markers::IndividualDescriptionTail, q.IndividDescrip);
        return;
    }
    fillIndividualPage(page, q.FileName, q.FileNameLessExt, q.IndividDescrip, pageTitle(q.HomepageDescrip, q.FileName));
    if (!q.IndividDescrip.empty()) {
        setContentAfterMarker(page, markers::IndividualDescriptionTail, q.IndividDescrip);
    }
}

// One page per name: a new entry whose name without extension another entry has shares that entry's page.
void sayWhenShared(Form& form) {
    const Request& q = state(form).request;
    const std::string& text = state(form).homepage.PageText;
    std::optional<std::string> owner = entryFileName(text, q.FileNameLessExt);
    if (owner == q.FileName) {
        // The new block stands first for its name when it stands above the other entry: look past it.
        const auto key = findEntrySource(text, q.FileName, true);
        owner = key ? entryFileName(std::string_view(text).substr(key->first + key->second), q.FileNameLessExt)
                    : std::nullopt;
    }
    if (owner && *owner != q.FileName) {
        form.notice(sharedPageText(q.FileName, *owner,
                                   q.PageToWrite ? "its page description was changed" : "the page was left as it was"));
    }
}

} // namespace

void Form::insertAboveEntry() {
    startClick();
    refreshHomepage();
    const InsertBoxes& boxes = controls.insert;
    // An entry for exactly this file name is there already (one of another extension shares its page instead).
    const std::optional<std::string> trimmed = toCodePage(stripBlanks(boxes.name));
    if (trimmed && !trimmed->empty() && findEntrySource(homepage_.PageText, *trimmed, true)) {
        arm(Step::HideNotices);
        show(Message::EntryExists);
        return;
    }
    // The names as typed; a name that fails only once trimmed gets the invalid-name message.
    const std::optional<std::string> name = toCodePage(boxes.name);
    const std::optional<std::string> anchor = toCodePage(boxes.above);
    if (!name || !isValidFileName(*name) || !anchor || !isValidFileName(*anchor)) {
        show(Message::InvalidNames);
        arm(Step::HideNotices);
        return;
    }
    Request next;
    next.kind = Operation::Kind::Insert;
    if (!takeFileName(boxes.name, next)) {
        return;
    }
    // File names are taken without the blanks around them, as every other request takes them: a blank-edged name
    // would give a page file and a link that no server file matches.
    next.AnchorFileName = toCodePage(stripBlanks(boxes.above)).value_or("");
    next.HomepageDescrip = asciiWithReferences(toPageText(boxes.homepageDescription));
    next.IndividTyped = !boxes.pageDescription.empty();
    // An empty page box takes the homepage description, as the panel says; a one-character one is not copied.
    if (next.IndividTyped) {
        next.IndividDescrip = asciiWithReferences(toPageText(boxes.pageDescription));
    } else if (utf8Length(boxes.homepageDescription) > 1) {
        next.IndividDescrip = asciiWithReferences(next.HomepageDescrip);
    }
    // The routing Step loads the homepage and the page and hands over to the insert Step.
    if (beginRequest(std::move(next), {std::string(stripBlanks(boxes.name)), std::string(stripBlanks(boxes.above))})) {
        arm(Step::Route);
    }
}

void insertEntry(Form& form) {
    Request& q = state(form).request;
    switch (++q.InsertPhase) {
    case 1:
        if (!insertBlockAbove(state(form).homepage.PageText, q.AnchorFileName)) {
            // The anchor is not on the page: the request ends here without a message, as the window always ended it.
            form.refuseQuietly("An entry for the file name " + codePageToUtf8(q.AnchorFileName) +
                               " was not found on the Homepage.");
            form.disarm(Step::Insert);
        }
        break;
    case 2:
        if (!fillBlock(form)) {
            return;
        }
        break;
    case 3:
        fillPage(form);
        sayWhenShared(form);
        break;
    case 4:
        // Built at start-up; a Form made without it builds it here.
        if (state(form).homepage.SampleEntry.empty()) {
            state(form).homepage.SampleEntry = buildSampleEntry();
        }
        seedSampleEntry(state(form).homepage.PageText, markers::FileNameKey, state(form).homepage.SampleEntry);
        break;
    case 5:
        // The poster first, so the tags name it only when it is there; a page the host kept is left as it is.
        q.HasPoster = !q.FileNameLessExt.empty() && form.givePoster(q.FileName);
        if (q.HasPoster && q.PageToWrite) {
            setVideoAttributes(q.IndividPageText, pageSourceKey(q.FileName), posterValue(q.FileName));
        }
        if (!q.FileNameLessExt.empty() && q.PageToWrite &&
            (!form.keepCaptions(q.FileName, q.IndividPageText) ||
             !form.writeText(q.FileNameLessExt + ".php", q.IndividPageText))) {
            return;
        }
        break;
    case 6:
        if (q.HasPoster) {
            setVideoAttributes(state(form).homepage.PageText, homepageSourceKey(q.FileName), posterValue(q.FileName));
        }
        form.writeHomepage();
        break;
    default:
        form.disarm(Step::Insert);
        break;
    }
}

} // namespace clipnest
