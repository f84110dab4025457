// Undo: putting back the files of the newest record all or nothing, and finishing or rolling back an undo that was
// cut off.
#include "history/history.h"
#include "history/history_record.h"
#include "platform/code_page.h"
#include "platform/process.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <sstream>

namespace clipnest {

namespace fs = std::filesystem;

namespace {

// Code-page names joined for a message, which is UTF-8.
std::string shownNames(const std::vector<std::string>& names) {
    std::vector<std::string> shown;
    for (const std::string& name : names) {
        shown.push_back(codePageToUtf8(name));
    }
    return joinNames(shown);
}

} // namespace
using namespace record;

bool History::unchanged(const HistoryFile& file) const {
    const std::optional<FileStamp> now = channel_.stamp(file.name);
    if (file.goneAfter) {
        return !now && !channel_.isLink(file.name);
    }
    if (now == file.after) {
        return true;
    }
    // Written again since (by an undo of a later operation, or by hand): the bytes tell which.
    if (!now || !file.afterHash || now->size != file.after.size) {
        return false;
    }
    const std::optional<std::string> bytes = channel_.read(file.name);
    return bytes && contentHash(*bytes) == *file.afterHash;
}

bool History::finishUndo(const fs::path& record, std::string_view journal) {
    std::istringstream lines{std::string(journal)};
    bool done = true;
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with("put ")) {
            const std::size_t space = line.find(' ', 4);
            const std::string staged = line.substr(4, space == std::string::npos ? 0 : space - 4);
            const std::string name = space == std::string::npos ? "" : line.substr(space + 1);
            // Put in place already when it is gone (the undo was cut off after it).
            if (channel_.stamp(staged) && !channel_.replace(staged, name)) {
                done = false;
            }
        } else if (line.starts_with("remove ")) {
            done = channel_.remove(line.substr(7)) && done;
        }
    }
    if (done) {
        std::error_code ec;
        fs::remove_all(record, ec);
    }
    return done;
}

void History::recover() {
    const std::optional<WorkingFolder> history = root(false);
    if (!history) {
        return;
    }
    std::vector<std::string> pending;
    for (const int n : entryNumbers(root_)) {
        const WorkingFolder record(entryDir(n));
        if (const std::optional<std::string> journal = record.read(JournalFile);
            journal && !finishUndo(record.dir(), *journal)) {
            pending.push_back(*journal);
        }
    }
    // Files staged by an undo that was cut off before its journal: that undo never happened.
    std::error_code ec;
    for (fs::directory_iterator it(channel_.dir(), ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!name.starts_with(StagedPrefix)) {
            continue;
        }
        const long pid = std::strtol(name.c_str() + StagedPrefix.size(), nullptr, 10);
        const bool referenced = std::any_of(pending.begin(), pending.end(),
                                            [&](const std::string& j) { return j.find(name) != std::string::npos; });
        if (!referenced && pid > 0 && !processRuns(pid)) {
            channel_.remove(name);
        }
    }
}

void History::wholeOlderCopies(const HistoryEntry& entry) {
    const WorkingFolder base(entryDir(entry.number) / BeforeFolder);
    for (const HistoryFile& f : entry.files) {
        const std::optional<int> older = olderCopy(f.name, entry.number);
        if (!older) {
            continue;
        }
        const WorkingFolder differs(entryDir(*older) / DeltaFolder);
        if (!differs.exists(f.name)) {
            continue;
        }
        const std::optional<std::string> delta = differs.read(f.name);
        std::optional<WorkingFolder> whole = WorkingFolder(entryDir(*older)).subfolder(BeforeFolder, true);
        // The whole copy is on disk before the delta goes; one that cannot be made leaves that record to be said
        // damaged when its turn comes.
        if (delta && whole && base.exists(f.name) && writeFromDelta(*delta, base.pathOf(f.name), *whole, f.name)) {
            WorkingFolder(entryDir(*older) / DeltaFolder).remove(f.name);
        }
    }
}

