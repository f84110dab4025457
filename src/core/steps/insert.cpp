#include "core/steps/insert.h"

#include "core/form.h"
#include "core/steps/request.h"
#include "text/document.h"
#include "text/individual_page.h"
#include "text/markers.h"
#include "text/page_text.h"
#include "text/text_ops.h"

#include <algorithm>
#include <array>

namespace clipnest {

namespace {

// The sample entry's lines without their wrappers or the blank inside each wrapper, tokens still in place, each
// followed by LF.
std::string blockLines() {
    const std::string open = std::string(markers::WrapOpen) + " ";
    const std::string close = " " + std::string(markers::WrapClose);
    std::string block;
    const std::string sample = buildSampleEntry();
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

// No closing quote: a prefix of the anchor's file name finds that entry too.
std::string anchorKey(std::string_view anchorFileName) {
    std::string key(markers::SourceKey);
    key.append(anchorFileName);
    return key;
}

std::size_t utf8Length(std::string_view text) {
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

void clearRequest(Form& form) {
    form.insert.AnchorFound = 0;
    form.request.FileName.clear();
    form.insert.AnchorFileName.clear();
    form.request.FileNameLessExt.clear();
    form.request.HomepageDescrip.clear();
    form.request.IndividDescrip.clear();
    form.routing.IndividPageText.clear();
    form.title.HomepageTitle.clear();
    form.title.HomepageMessage.clear();
    form.insert.IndividTyped = false;
    form.insert.PageToWrite = false;
}

// File names are taken without the blanks around them, as every other request takes them: a blank-edged name
// would give a page file and a link that no server file matches.
void takeAnchor(Form& form) {
    if (!form.controls.insert.above.empty()) {
        if (auto anchor = toCodePage(stripBlanks(form.controls.insert.above))) {
            form.insert.AnchorFileName = std::move(*anchor);
        }
    }
}

// A box that is empty leaves the value it would set as it is.
void takeBoxes(Form& form) {
    const Controls& c = form.controls;
    EntryRequest& q = form.request;
    takeAnchor(form);
    if (!c.insert.name.empty()) {
        if (auto name = toCodePage(stripBlanks(c.insert.name))) {
            q.FileName = std::move(*name);
            q.FileNameLessExt = std::string(withoutExtension(q.FileName));
        }
    }
    if (!c.insert.homepageDescription.empty()) {
        q.HomepageDescrip = toPageText(c.insert.homepageDescription);
    }
    if (!c.insert.pageDescription.empty()) {
        q.IndividDescrip = asciiWithReferences(toPageText(c.insert.pageDescription));
        form.insert.IndividTyped = true;
    }
    const std::size_t homepageLength =
        c.insert.homepageDescription.empty() ? q.HomepageDescrip.size() : utf8Length(c.insert.homepageDescription);
    if (homepageLength > 1 && q.IndividDescrip.empty()) {
        q.IndividDescrip = asciiWithReferences(q.HomepageDescrip);
    }
}

void checkName(Form& form) {
    if (!typedFileName(form.controls.insert.name)) {
        form.routing.InvalidName = 1;
        form.insert.InsertPhase = 1;
        form.insert.InsertPending = 0;
        form.arm(Step::ShowInvalidName);
    } else {
        form.arm(Step::Route);
    }
    form.disarm(Step::Insert);
}

// Puts the new block in front of the anchor entry's gallery opening. False when the anchor is not on the page.
bool placeBlock(Form& form) {
    std::string& text = form.homepage.PageText;
    const std::size_t p = findText(text, anchorKey(form.insert.AnchorFileName));
    if (p == std::string::npos) {
        return false;
    }
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
    std::string block = blockLines();
    block += "\n\n";
    text.insert(at, block);
    return true;
}

// False when the chain ended: the new entry's page is in the folder but could not be read.
bool fillBlock(Form& form) {
    std::string& text = form.homepage.PageText;
    const EntryRequest& q = form.request;
    // Only the first tokens: the new block stands in front of the sample entry, which keeps its own.
    if (containsNearEnd(text, markers::FileNameKey)) {
        replaceFirst(text, markers::FileNameToken, q.FileName);
        replaceFirst(text, markers::FileNameLessExtToken, q.FileNameLessExt);
        replaceFirst(text, markers::HomepageDescripToken, q.HomepageDescrip);
    }
    // A page already in the folder (the host's, with its edits) is kept; only a missing one is made.
    const std::string page = q.FileNameLessExt + ".php";
    if (!q.FileNameLessExt.empty() && form.folder().exists(page)) {
        if (!form.readText(page, form.routing.IndividPageText)) {
            form.endChains();
            return false;
        }
        form.insert.PageToWrite = false;
        return true;
    }
    form.insert.PageToWrite = true;
    form.routing.IndividPageText = form.startup.IndividualPageTemplate.empty() ? buildIndividualPageTemplate()
                                                                               : form.startup.IndividualPageTemplate;
    return true;
}

void fillPage(Form& form) {
    const EntryRequest& q = form.request;
    std::string& page = form.routing.IndividPageText;
    if (!form.insert.PageToWrite) {
        // The kept page changes only when its description was typed.
        form.insert.PageToWrite = form.insert.IndividTyped &&
                                  setContentAfterMarker(page, markers::IndividualDescriptionTail, q.IndividDescrip);
        return;
    }
    fillIndividualPage(page, q.FileName, q.FileNameLessExt, q.IndividDescrip);
    if (!q.IndividDescrip.empty()) {
        setContentAfterMarker(page, markers::IndividualDescriptionTail, q.IndividDescrip);
    }
}

// One page per name: a new entry whose name without extension another entry has shares that entry's page.
void sayWhenShared(Form& form) {
    const EntryRequest& q = form.request;
    const std::string& text = form.homepage.PageText;
    std::optional<std::string> owner = entryFileName(text, q.FileNameLessExt);
    if (owner == q.FileName) {
        // The new block stands first for its name when it stands above the other entry: look past it.
        const std::string key = entrySourceKey(q.FileName);
        owner = entryFileName(std::string_view(text).substr(findText(text, key) + key.size()), q.FileNameLessExt);
    }
    if (owner && *owner != q.FileName) {
        form.notice(sharedPageText(q.FileName, *owner,
                                   form.insert.PageToWrite ? "its page description was changed"
                                                           : "the page was left as it was"));
    }
}

} // namespace

void abandonInsert(Form& form) {
    form.insert.InsertPending = 0;
    form.insert.InsertPhase = 0;
    form.insert.AnchorFound = 0;
}

void Form::insertAboveEntry() {
    refreshHomepage();
    // An entry for exactly this file name is there already (one of another extension shares its page instead).
    const std::optional<std::string> trimmed = toCodePage(stripBlanks(controls.insert.name));
    if (trimmed && !trimmed->empty() && contains(homepage.PageText, entrySourceKey(*trimmed))) {
        arm(Step::HideNotices);
        show(Panel::EntryExists);
        return;
    }
    // The names as typed; a name that fails only once trimmed is refused by the Step itself.
    const std::optional<std::string> name = toCodePage(controls.insert.name);
    const std::optional<std::string> anchor = toCodePage(controls.insert.above);
    if (!name || !isValidFileName(*name) || !anchor || !isValidFileName(*anchor)) {
        show(Panel::InvalidNames);
        arm(Step::HideNotices);
        return;
    }
    beginRequest("insert " + std::string(stripBlanks(controls.insert.name)) + " above " +
                 std::string(stripBlanks(controls.insert.above)));
    arm(Step::Insert);
    insert.InsertPending = 1;
}

void insertEntry(Form& form) {
    InsertState& s = form.insert;
    if (s.InsertPhase < 4) {
        ++s.InsertPhase;
    } else if (s.AnchorFound == 1) {
        ++s.InsertPhase;
    }
    switch (s.InsertPhase) {
    case 1:
        clearRequest(form);
        break;
    case 2:
        takeBoxes(form);
        break;
    case 3:
        // The routing Step loads the homepage and hands back to phase 4.
        checkName(form);
        break;
    case 4:
        takeAnchor(form);
        if (!placeBlock(form)) {
            // The page text held for the new entry must not become the page of the next request.
            form.routing.IndividPageText.clear();
            s.InsertPhase = 1;
            form.disarm(Step::Insert);
            return;
        }
        s.AnchorFound = 1;
        break;
    case 5:
        if (!fillBlock(form)) {
            return;
        }
        break;
    case 6:
        fillPage(form);
        sayWhenShared(form);
        break;
    case 7:
        if (form.homepage.SampleEntry.empty()) {
            form.homepage.SampleEntry = buildSampleEntry();
        }
        seedSampleEntry(form.homepage.PageText, markers::FileNameKey, form.homepage.SampleEntry);
        break;
    case 8:
        if (!form.request.FileNameLessExt.empty() && form.insert.PageToWrite &&
            !form.writeText(form.request.FileNameLessExt + ".php", form.routing.IndividPageText)) {
            return;
        }
        break;
    case 9:
        form.writeHomepage();
        break;
    default:
        // Emptied, as the append and change Steps do, so the next request gets a page of its own.
        form.routing.IndividPageText.clear();
        form.disarm(Step::Insert);
        s.InsertPhase = 0;
        s.AnchorFound = 0;
        break;
    }
}

} // namespace clipnest
