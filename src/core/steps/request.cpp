#include "core/steps/request.h"

#include "core/form.h"
#include "core/steps/insert.h"
#include "text/document.h"
#include "text/markers.h"
#include "text/page_text.h"
#include "text/text_ops.h"

namespace clipnest {

bool Form::takeFileName(const std::string& nameBox) {
    const std::optional<std::string> name = typedFileName(nameBox);
    if (!name) {
        routing.InvalidName = 1;
        arm(Step::ShowInvalidName);
        return false;
    }
    request.FileName = *name;
    request.FileNameLessExt = std::string(withoutExtension(*name));
    return true;
}

void Form::createOrChangeEntry(EntryPanel panel) {
    const EntryBoxes& boxes = controls.entry(panel);
    const std::string& nameBox = boxes.name;
    const std::string& homepageBox = boxes.homepageDescription;
    const std::string& individBox = boxes.pageDescription;
    request.HomepageOnly = boxes.homepageOnly ? 1 : 0;
    if (!takeFileName(nameBox)) {
        return;
    }
    request.HomepageDescrip = toPageText(homepageBox);
    // The individual page declares UTF-8, so its description carries no code-page bytes.
    if (!individBox.empty()) {
        request.IndividDescrip = asciiWithReferences(toPageText(individBox));
    } else if (request.HomepageOnly == 0) {
        request.IndividDescrip = asciiWithReferences(request.HomepageDescrip);
    } else {
        request.IndividDescrip.clear();
    }
    beginRequest("entry " + std::string(stripBlanks(nameBox)));
    arm(Step::Route);
}

void Form::beginRequest(std::string label) {
    refreshHomepage();
    startOperation(std::move(label));
    // Every request looks at its own video page, also after one that routed straight on.
    if (routing.RoutePhase > 2) {
        routing.RoutePhase = 2;
    }
}

void showInvalidName(Form& form) {
    form.setInterval(Step::ShowInvalidName, 3000);
    int& invalid = form.routing.InvalidName;
    // The message has a panel of its own, in the start-up notice's place: that notice keeps its text.
    if (invalid == 1001) {
        invalid = 0;
        form.hide(Panel::InvalidName);
        form.disarm(Step::ShowInvalidName);
        form.setInterval(Step::ShowInvalidName, 30);
    }
    if (invalid == 1) {
        form.show(Panel::InvalidName);
        invalid += 1000;
    }
}

std::string sharedPageText(std::string_view fileName, std::string_view owner, std::string_view what) {
    return std::string(fileName) + " shares " + std::string(withoutExtension(fileName)) + ".php with the entry " +
           std::string(owner) + "; " + std::string(what);
}

namespace {

// Every request reads its own page when it is there, so the host's edits to it are what gets changed; no page text
// of an earlier request is held over.
void readIndividualPage(Form& form) {
    RoutingState& r = form.routing;
    r.IndividPageText.clear();
    const std::string page = form.request.FileNameLessExt + ".php";
    if (form.folder().exists(page)) {
        if (!form.readText(page, r.IndividPageText)) {
            // An existing page we cannot read must not be replaced by a fresh one: end the request.
            form.endChains();
            r.RoutePhase = 2;
        }
    }
}

// The routing cases, first match wins.
void route(Form& form) {
    EntryRequest& q = form.request;
    RoutingState& r = form.routing;
    form.disarm(Step::Route);
    if (!form.homepage.UnreadableHomepage.empty()) {
        // Read the homepage again on the next request; until then nothing may be written over it.
        form.fileFailure(readFailureText(form.homepage.UnreadableHomepage));
        form.endChains();
        r.RoutePhase = 0;
        return;
    }
    if (form.homepage.HomepageLoaded == 0 && form.startup.DefaultHomepageBuilt < 1) {
        form.arm(Step::DefaultHomepage);
        q.HomepageOnly = 0;
        abandonInsert(form);
        return;
    }
    if (r.IndividPageText.empty() && form.del.DeletePending == 0) {
        form.arm(Step::PreparePage);
        return;
    }
    r.RoutePhase = 2;
    if (form.insert.InsertPending == 1) {
        form.insert.InsertPending = 0;
        form.arm(Step::Insert);
    } else if (q.HomepageOnly == 0 && form.del.DeletePending == 0) {
        const bool hasHomepage = !q.HomepageDescrip.empty();
        const bool hasIndivid = !q.IndividDescrip.empty();
        const std::optional<std::string> owner = entryFileName(form.homepage.PageText, q.FileNameLessExt);
        if (owner && *owner != q.FileName && (hasHomepage || hasIndivid)) {
            // One page per name: the request changes the page of the entry that has it, and says so.
            form.notice(sharedPageText(q.FileName, *owner, "its descriptions were changed"));
        }
        if (!owner) {
            r.RouteCode = 1;
            form.arm(Step::Append);
        } else if (!hasHomepage && hasIndivid) {
            r.RouteCode = 2;
            form.arm(Step::ChangeDescriptions);
        } else if (hasHomepage && !hasIndivid) {
            q.IndividDescrip = asciiWithReferences(q.HomepageDescrip);
            r.RouteCode = 3;
            form.arm(Step::ChangeDescriptions);
        } else if (hasHomepage && hasIndivid) {
            r.RouteCode = 5;
            form.arm(Step::ChangeDescriptions);
        }
    } else if (r.RouteCode == 12 && form.del.DeletePending == 1) {
        // A delete is under way: nothing to route.
    } else if (q.HomepageOnly == 1 && !q.HomepageDescrip.empty()) {
        // The change Step clears HomepageOnly when it ends.
        r.RouteCode = 4;
        form.arm(Step::ChangeDescriptions);
        return;
    }
    q.HomepageOnly = 0;
}

} // namespace

void routeRequest(Form& form) {
    RoutingState& r = form.routing;
    if (r.RoutePhase < 4) {
        ++r.RoutePhase;
    }
    switch (r.RoutePhase) {
    case 1:
        // The click made sure the held text is the file's; it is read only when it is not.
        if (const auto name = findHomepage(form.folder()); name && !form.holdsCurrent(*name)) {
            form.loadHomepage(*name);
        }
        break;
    case 2:
        form.homepage.SampleEntry = buildSampleEntry();
        seedSampleEntry(form.homepage.PageText, markers::FileNameKey, form.homepage.SampleEntry);
        break;
    case 3:
        readIndividualPage(form);
        break;
    default:
        route(form);
        break;
    }
}

} // namespace clipnest
