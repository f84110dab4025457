#pragma once

#include "core/form.h"
#include "platform/clock.h"
#include "platform/working_folder.h"

#include <filesystem>
#include <string>
#include <vector>

namespace clipnest::cli {

// A message the window would have shown in a panel, as one line of plain UTF-8 text.
struct Message {
    Panel panel;
    std::string text;
    // The start-up notices about a missing homepage and the notices of what was done tell; they report no failure.
    bool isNote() const;
};

// A panel's text on one line: its padding blanks and line breaks become single spaces, and the "(Click to close)" a
// terminal cannot act on is left out.
std::string plainLine(const std::string& panelText);

// The working folder, keeping the names of the files written to it.
class RecordingFolder final : public WorkingFolder {
public:
    using WorkingFolder::WorkingFolder;
    bool write(std::string_view name, std::string_view bytes) override;
    std::vector<std::string> written;
};

// One run of the tool without the window: the Form over the folder, started as the window starts it, with its
// Steps run in virtual time. Every panel the Form shows is kept as a Message, each distinct one once between two
// calls of takeMessages.
class Session {
public:
    explicit Session(const std::filesystem::path& dir);
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    Form& form() { return form_; }
    const std::vector<std::string>& written() const { return folder_.written; }

    // Runs the Steps until none is armed, message timers included. False when Steps were still armed after an hour of
    // virtual time, which no chain takes.
    bool runToEnd();

    // The messages shown since the last call, in the order they were shown.
    std::vector<Message> takeMessages();

private:
    VirtualClock clock_;
    RecordingFolder folder_;
    Form form_;
    std::vector<Message> messages_;
    std::size_t taken_ = 0;
};

} // namespace clipnest::cli
