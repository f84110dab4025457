#include "individual_page.h"

#include "app/form.h"
#include "homepage/document.h"
#include "homepage/insert.h"
#include "homepage/text_ops.h"

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
            form.show(Panel::Text11);
            form.arm(Step::Timer29);
            form.disarm(Step::Timer26);
            abandonInsert(form);
        }
        return;
    }
    if (s.IndividStepTick == 2) {
        s.MissingPageNoticeShown = 0;
        form.arm(Step::Timer24);
        form.disarm(Step::Timer26);
        s.IndividStepTick = 0;
        form.routing.IndividPageText = buildIndividualPageTemplate();
    }
}

} // namespace clipnest
