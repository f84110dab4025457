#include "core/steps/individual_page.h"

#include "core/form.h"
#include "core/form_state.h"
#include "text/document.h"
#include "text/individual_page.h"

namespace clipnest {

void prepareIndividualPage(Form& form) {
    Request& q = state(form).request;
    std::set<std::string, std::less<>>& shown = state(form).notices.MissingPageShown;
    const std::string page = q.FileNameLessExt + ".php";
    if (++q.IndividStepTick == 1) {
        // An entry whose page is gone gets the notice first; the next request for that page makes it.
        if (!shown.contains(page) && !form.folder().exists(page) && !q.HomepageOnly &&
            entryPresent(state(form).homepage.PageText, q.FileNameLessExt, form.pageFront())) {
            shown.insert(page);
            form.show(Message::PageNotFound);
            form.arm(Step::HideNotices);
            form.disarm(Step::PreparePage);
        }
        return;
    }
    shown.erase(page);
    form.disarm(Step::PreparePage);
    q.IndividPageText = form.pageTemplate();
    form.arm(Step::Route);
}

} // namespace clipnest