UndoResult History::undoLast(bool force) {
    end();
    recover();
    // A write of an undo cut off before it staged its file leaves a temporary file of its own: it goes now.
    channel_.removeStaleTemporaries();
    std::vector<HistoryEntry> list = entries();
    if (list.empty()) {
        return {false, "There is nothing to undo.", {}};
    }
    const HistoryEntry& entry = list.front();
    const fs::path record = entryDir(entry.number);
    const auto damaged = [&](const std::string& why) {
        return UndoResult{false,
                          "The history record " + std::to_string(entry.number) + " is damaged; nothing was undone (" +
                              (record.lexically_relative(channel_.dir())).string() + ": " + why +
                              "). Remove that folder to undo the operations before it.",
                          {}};
    };
    if (!entry.damage.empty()) {
        return damaged(entry.damage);
    }
    const std::string what = entry.operation.label() + " (" + timeText(entry.time) + ")";
    std::vector<std::string> changed;
    for (const HistoryFile& f : entry.files) {
        if (!unchanged(f)) {
            changed.push_back(f.name);
        }
    }
    if (!changed.empty() && !force) {
        return {false,
                "Did not undo " + what + ": " + shownNames(changed) + (changed.size() == 1 ? " was" : " were") +
                    " changed after it. Undo with --force to put the files back all the same and lose that change.",
                {}};
    }

    // The copies older records keep as deltas against this record's copies are made whole while these are here.
    wholeOlderCopies(entry);

    // Every file to put back is written whole beside its target first; until the journal is written, nothing of the
    // folder's own files has changed.
    const WorkingFolder before(record / BeforeFolder);
    const std::string stagedStem =
        std::string(StagedPrefix) + std::to_string(processId()) + "-" + std::to_string(entry.number) + "-";
    std::vector<std::string> staged;
    const auto unstage = [&] {
        for (const std::string& name : staged) {
            channel_.remove(name);
        }
    };
    std::string journal;
    std::vector<std::string> putBack, removed;
    for (const HistoryFile& f : entry.files) {
        if (!f.existedBefore) {
            journal += "remove " + f.name + "\n";
            removed.push_back(f.name);
            continue;
        }
        // The kept copy is never written to, so a second link to it stands in for a copy (a large video is not read);
        // a copy where links are not to be had. A copy that is not a file of its own (a link) is refused.
        const std::string name = stagedStem + std::to_string(staged.size());
        if (!before.exists(f.name)) {
            unstage();
            return damaged("the copy of " + codePageToUtf8(f.name) + " cannot be read");
        }
        if (!channel_.linkFrom(before.pathOf(f.name), name)) {
            const std::optional<std::string> bytes = before.read(f.name);
            if (!bytes) {
                unstage();
                return damaged("the copy of " + codePageToUtf8(f.name) + " cannot be read");
            }
            if (!channel_.write(name, *bytes)) {
                unstage();
                return {false,
                        "Could not put back " + codePageToUtf8(f.name) + " for " + what + "; nothing was undone.",
                        {}};
            }
        }
        staged.push_back(name);
        journal += "put " + name + " " + f.name + "\n";
        putBack.push_back(f.name);
    }
    if (!WorkingFolder(record).write(JournalFile, journal)) {
        unstage();
        return {false, "Could not undo " + what + ": its record cannot be written; nothing was undone.", {}};
    }
    std::vector<std::string> done = putBack;
    done.insert(done.end(), removed.begin(), removed.end());
    if (!finishUndo(record, journal)) {
        return {false, "Could not put every file of " + what + " in place; the next run of Clipnest finishes the undo.",
                done};
    }
    std::string message = "Undid " + what + ":";
    if (!putBack.empty()) {
        message += " " + shownNames(putBack) + " put back";
    }
    if (!removed.empty()) {
        message += std::string(putBack.empty() ? " " : "; ") + shownNames(removed) + " removed";
    }
    return {true, message + ".", done};
}

} // namespace clipnest
