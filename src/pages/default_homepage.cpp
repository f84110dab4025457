#include "default_homepage.h"

#include "app/form.h"
#include "homepage/document.h"
#include "homepage/markers.h"

namespace clipnest {

void holdDefaultHomepage(Form& form) {
    form.homepage.PageText =
        buildDefaultHomepage(form.title.HomepageTitle, form.title.HomepageMessage, form.homepage.SampleEntry);
    form.homepage.SavedPageText = form.homepage.PageText;
}

void buildOrReadHomepage(Form& form) {
    form.disarm(Step::Timer25);
    StartupState& s = form.startup;
    // Only the second run since the window opened looks at the folder.
    if (++s.DefaultHomepageArmCount == 2) {
        if (const auto name = findHomepage(form.folder())) {
            form.loadHomepage(*name);
        } else {
            if (++s.DefaultHomepageBuilt == 1) {
                holdDefaultHomepage(form);
            }
            if (s.AppDocsState == 1) {
                s.AppDocsState = 2;
                form.show(Panel::Text17);
            }
        }
    }
    seedSampleEntry(form.homepage.PageText, markers::FileNameToken, form.homepage.SampleEntry);
}

} // namespace clipnest
