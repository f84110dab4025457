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

// Hides every message that the message timer hides; the failure message and the invalid-name message stay until
// clicked.
void hideNotices(Form& form) {
    form.disarm(Step::HideNotices);
    for (const Message p :
         {Message::EntryNotFound, Message::PageNotFound, Message::NoHomepage, Message::HomepageWillBeCreated,
          Message::HomepageNotFound, Message::InvalidNames, Message::EntryExists, Message::Notice}) {
        if (form.isVisible(p)) {
            form.hide(p);
        }
    }
}

// The whole schedule, one row a Step: its design timer and interval, what one run does, and whether it is part of a
// chain of file work (the window keeps the chain buttons disabled while one runs; a file failure ends them all).
constexpr std::array<StepDef, 13> Schedule = {{
    {Step::ShowInvalidName, "Timer1", 30, showInvalidName, false},
    {Step::StartUp, "Timer8", 200, startUp, true},
    {Step::Append, "Timer12", 30, appendEntry, true},
    {Step::ChangeDescriptions, "Timer14", 30, changeEntry, true},
    {Step::TitleAndMessage, "Timer20", 30, updateTitleAndMessage, true},
    {Step::CutEntry, "Timer23", 250, cutEntry, true},
    {Step::Route, "Timer24", 30, routeRequest, true},
    {Step::DefaultHomepage, "Timer25", 30, buildOrReadHomepage, true},
    {Step::PreparePage, "Timer26", 30, prepareIndividualPage, true},
    {Step::Insert, "Timer28", 30, insertEntry, true},
    {Step::HideNotices, "Timer29", 25000, hideNotices, false},
    {Step::EntryNotFound, "Timer30", 20, reportEntryNotFound, false},
    {Step::FindHomepage, "Timer31", 250, findHomepageForDelete, true},
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
