#include "core/form.h"
#include "core/steps/append.h"
#include "core/steps/change.h"
#include "core/steps/default_homepage.h"
#include "core/steps/delete.h"
#include "core/steps/individual_page.h"
#include "core/steps/insert.h"
#include "core/steps/request.h"
#include "core/steps/startup.h"
#include "core/steps/title.h"

#include <array>

namespace clipnest {

namespace {

// Hides every message panel that the panel timer hides; the failure panel stays until clicked.
void hideNotices(Form& form) {
    form.disarm(Step::HideNotices);
    for (const Panel p :
         {Panel::EntryNotFound, Panel::PageNotFound, Panel::NoHomepage, Panel::HomepageWillBeCreated,
          Panel::HomepageNotFound, Panel::InvalidNames, Panel::EntryExists, Panel::InvalidName, Panel::Notice}) {
        if (form.isVisible(p)) {
            form.hide(p);
        }
    }
}

void resetRoute(Form& form) {
    form.request.HomepageOnly = 0;
    form.routing.IndividPageText.clear();
}
void resetPreparePage(Form& form) {
    form.individ.IndividStepTick = 0;
}
void resetAppend(Form& form) {
    form.append.AppendPhase = 0;
}
void resetChange(Form& form) {
    form.change = ChangeState{};
}
void resetDelete(Form& form) {
    form.del.DeletePending = 0;
    form.del.TrimCount = 0;
}
void resetInsert(Form& form) {
    form.insert.InsertPending = 0;
    form.insert.InsertPhase = 0;
    form.insert.AnchorFound = 0;
}
void resetTitle(Form& form) {
    form.title.TitleStepPhase = 0;
}

// The whole schedule, one row a Step: its design timer and interval, what one run does, whether it is part of a
// chain of file work (the window keeps the chain buttons disabled while one runs), and what a file failure that ends
// the chains puts back.
constexpr std::array<StepDef, 13> Schedule = {{
    {Step::ShowInvalidName, "Timer1", 30, showInvalidName, false, nullptr},
    {Step::StartUp, "Timer8", 200, startUp, true, nullptr},
    {Step::Append, "Timer12", 30, appendEntry, true, resetAppend},
    {Step::ChangeDescriptions, "Timer14", 30, changeEntry, true, resetChange},
    {Step::TitleAndMessage, "Timer20", 30, updateTitleAndMessage, true, resetTitle},
    {Step::CutEntry, "Timer23", 250, cutEntry, true, nullptr},
    {Step::Route, "Timer24", 30, routeRequest, true, resetRoute},
    {Step::DefaultHomepage, "Timer25", 30, buildOrReadHomepage, true, nullptr},
    {Step::PreparePage, "Timer26", 30, prepareIndividualPage, true, resetPreparePage},
    {Step::Insert, "Timer28", 30, insertEntry, true, resetInsert},
    {Step::HideNotices, "Timer29", 25000, hideNotices, false, nullptr},
    {Step::EntryNotFound, "Timer30", 20, reportEntryNotFound, false, nullptr},
    {Step::FindHomepage, "Timer31", 250, findHomepageForDelete, true, resetDelete},
}};

// The scheduler numbers its Steps in the order they are added, which must be the enum's.
constexpr bool inEnumOrder() {
    for (std::size_t i = 0; i < Schedule.size(); ++i) {
        if (static_cast<std::size_t>(Schedule[i].step) != i) {
            return false;
        }
    }
    return true;
}
static_assert(inEnumOrder(), "the schedule lists the Steps in the order of the Step enum");

} // namespace

std::span<const StepDef> schedule() {
    return Schedule;
}

} // namespace clipnest
