#pragma once

#include "cli/session.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace clipnest::cli {

enum Status { Done = 0, Failed = 1, Usage = 2 };

struct Command;

// What a command line says: the command and the values of its options. A multi-line box's value holds its line
// breaks as the command line gave them; boxText makes them CR LF.
struct Args {
    const Command* command = nullptr;
    // -C: the channel folder, when not the current one.
    std::string folder;
    std::string name, homepage, individual, anchor, title, message, oldName, newName;
    bool homepageOnly = false;
    bool fileOnly = false;
    bool createPage = false;
    bool toEnd = false;     // move: behind the last entry
    bool newVideos = false; // add: every video of the folder without an entry
    std::string batchFile = "-";
    bool keepGoing = false;
    bool force = false;
    std::string to;
    std::optional<std::string> site; // publish: the channel's own address, set
    bool dryRun = false;
    bool insecure = false;
    int number = 0;                   // a comment's, from 1 for a video's oldest
    int limit = 0;                    // how many operations the history keeps; 0 leaves the setting as it is
    bool offline = false;             // list the comments fetched last
    bool onlyNew = false;             // comments: list only those the last fetch saw first
    std::string text;                 // reply: the host's words
    bool fix = false;                 // check: mend what it can
    bool strict = false;              // publish: nothing when check finds a problem
    bool remove = false;              // publish: remove from the server what the channel no longer has
    std::vector<std::string> replace; // publish: the server's own files that may be replaced
    bool quiet = false;               // no line saying what an operation did
    std::vector<std::string> names;   // posters: the entries' videos; all when empty
    double at = -1;                   // posters: the frame's time in seconds; the chosen frame when negative
    bool small = false;               // convert: at most 720 lines high
};

// A line break as a multi-line text box holds it: CR LF.
std::string boxText(const std::string& text);

// Runs commands on one channel folder and says what they did. The commands that work through the Form share one
// session, started at the first of them, so a batch runs its lines as the window would run them in turn.
class Runner {
public:
    Runner(const std::filesystem::path& dir, std::ostream& out, std::ostream& err) : dir_(dir), out_(out), err_(err) {}

    // Runs a command; `heldWrites` runs it in the session's held run of writes (begun now when none is under way).
    Status run(const Args& args, bool heldWrites = false);

    const std::filesystem::path& dir() const { return dir_; }
    std::ostream& out() { return out_; }
    // Put in front of every message line (a batch line's number).
    void setPrefix(std::string prefix) { prefix_ = std::move(prefix); }
    // Without the line that says what a done operation did (the window's status line).
    void setQuiet(bool quiet) { quiet_ = quiet; }
    bool quiet() const { return quiet_; }
    // One line of standard error, after the prefix; a note says so.
    void line(std::string_view text, bool note = false);

    // The session of the commands that click, started at the first.
    bool hasSession() const { return session_ != nullptr; }
    Session& session();

    // A click: begin() before typing into the boxes, click() once or more, finish() for the exit status.
    void begin();
    Outcome click(void (*button)(Form&));
    // What the Form said and refused since the last outcome was taken, when no click was asked for.
    Outcome outcome();
    // Prints what the outcome says; a message `alsoNote` only tells this time.
    void print(const Outcome& outcome, std::optional<Message> alsoNote = std::nullopt);
    // The exit status once the outcomes are printed; `nothingDone` is said when they wrote no file, and what was done
    // when they did (unless quiet).
    Status finish(std::string_view nothingDone = "Nothing was changed.", Status whenNothingDone = Done);

private:
    // Prints what the outcome says; true when it tells that the operation was refused or stopped.
    bool report(const Outcome& outcome, std::optional<Message> alsoNote);

    std::filesystem::path dir_;
    std::ostream& out_;
    std::ostream& err_;
    std::unique_ptr<Session> session_;
    std::string prefix_;
    bool startupFailed_ = false;
    bool quietStart_ = false;
    bool failed_ = false;
    bool quiet_ = false;
    // A file was written since begin().
    bool wrote_ = false;
};

} // namespace clipnest::cli
