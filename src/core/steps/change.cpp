#include "core/steps/change.h"

#include "core/form.h"
#include "core/form_state.h"
#include "text/document.h"
#include "text/individual_page.h"
#include "text/markers.h"
#include "text/text_ops.h"

namespace clipnest {

namespace {

// Phase 2: the individual description, unless this is a homepage-only change. The page counts as changed only
// when its description element was found and set; a page without the marker keeps its text and is not rewritten.
void setIndividualDescription(Form& form) {
    Request& q = state(form).request;
    if (q.IndividDescrip.empty() || (!q.HomepageDescrip.empty() && q.HomepageOnly)) {
        return;
    }
    if (setContentAfterMarker(q.IndividPageText, markers::IndividualDescriptionTail, q.IndividDescrip)) {
        q.IndividPageChanged = true;
        // The page's title and heading follow the homepage description (pages made before they had one have no
        // marker for it, and keep what they have).
        if (!q.HomepageDescrip.empty()) {
            const std::string title = pageTitle(q.HomepageDescrip, q.FileName);
            setContentAfterMarker(q.IndividPageText, markers::PageTitleTail, title);
            setContentAfterMarker(q.IndividPageText, markers::PageHeadingTail, title);
        }
    }
}

// Phase 3: the homepage description of the entry whose source line names exactly FileName. A missing key or
// marker leaves PageText as it was; the homepage is written in phase 5 all the same.
void setHomepageDescription(Form& form) {
    Request& q = state(form).request;
    if (q.HomepageDescrip.empty()) {
        return;
    }
    q.HomepageChanged = true;
    std::string& text = state(form).homepage.PageText;
    if (const auto at = findEntrySource(text, q.FileName, true)) {
        setContentAfterMarker(text, markers::EntryDescriptionTail, q.HomepageDescrip, at->first);
    }
}

// Phase 4: fills any tokens left from the template and writes the page. A failed write ends the chain.
void writeIndividualPage(Form& form) {
    Request& q = state(form).request;
    if (!q.IndividPageChanged) {
        return;
    }
    std::string& page = q.IndividPageText;
    fillIndividualPage(page, q.FileName, q.FileNameLessExt, q.IndividDescrip, pageTitle(q.HomepageDescrip, q.FileName));
    if (!q.FileNameLessExt.empty() && form.keepCaptions(q.FileName, page)) {
        form.writeText(q.FileNameLessExt + ".php", page);
    }
}

} // namespace

void changeEntry(Form& form) {
    Request& q = state(form).request;
    switch (++q.ChangePhase) {
    case 2:
        setIndividualDescription(form);
        break;
    case 3:
        setHomepageDescription(form);
        break;
    case 4:
        writeIndividualPage(form);
        break;
    case 5:
        if (q.HomepageChanged && !form.writeHomepage()) {
            return;
        }
        form.disarm(Step::ChangeDescriptions);
        break;
    default:
        break;
    }
}

} // namespace clipnest
