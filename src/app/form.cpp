#include "form.h"

#include "app/page_text.h"
#include "homepage/append.h"
#include "homepage/change.h"
#include "homepage/delete.h"
#include "homepage/document.h"
#include "homepage/insert.h"
#include "homepage/markers.h"
#include "homepage/request.h"
#include "homepage/title.h"
#include "pages/default_homepage.h"
#include "pages/individual_page.h"
#include "startup.h"

#include <algorithm>
#include <array>
#include <cassert>

namespace clipnest {

namespace {

void hideNotices(Form& form) {
    form.disarm(Step::Timer29);
    for (const Panel p : {Panel::Text8, Panel::Text11, Panel::Text13, Panel::Text15, Panel::Text17, Panel::Text28,
                          Panel::Text29, Panel::InvalidName, Panel::Notice}) {
        if (form.isVisible(p)) {
            form.hide(p);
        }
    }
}

struct StepDef {
    Step step;
    const char* name;
    int intervalMs;
    void (*run)(Form&);
};

// The whole schedule: every Step with its design interval and what one run does.
constexpr std::array<StepDef, 13> Schedule = {{
    {Step::Timer1, "Timer1", 30, showInvalidName},
    {Step::Timer8, "Timer8", 200, startUp},
    {Step::Timer12, "Timer12", 30, appendEntry},
    {Step::Timer14, "Timer14", 30, changeEntry},
    {Step::Timer20, "Timer20", 30, updateTitleAndMessage},
    {Step::Timer23, "Timer23", 250, cutEntry},
    {Step::Timer24, "Timer24", 30, routeRequest},
    {Step::Timer25, "Timer25", 30, buildOrReadHomepage},
    {Step::Timer26, "Timer26", 30, prepareIndividualPage},
    {Step::Timer28, "Timer28", 30, insertEntry},
    {Step::Timer29, "Timer29", 25000, hideNotices},
    {Step::Timer30, "Timer30", 20, reportEntryNotFound},
    {Step::Timer31, "Timer31", 250, findHomepageForDelete},
}};

// Steps that belong to a chain of file work; the message timers are not among them.
constexpr std::array<Step, 10> ChainSteps = {Step::Timer8,  Step::Timer12, Step::Timer14, Step::Timer20, Step::Timer23,
                                             Step::Timer24, Step::Timer25, Step::Timer26, Step::Timer28, Step::Timer31};

} // namespace

const std::vector<std::pair<const char*, std::string Controls::*>>& Controls::textBoxes() {
    static const std::vector<std::pair<const char*, std::string Controls::*>> boxes = {
        {"Text2", &Controls::Text2},   {"Text4", &Controls::Text4},   {"Text5", &Controls::Text5},
        {"Text7", &Controls::Text7},   {"Text6", &Controls::Text6},   {"Text3", &Controls::Text3},
        {"Text20", &Controls::Text20}, {"Text19", &Controls::Text19}, {"Text21", &Controls::Text21},
        {"Text25", &Controls::Text25}, {"Text22", &Controls::Text22}, {"Text23", &Controls::Text23},
        {"Text18", &Controls::Text18}, {"Text24", &Controls::Text24},
    };
    return boxes;
}

Form::Form(const Clock& clock, WorkingFolder& folder) : folder_(folder), scheduler_(clock), history_(folder) {
    for (const StepDef& def : Schedule) {
        [[maybe_unused]] const int id = scheduler_.add(def.name, def.intervalMs, [this, run = def.run] { run(*this); });
        assert(id == static_cast<int>(def.step));
    }
    arm(Step::Timer8);
}

void Form::Command1() {
    createChangeClick(controls.Text2, controls.Text4, controls.Text5, controls.Check1);
}
void Form::Command2() {
    createChangeClick(controls.Text7, controls.Text6, controls.Text3, controls.Check2);
}

void Form::clickPanel(Panel panel) {
    switch (panel) {
    case Panel::Text8:
    case Panel::Text13:
    case Panel::Text15:
    case Panel::Text17:
    case Panel::FileFailure:
    case Panel::InvalidName:
    case Panel::Notice:
        hide(panel);
        break;
    default:
        break;
    }
}

bool Form::chainRunning() const {
    for (const Step s : ChainSteps) {
        if (isArmed(s)) {
            return true;
        }
    }
    return false;
}

bool Form::readText(std::string_view name, std::string& into) {
    const bool changed = changedOnDisk(name);
    std::optional<std::string> bytes = folder_.read(name);
    if (!bytes) {
        fileFailure(readFailureText(std::string(name)));
        return false;
    }
    remember(name, *bytes);
    if (changed) {
        notice(std::string(name) + " was changed on disk since Clipnest read it. Clipnest read it again.");
    }
    into = linesWithLf(std::move(*bytes));
    return true;
}

bool Form::loadHomepage(std::string_view name) {
    std::optional<std::string> bytes = folder_.read(name);
    if (!bytes) {
        // A file that went away in between is simply not there; one that stays but cannot be read is protected.
        if (folder_.exists(name)) {
            homepage.UnreadableHomepage = std::string(name);
            fileFailure(readFailureText(homepage.UnreadableHomepage));
        }
        return false;
    }
    homepage.UnreadableHomepage.clear();
    homepage.ReadFrom = std::string(name);
    remember(name, *bytes);
    homepage.PageText = linesWithLf(std::move(*bytes));
    homepage.SavedPageText = homepage.PageText;
    homepage.HomepageLoaded = 1;
    return true;
}

bool Form::writeText(std::string_view name, std::string_view text) {
    std::string bytes(text);
    return writeWithLineEnd(name, bytes);
}

bool Form::writeWithLineEnd(std::string_view name, std::string& text) {
    // A rename over the file would replace it whatever its mode says.
    if (folder_.readOnly(name)) {
        fileFailure(panelMessage("Clipnest did not write " + std::string(name) +
                                 ": the file is read-only.\r\n   Make it writable to let Clipnest change it."));
        endChains();
        return false;
    }
    // Nothing is written that could not be undone.
    if (!history_.keep(name)) {
        fileFailure(panelMessage("Clipnest could not keep a copy of " + std::string(name) +
                                 " for undo, so it did not write it.\r\n   The file was left as it was."));
        endChains();
        return false;
    }
    // The line end goes on and comes off again, so a large homepage is never copied for its write.
    text += "\r\n";
    const bool written = folder_.write(name, text);
    if (written) {
        remember(name, text);
        history_.wrote(name, known_.find(name)->second.hash);
    }
    text.resize(text.size() - 2);
    if (!written) {
        fileFailure(writeFailureText(std::string(name)));
        endChains();
    }
    return written;
}

void Form::remember(std::string_view name, std::string_view bytes) {
    const std::optional<FileStamp> stamp = folder_.stamp(name);
    if (!stamp) {
        known_.erase(std::string(name));
        return;
    }
    known_.insert_or_assign(std::string(name), DiskRecord{*stamp, contentHash(bytes)});
}

bool Form::changedOnDisk(std::string_view name) {
    const auto known = known_.find(name);
    if (known == known_.end()) {
        return false;
    }
    const std::optional<FileStamp> stamp = folder_.stamp(name);
    if (!stamp || *stamp == known->second.stamp) {
        return false;
    }
    if (stamp->size != known->second.stamp.size) {
        return true;
    }
    // Touched, or written again with what it held: only the bytes tell.
    const std::optional<std::string> bytes = folder_.read(name);
    if (!bytes || contentHash(*bytes) != known->second.hash) {
        return true;
    }
    known->second.stamp = *stamp;
    return false;
}

void Form::refreshHomepage() {
    const std::optional<std::string_view> name = findHomepage(folder_);
    if (!name) {
        return;
    }
    // A homepage this Form has not read yet (placed in the folder since the start, or one that could not be read)
    // is read now; a known one again when it changed.
    const bool unknown = known_.find(*name) == known_.end();
    const bool heldOther = unknown && homepage.HomepageLoaded != 0;
    if ((unknown || changedOnDisk(*name)) && loadHomepage(*name) && (heldOther || !unknown)) {
        notice(std::string(*name) +
               " was changed on disk since Clipnest read or wrote it. Clipnest read it again and works on that.");
    }
}

void Form::notice(const std::string& text) {
    // A notice in sight keeps its sentences; the new one goes below them.
    std::string& shown = panels[Panel::Notice].text;
    const std::string close = panelMessage("");
    if (isVisible(Panel::Notice) && shown.ends_with(close.substr(2))) {
        shown.resize(shown.size() - close.size() + 2);
        shown += "   " + text + close.substr(2);
    } else {
        shown = panelMessage(text);
    }
    show(Panel::Notice);
    arm(Step::Timer29);
}

void Form::startOperation(std::string label) {
    if (const WorkingFolder::Removed stale = folder_.removeStaleTemporaries(); stale.files > 0) {
        notice("Clipnest removed " + std::to_string(stale.files) + " temporary file" + (stale.files == 1 ? "" : "s") +
               " (" + std::to_string(stale.bytes) + " bytes) left by a write that was cut off.");
    }
    if (std::exchange(joinNext_, false) && history_.open()) {
        return;
    }
    history_.begin(std::move(label));
}

bool Form::undo(bool force) {
    const UndoResult result = history_.undoLast(force);
    for (const std::string& name : result.files) {
        if (std::find(markers::HomepageNames.begin(), markers::HomepageNames.end(), name) !=
            markers::HomepageNames.end()) {
            known_.erase(name);
            if (folder_.exists(name)) {
                loadHomepage(name);
            } else if (!findHomepage(folder_)) {
                // The operation made the homepage: back to the one held at the start.
                homepage.HomepageLoaded = 0;
                holdDefaultHomepage(*this);
            }
        } else if (folder_.exists(name)) {
            if (const std::optional<std::string> bytes = folder_.read(name)) {
                remember(name, *bytes);
            }
        } else {
            known_.erase(name);
        }
    }
    const std::optional<std::string> text = toCodePage(result.message);
    if (result.undone) {
        notice(text.value_or("The last operation was undone."));
    } else {
        fileFailure(panelMessage(text.value_or("Clipnest could not undo the last operation.")));
    }
    return result.undone;
}

bool Form::writeHomepage() {
    if (!homepage.UnreadableHomepage.empty()) {
        fileFailure(readFailureText(homepage.UnreadableHomepage));
        endChains();
        return false;
    }
    if (!writeWithLineEnd(markers::HomepageFile, homepage.PageText)) {
        return false;
    }
    homepage.SavedPageText = homepage.PageText;
    if (!homepage.ReadFrom.empty() && homepage.ReadFrom != markers::HomepageFile) {
        notice("The homepage was read from " + homepage.ReadFrom + " and written as homepage.html: upload " +
               "homepage.html from now on; " + homepage.ReadFrom + " was left as it was.");
    }
    homepage.ReadFrom = markers::HomepageFile;
    return true;
}

void Form::fileFailure(std::string text) {
    panels[Panel::FileFailure].text = std::move(text);
    show(Panel::FileFailure);
}

void Form::endChains() {
    for (const Step s : ChainSteps) {
        if (s != Step::Timer8) {
            disarm(s);
        }
    }
    // Whatever the ended chains changed in the held homepage never reached the disk.
    homepage.PageText = homepage.SavedPageText;
    request.HomepageOnly = 0;
    routing.IndividPageText.clear();
    individ.IndividStepTick = 0;
    append.AppendPhase = 0;
    change = ChangeState{};
    del.DeletePending = 0;
    del.TrimCount = 0;
    insert.InsertPending = 0;
    insert.InsertPhase = 0;
    insert.AnchorFound = 0;
    title.TitleStepPhase = 0;
    TextBefore.clear();
    TextAfter.clear();
}

void Form::cmdExit() {
    scheduler_.stopAll();
    quitRequested_ = true;
}

} // namespace clipnest
