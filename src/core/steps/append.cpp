#include "core/steps/append.h"

#include "core/form.h"
#include "core/form_state.h"
#include "text/document.h"
#include "text/entry_edits.h"
#include "text/individual_page.h"
#include "text/markers.h"
#include "text/text_ops.h"
#include "text/video_tag.h"

namespace clipnest {

void appendEntry(Form& form) {
    Request& q = state(form).request;
    std::string& page = q.IndividPageText;
    switch (++q.AppendPhase) {
    case 2:
        seedSampleEntry(state(form).homepage.PageText, markers::FileNameKey, state(form).homepage.SampleEntry,
                        form.appendSearchFrom());
        break;
    case 3:
        replaceAll(page, markers::PageTitleToken, pageTitle(q.HomepageDescrip, q.FileName));
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
        // The poster first, so the tags name it only when it is there.
        q.HasPoster = form.givePoster(q.FileName);
        if (q.HasPoster) {
            setVideoAttributes(page, pageSourceKey(q.FileName), posterValue(q.FileName));
        }
        if (form.keepCaptions(q.FileName, page)) {
            form.writeText(q.FileNameLessExt + ".php", page);
        }
        break;
    case 8:
        makeSampleLive(state(form).homepage.PageText, q.FileName, q.FileNameLessExt, q.HomepageDescrip,
                       state(form).homepage.SampleEntry, form.appendSearchFrom());
        if (q.HasPoster) {
            setVideoAttributes(state(form).homepage.PageText, homepageSourceKey(q.FileName), posterValue(q.FileName));
        }
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
