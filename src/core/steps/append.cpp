#include "core/steps/append.h"

#include "core/form.h"
#include "text/document.h"
#include "text/individual_page.h"
#include "text/markers.h"
#include "text/text_ops.h"

namespace clipnest {

namespace {

// The sample entry becomes the live entry of the request, and a fresh sample entry goes behind it.
void makeEntryLive(Form& form) {
    std::string& text = form.homepage.PageText;
    const Request& q = form.request;
    if (const std::size_t six = findRun(text, '\n', 6); six != std::string::npos) {
        text.erase(six, 3);
    }
    if (!q.FileName.empty()) {
        // One pass for the tokens and the wrappers: a value is put in once and never searched again.
        if (containsNearEnd(text, markers::FileNameKey)) {
            replaceEach(text, {{markers::FileNameToken, q.FileName},
                               {markers::FileNameLessExtToken, q.FileNameLessExt},
                               {markers::HomepageDescripToken, q.HomepageDescrip},
                               {markers::WrapOpen, ""},
                               {markers::WrapClose, ""}});
        } else {
            replaceEach(text, {{markers::WrapOpen, ""}, {markers::WrapClose, ""}});
        }
    }
    seedSampleEntry(text, markers::FileNameKey, form.homepage.SampleEntry);
}

} // namespace

void appendEntry(Form& form) {
    Request& q = form.request;
    std::string& page = q.IndividPageText;
    switch (++q.AppendPhase) {
    case 2:
        seedSampleEntry(form.homepage.PageText, markers::FileNameKey, form.homepage.SampleEntry);
        break;
    case 3:
        fillFileName(page, q.FileName);
        break;
    case 4:
        replaceAll(page, markers::IndividDescripToken, q.IndividDescrip);
        break;
    case 5:
        fillFileNameLessExt(page, q.FileNameLessExt);
        break;
    case 6:
        if (!q.IndividDescrip.empty()) {
            setContentAfterMarker(page, markers::IndividualDescriptionTail, q.IndividDescrip);
        }
        break;
    case 7:
        form.writeText(q.FileNameLessExt + ".php", page);
        break;
    case 8:
        makeEntryLive(form);
        break;
    case 9:
        form.writeHomepage();
        break;
    case 10:
        form.disarm(Step::Append);
        break;
    default:
        break;
    }
}

} // namespace clipnest
