#include "core/steps/individual_page.h"

#include "core/form.h"
#include "core/steps/insert.h"
#include "text/document.h"
#include "text/individual_page.h"
#include "text/text_ops.h"

namespace clipnest {

namespace {

bool missingPageNoticeDue(const Form& form) {
    const EntryRequest& q = form.request;
    return !form.folder().exists(q.FileNameLessExt + ".php") && form.del.DeletePending == 0 &&
           entryPresent(form.homepage.PageText, q.FileNameLessExt) && q.HomepageOnly == 0;
}

} // namespace

void prepareIndividualPage(Form& form) {
    IndividualPageState& s = form.individ;
    ++s.IndividStepTick;
    if (s.IndividStepTick == 1 && s.MissingPageNoticeShown == 0) {
        if (missingPageNoticeDue(form)) {
            s.MissingPageNoticeShown = 1;
            s.IndividStepTick = 0;
            form.show(Panel::PageNotFound);
            form.arm(Step::HideNotices);
            form.disarm(Step::PreparePage);
            abandonInsert(form);
        }
        return;
    }
    if (s.IndividStepTick == 2) {
        s.MissingPageNoticeShown = 0;
        form.arm(Step::Route);
        form.disarm(Step::PreparePage);
        s.IndividStepTick = 0;
        form.routing.IndividPageText = buildIndividualPageTemplate();
    }
}

} // namespace clipnest
