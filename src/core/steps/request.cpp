#include "core/steps/request.h"

#include "core/form.h"
#include "core/form_state.h"
#include "text/document.h"
#include "text/markers.h"
#include "text/page_text.h"
#include "text/rename_page.h"
#include "text/text_ops.h"

namespace clipnest {

bool Form::takeFileName(const std::string& nameBox, Request& into) {
    const std::optional<std::string> name = typedFileName(nameBox);
    if (!name) {
        refuseName(fileNameProblem(nameBox));
        return false;
    }
    // A name the server would run (or read as its settings) is no video's; one already on the homepage may still go.
    if (into.kind != Operation::Kind::Delete && runsOnServer(*name)) {
        refuseName(joined({"\"", stripBlanks(nameBox),
                           "\" is a name the server runs as a program (or reads as its settings, or, as it ends in a "
                           "period, takes for another name), so it cannot be a video's"}));
        return false;
    }
    into.FileName = *name;
    into.FileNameLessExt = std::string(withoutExtension(*name));
    // A letter beyond ASCII can stand in a file name in more than one way (composed or not, or as another code page's
    // byte), and a page that names another way finds no video: a new entry of such a name waits for its video.
    const bool beyondAscii = std::any_of(name->begin(), name->end(), [](char c) { return (c & 0x80) != 0; });
    if ((into.kind == Operation::Kind::Entry || into.kind == Operation::Kind::Insert) && beyondAscii &&
        !folder_.exists(*name) && !entryPresent(homepage_.PageText, into.FileNameLessExt)) {
        fileFailure((*name + " is not in the folder. Its name has letters beyond ASCII, which a file name "
                             "can hold in more than one way, so its entry is made only once the video "
                             "is there under exactly that name.\nPut the video in the folder first, "
                             "or copy its name from the file."));
        return false;
    }
    // A new entry's page must not be the rename page, which the next rename would write over. An entry of that name
    // already on the homepage may still be deleted.
    if (into.kind != Operation::Kind::Delete && into.FileNameLessExt + ".php" == RenamePageFile) {
        fileFailure((*name + " cannot have an entry: its page would be " + std::string(RenamePageFile) +
                     ", the rename page's name.\nGive the video another name."));
        return false;
    }
    return true;
}

void Form::createOrChangeEntry(EntryPanel panel) {
    startClick();
    const EntryBoxes& boxes = controls.entry(panel);
    Request next;
    next.kind = Operation::Kind::Entry;
    next.HomepageOnly = boxes.homepageOnly;
    if (!takeFileName(boxes.name, next)) {
        return;
    }
    next.HomepageDescrip = asciiWithReferences(toPageText(boxes.homepageDescription));
    // The individual page declares UTF-8, so its description carries no code-page bytes.
    if (!boxes.pageDescription.empty()) {
        next.IndividDescrip = asciiWithReferences(toPageText(boxes.pageDescription));
    } else if (!next.HomepageOnly) {
        next.IndividDescrip = asciiWithReferences(next.HomepageDescrip);
    }
    if (beginRequest(std::move(next), {std::string(stripBlanks(boxes.name))})) {
        arm(Step::Route);
    }
}

bool Form::beginRequest(Request next, std::vector<std::string> names) {
    if (!holdChannel()) {
        return false;
    }
    refreshHomepage();
    const bool mayAppend = next.kind == Operation::Kind::Entry;
    startOperation({next.kind, std::move(names)});
    noteEntriesAtStart(mayAppend);
    request_ = std::move(next);
    return true;
}

// The message has a panel of its own, in the start-up notice's place, so that notice keeps its text; it says what is
// wrong with the name and stays until the next click.
void showInvalidName(Form& form) {
    form.disarm(Step::ShowInvalidName);
    form.show(Message::InvalidName);
}

void Form::refuseName(const std::string& problem) {
    const std::string text = "Please enter a valid file name: " + problem + ".";
    messages_.setWords(Message::InvalidName, toCodePage(text).value_or(std::string(fixedWords(Message::InvalidName))));
    arm(Step::ShowInvalidName);
}

void Form::startClick() {
    hide(Message::InvalidName);
}

std::string sharedPageText(std::string_view fileName, std::string_view owner, std::string_view what) {
    return std::string(fileName) + " shares " + std::string(withoutExtension(fileName)) + ".php with the entry " +
           std::string(owner) + "; " + std::string(what);
}

namespace {

// Every request reads its own page when it is there, so the host's edits to it are what gets changed.
void readIndividualPage(Form& form) {
    Request& q = state(form).request;
    const std::string page = q.FileNameLessExt + ".php";
    // A link in its place is there too, and is refused by the read.
    if ((form.folder().exists(page) || form.folder().isLink(page)) && !form.readText(page, q.IndividPageText)) {
        // An existing page we cannot read must not be replaced by a fresh one: end the request.
        form.endChains();
    }
}

// The routing cases, first match wins.
void route(Form& form) {
    Request& q = state(form).request;
    const HomepageState& home = state(form).homepage;
    form.disarm(Step::Route);
    if (!home.UnreadableHomepage.empty()) {
        // Read the homepage again on the next request; until then nothing may be written over it.
        form.fileFailure(readFailureWords(home.UnreadableHomepage));
        form.endChains();
        return;
    }
    if (!home.HomepageLoaded && !state(form).startup.DefaultHomepageBuilt) {
        form.arm(Step::DefaultHomepage);
        return;
    }
    if (q.IndividPageText.empty()) {
        form.arm(Step::PreparePage);
        return;
    }
    if (q.kind == Operation::Kind::Insert) {
        form.arm(Step::Insert);
    } else if (!q.HomepageOnly) {
        const bool hasHomepage = !q.HomepageDescrip.empty();
        const bool hasIndivid = !q.IndividDescrip.empty();
        const std::optional<std::string> owner = entryFileName(home.PageText, q.FileNameLessExt, form.pageFront());
        if (owner && *owner != q.FileName && (hasHomepage || hasIndivid)) {
            // One page per name: the request changes the page of the entry that has it, and says so.
            form.notice(sharedPageText(q.FileName, *owner, "its descriptions were changed"));
        }
        if (!owner) {
            if (const std::optional<std::string> problem = appendProblem(home.PageText, form.appendSearchFrom())) {
                const std::string& file = home.ReadFrom.empty() ? "homepage.html" : home.ReadFrom;
                form.fileFailure(("Clipnest did not add " + q.FileName + ": " + file + " " + *problem));
                return;
            }
            form.arm(Step::Append);
            return;
        }
        form.dropPageFront();
        if (hasIndivid) {
            form.arm(Step::ChangeDescriptions);
        } else if (hasHomepage) {
            q.IndividDescrip = asciiWithReferences(q.HomepageDescrip);
            form.arm(Step::ChangeDescriptions);
        }
    } else if (!q.HomepageDescrip.empty()) {
        // The homepage description only.
        form.dropPageFront();
        form.arm(Step::ChangeDescriptions);
    }
}

} // namespace

void routeRequest(Form& form) {
    int& phase = state(form).request.RoutePhase;
    if (phase < 4) {
        ++phase;
    }
    switch (phase) {
    case 1:
        // The click made sure the held text is the file's; it is read only when it is not.
        if (const auto name = findHomepage(form.folder()); name && !form.holdsCurrent(*name)) {
            form.loadHomepage(*name);
        }
        break;
    case 2: {
        HomepageState& home = state(form).homepage;
        home.SampleEntry = buildSampleEntry();
        seedSampleEntry(home.PageText, markers::FileNameKey, home.SampleEntry, form.appendSearchFrom());
    } break;
    case 3:
        readIndividualPage(form);
        break;
    default:
        route(form);
        break;
    }
}

} // namespace clipnest
