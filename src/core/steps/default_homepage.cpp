#include "core/steps/default_homepage.h"

#include "core/form.h"
#include "core/form_state.h"
#include "text/document.h"
#include "text/markers.h"

namespace clipnest {

void buildOrReadHomepage(Form& form) {
    form.disarm(Step::DefaultHomepage);
    StartupState& s = state(form).startup;
    // Only the second run since the window opened looks at the folder.
    if (++s.DefaultHomepageArmCount == 2) {
        if (const auto name = findHomepage(form.folder())) {
            form.loadHomepage(*name);
        } else {
            if (!s.DefaultHomepageBuilt) {
                s.DefaultHomepageBuilt = true;
                form.holdDefaultHomepage();
            }
            if (s.folderMark == FolderMark::Found) {
                s.folderMark = FolderMark::MissingHomepageSaid;
                form.show(Message::HomepageNotFound);
            }
        }
    }
    seedSampleEntry(state(form).homepage.PageText, markers::FileNameToken, state(form).homepage.SampleEntry);
}

} // namespace clipnest
