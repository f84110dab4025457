#pragma once

#include "core/form.h"
#include "platform/clock.h"
#include "platform/working_folder.h"

#include <filesystem>
#include <string>
#include <vector>

namespace clipnest::cli {

// One run of the tool without the window: the Form over the folder, started as the window starts it, with its
// Steps run in virtual time.
class Session {
public:
    explicit Session(const std::filesystem::path& dir);
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    Form& form() { return form_; }

    // Runs the Steps until none is armed, message timers included. False when Steps were still armed after an hour of
    // virtual time, which no chain takes.
    bool runToEnd();

    // How what was asked since the last call ended: what was said and written.
    Outcome takeOutcome() { return form_.takeOutcome(); }

private:
    VirtualClock clock_;
    WorkingFolder folder_;
    Form form_;
};

} // namespace clipnest::cli
