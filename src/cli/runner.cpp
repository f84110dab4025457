#include "cli/runner.h"

#include "cli/commands.h"
#include "text/safe_text.h"

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

Status Runner::run(const Args& args, bool heldWrites) {
    quietStart_ = !args.command->startNotes;
    if (heldWrites && !session().form().inHeldRun()) {
        session().form().beginHeldRun();
    }
    return args.command->run(*this, args);
}

void Runner::line(std::string_view text, bool note) {
    // Every message may carry a file name, a server's answer or a setting: none of them may steer the terminal.
    err_ << prefix_ << (note ? "note: " : "") << safeText(text) << '\n';
}

Session& Runner::session() {
    if (!session_) {
        session_ = std::make_unique<Session>(dir_);
        // A failure at start-up (an unreadable homepage) fails the first command. The notes that a homepage will be
        // made say nothing to a command that never makes one.
        Outcome start = session_->takeOutcome();
        if (quietStart_) {
            std::erase_if(start.said, [](const Said& s) {
                return s.message == Message::HomepageWillBeCreated || s.message == Message::HomepageNotFound;
            });
        }
        startupFailed_ = report(start, std::nullopt);
    }
    return *session_;
}

bool Runner::report(const Outcome& outcome, std::optional<Message> alsoNote) {
    bool failed = false;
    for (const Said& s : outcome.said) {
        const bool note = isNote(s.message) || s.message == alsoNote;
        line(s.line(), note);
        failed = failed || !note;
    }
    if (!outcome.refusal.empty()) {
        line(outcome.refusal);
        failed = true;
    }
    return failed;
}

Outcome Runner::click(void (*button)(Form&)) {
    button(session().form());
    return outcome();
}

Outcome Runner::outcome() {
    if (!session().runToEnd()) {
        line("The operation did not come to an end.");
        failed_ = true;
    }
    return session_->takeOutcome();
}

void Runner::begin() {
    Session& s = session();
    failed_ = std::exchange(startupFailed_, false);
    wrote_ = false;
    // A command is one click; the window's second click for a missing page is --create-page. So every line of a
    // batch meets a missing page as a command of its own does.
    s.form().forgetMissingPageNotices();
}

void Runner::print(const Outcome& outcome, std::optional<Message> alsoNote) {
    failed_ = report(outcome, alsoNote) || failed_;
    wrote_ = wrote_ || !outcome.written.empty();
}

Status Runner::finish(std::string_view nothingDone, Status whenNothingDone) {
    if (failed_) {
        return Failed;
    }
    if (!wrote_) {
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
