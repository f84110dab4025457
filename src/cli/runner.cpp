#include "cli/runner.h"

#include "cli/commands.h"

#include <algorithm>

namespace clipnest::cli {

std::string boxText(const std::string& text) {
    std::string box;
    box.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) {
            box += '\r';
        }
        box += text[i];
    }
    return box;
}

bool shown(const std::vector<Message>& messages, Panel panel) {
    return std::any_of(messages.begin(), messages.end(), [panel](const Message& m) { return m.panel == panel; });
}

Status Runner::run(const Args& args) {
    quietStart_ = !args.command->startNotes;
    return args.command->run(*this, args);
}

void Runner::line(std::string_view text, bool note) {
    err_ << prefix_ << (note ? "note: " : "") << text << '\n';
}

Session& Runner::session() {
    if (!session_) {
        session_ = std::make_unique<Session>(dir_);
        // A failure at start-up (an unreadable homepage) fails the first command. The notes that a homepage will be
        // made say nothing to a command that never makes one.
        std::vector<Message> messages = session_->takeMessages();
        if (quietStart_) {
            std::erase_if(messages, [](const Message& m) {
                return m.panel == Panel::HomepageWillBeCreated || m.panel == Panel::HomepageNotFound;
            });
        }
        startupFailed_ = report(messages, std::nullopt);
    }
    return *session_;
}

bool Runner::report(const std::vector<Message>& messages, std::optional<Panel> alsoNote) {
    bool failed = false;
    for (const Message& m : messages) {
        const bool note = m.isNote() || m.panel == alsoNote;
        line(m.text, note);
        failed = failed || !note;
    }
    return failed;
}

std::vector<Message> Runner::click(void (*button)(Form&)) {
    button(session().form());
    if (!session_->runToEnd()) {
        line("The operation did not come to an end.");
        failed_ = true;
    }
    return session_->takeMessages();
}

void Runner::begin() {
    Session& s = session();
    failed_ = std::exchange(startupFailed_, false);
    writtenAtStart_ = s.written().size();
    // A command is one click; the window's second click for a missing page is --create-page. So every line of a
    // batch meets a missing page as a command of its own does.
    s.form().forgetMissingPageNotices();
}

void Runner::print(const std::vector<Message>& messages, std::optional<Panel> alsoNote) {
    failed_ = report(messages, alsoNote) || failed_;
}

Status Runner::finish(std::string_view nothingDone, Status whenNothingDone) {
    if (failed_) {
        return Failed;
    }
    if (session_->written().size() == writtenAtStart_) {
        line(nothingDone);
        return whenNothingDone;
    }
    if (!quiet_) {
        line(session_->form().operationSummary());
    } else {
        for (const std::string& note : session_->form().posterNotes()) {
            line(note, true);
        }
    }
    return Done;
}

} // namespace clipnest::cli
