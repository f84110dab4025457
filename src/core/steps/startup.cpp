#include "core/steps/startup.h"

#include "core/form.h"
#include "core/form_state.h"
#include "core/steps/default_homepage.h"
#include "text/document.h"
#include "text/individual_page.h"
#include "text/markers.h"

namespace clipnest {

namespace {

constexpr std::string_view AppDocs = "AppDocs.txt";

void loadOrBuildHomepage(Form& form) {
    StartupState& start = state(form).startup;
    HomepageState& home = state(form).homepage;
    if (const auto name = findHomepage(form.folder())) {
        form.loadHomepage(*name);
    } else {
        if (!start.DefaultHomepageBuilt) {
            start.DefaultHomepageBuilt = true;
            form.holdDefaultHomepage();
        }
        if (start.folderMark == FolderMark::Found) {
            start.folderMark = FolderMark::MissingHomepageSaid;
            form.show(Message::HomepageNotFound);
            form.arm(Step::HideNotices);
        } else if (start.folderMark == FolderMark::Made) {
            form.show(Message::HomepageWillBeCreated);
            form.arm(Step::HideNotices);
        }
    }
    seedSampleEntry(home.PageText, markers::FileNameToken, home.SampleEntry);
}

} // namespace

void startUp(Form& form) {
    StartupState& start = state(form).startup;
    switch (++start.StartupPhase) {
    case 1:
        form.setInterval(Step::StartUp, 30);
        if (form.folder().exists(AppDocs)) {
            start.folderMark = FolderMark::Found;
        } else {
            start.folderMark = FolderMark::Made;
            // The marker only remembers that the tool ran here: without it everything else still works.
            if (!form.folder().write(AppDocs, "\r\n")) {
                form.notice("Clipnest could not create AppDocs.txt, which marks this folder as one it has worked in. "
                            "It works on without it.");
            }
        }
        state(form).homepage.SampleEntry = buildSampleEntry();
        break;
    case 2:
        loadOrBuildHomepage(form);
        break;
    case 3:
        form.disarm(Step::StartUp);
        start.StartupPhase = 0;
        break;
    default:
        break;
    }
}

} // namespace clipnest
