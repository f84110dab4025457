#include "core/steps/startup.h"

#include "core/form.h"
#include "core/steps/default_homepage.h"
#include "text/document.h"
#include "text/individual_page.h"
#include "text/markers.h"

namespace clipnest {

namespace {

constexpr std::string_view AppDocs = "AppDocs.txt";

void loadOrBuildHomepage(Form& form) {
    if (const auto name = findHomepage(form.folder())) {
        form.loadHomepage(*name);
    } else {
        if (form.startup.DefaultHomepageBuilt == 0) {
            form.startup.DefaultHomepageBuilt = 1;
            form.holdDefaultHomepage();
        }
        if (form.startup.AppDocsState == 1) {
            form.startup.AppDocsState = 2;
            form.show(Panel::HomepageNotFound);
            form.arm(Step::HideNotices);
        } else if (form.startup.AppDocsState == 0) {
            form.show(Panel::HomepageWillBeCreated);
            form.arm(Step::HideNotices);
        }
    }
    seedSampleEntry(form.homepage.PageText, markers::FileNameToken, form.homepage.SampleEntry);
}

} // namespace

void startUp(Form& form) {
    switch (++form.startup.StartupPhase) {
    case 1:
        form.setInterval(Step::StartUp, 30);
        if (form.folder().exists(AppDocs)) {
            form.startup.AppDocsState = 1;
        } else {
            form.startup.AppDocsState = 0;
            // The marker only remembers that the tool ran here: without it everything else still works.
            if (!form.folder().write(AppDocs, "\r\n")) {
                form.notice("Clipnest could not create AppDocs.txt, which marks this folder as one it has worked in. "
                            "It works on without it.");
            }
        }
        form.homepage.SampleEntry = buildSampleEntry();
        break;
    case 2:
        loadOrBuildHomepage(form);
        break;
    case 3:
        form.startup.IndividualPageTemplate = buildIndividualPageTemplate();
        break;
    case 4:
        form.disarm(Step::StartUp);
        form.startup.StartupPhase = 0;
        break;
    default:
        break;
    }
}

} // namespace clipnest
