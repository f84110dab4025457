#pragma once

#include "cli/runner.h"
#include "history/channel_lock.h"

#include <atomic>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace CLI {
class App;
class ParseError;
} // namespace CLI

namespace clipnest::publish {
struct Settings;
}

namespace clipnest::cli {

// One command of the command line: its name and help, its options, and the function that runs it. Adding a command
// is a row of the table (commands.cpp) and its function.
struct Command {
    const char* name;
    const char* help;
    // Whether a batch line may hold it (the commands that work on the channel in the session), and whether its
    // writes may stay in memory there: a command that only edits the pages, whose files a run of such lines writes
    // together at its end.
    enum class Batch { Never, OnDisk, InMemory } batch;
    // The start-up notes that a homepage will be made concern it (not a delete or insert, which never make one).
    bool startNotes;
    void (*options)(CLI::App& command, Args& args);
    Status (*run)(Runner& runner, const Args& args);
};

// Every command, in the order the help lists them.
std::span<const Command> commands();

// The command of a line of words; nothing, with the exit status, when the line asks for help or the version or is
// no command, which `report` has been told.
std::optional<Args> parseCommand(const std::vector<std::string>& words, bool batchLine,
                                 const std::function<void(const CLI::ParseError&, CLI::App&)>& report, int& status);

// What the commands do; each is the function of its row.
Status runEntry(Runner& runner, const Args& args);
Status runDelete(Runner& runner, const Args& args);
Status runInsert(Runner& runner, const Args& args);
Status runTitle(Runner& runner, const Args& args);
Status runRename(Runner& runner, const Args& args);
Status runList(Runner& runner, const Args& args);
// Takes the channel's writer lock for a command that writes without the Form; false, said, when another Clipnest
// holds it past the wait.
bool lockChannel(Runner& runner, ChannelLock& lock);
Status runUndo(Runner& runner, const Args& args);
Status runHistory(Runner& runner, const Args& args);
Status runBatch(Runner& runner, const Args& args);
Status runPreview(Runner& runner, const Args& args);
Status runPublish(Runner& runner, const Args& args);
Status runConnection(Runner& runner, const Args& args);
Status runComments(Runner& runner, const Args& args);
Status runCheck(Runner& runner, const Args& args);
Status runHide(Runner& runner, const Args& args);
Status runUnhide(Runner& runner, const Args& args);
Status runClose(Runner& runner, const Args& args);
Status runOpen(Runner& runner, const Args& args);
Status runHold(Runner& runner, const Args& args);
Status runUnhold(Runner& runner, const Args& args);
Status runApprove(Runner& runner, const Args& args);
Status runReply(Runner& runner, const Args& args);
Status runPosters(Runner& runner, const Args& args);
Status runCaptions(Runner& runner, const Args& args);
Status runMove(Runner& runner, const Args& args);
Status runConvert(Runner& runner, const Args& args);
Status runOriginals(Runner& runner, const Args& args);

// How the conversion of one video ended.
enum class ConvertEnd { Converted, AlreadyPlays, Failed, Cancelled };
// Converts one video of the channel (a code-page name) into an MP4 every browser plays and puts it in place, its
// entry following, as one operation for undo (see Form::placeConverted); a progress line on a terminal, and a second
// conversion at the small size when the first is over max_upload. Says what happened.
ConvertEnd convertOne(Runner& runner, const std::string& video, const publish::Settings& settings, bool small,
                      const std::atomic<bool>* cancel);

Status runAdd(Runner& runner, const Args& args);

// What an add came to: the videos given an entry and those skipped (UTF-8, as given), whether anything was refused or
// went wrong, and one line that says it all.
struct AddReport {
    std::vector<std::string> added, skipped;
    bool failed = false;
    std::string summary;
};
// Gives each video an entry behind the last one, its descriptions made from its name, as one operation for undo; a
// file is named as the folder has it or by a path into the folder. With `newVideos`, every video of the folder that
// no entry names as well, in name order. A file outside the folder, a name the pages refuse and one with an entry
// are skipped, each said on the runner; the rest are added.
AddReport addVideos(Runner& runner, const std::vector<std::string>& files, bool newVideos);

} // namespace clipnest::cli
