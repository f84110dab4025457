// Undo: putting back the files of the newest record all or nothing, and finishing or rolling back an undo that was
// cut off.
#include "history/history.h"
#include "history/history_record.h"
#include "history/originals.h"
#include "platform/code_page.h"
#include "platform/process.h"
#include "text/discovery.h"
#include "text/individual_page.h"
#include "text/markers.h"
#include "text/rename_page.h"

#include <algorithm>
#include <array>
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

// The files Clipnest writes, which an undo may put back or remove: the homepage, the video pages and the rename page,
// posters and captions it made, the feed and sitemap, the moderation file a rename follows. Anything else (a video, a
// comments file, a caption source) an undo only moves back where a rename of an entry took it; a name the server
// reads as its own (.htaccess) never.
bool writtenByClipnest(std::string_view name) {
    if (!isPlainName(name) || name.starts_with('.')) {
        return false;
    }
    for (const std::string_view own :
         {markers::HomepageFile, RenamePageFile, std::string_view(discovery::FeedFile),
          std::string_view(discovery::SitemapFile), std::string_view(CommentModerationFile)}) {
        if (name == own) {
            return true;
        }
    }
    if (name.starts_with("sitemap-") && name.ends_with(".xml")) {
        return true;
    }
    constexpr std::array<std::string_view, 3> Made = {".php", ".jpg", ".vtt"};
    return std::any_of(Made.begin(), Made.end(),
                       [&](std::string_view ext) { return name.size() > ext.size() && name.ends_with(ext); });
}

// A file outside what Clipnest writes that an undo may still touch: one it puts back where nothing stands (and the
// server would not run), or one it removes that is the very file (the same inode) another of its names comes back
// from, so nothing is lost.
bool movedBack(const WorkingFolder& channel, std::string_view name, bool putBack,
               const std::vector<std::optional<FileStamp>>& comingBack) {
    if (name.starts_with('.') || !isPlainName(name)) {
        return false;
    }
    const std::optional<FileStamp> now = channel.stamp(name);
    if (putBack) {
        return !now && !channel.isLink(name) && !runsOnServer(name);
    }
    if (!now) {
        return !channel.isLink(name);
    }
    return std::any_of(comingBack.begin(), comingBack.end(),
                       [&](const std::optional<FileStamp>& s) { return s && s->inode == now->inode; });
}

// The videos a conversion's record names: the original it put back and the MP4 it made (which may have the same
// name). Its undo may put back and remove them, as Clipnest wrote the one and moved the other away.
bool convertedVideo(const HistoryEntry* entry, std::string_view name) {
    if (entry == nullptr || entry->operation.kind != Operation::Kind::Convert || !isPlainName(name) ||
        name.starts_with('.') || runsOnServer(name)) {
        return false;
    }
    const std::string shown = codePageToUtf8(name);
    return std::find(entry->operation.names.begin(), entry->operation.names.end(), shown) !=
           entry->operation.names.end();
}

} // namespace
using namespace record;

std::optional<std::string> History::foreignFile(const HistoryEntry& entry) const {
    const WorkingFolder before(entryDir(entry.number) / BeforeFolder);
    std::vector<std::optional<FileStamp>> comingBack;
    for (const HistoryFile& f : entry.files) {
        if (f.existedBefore) {
            comingBack.push_back(before.stamp(f.name));
        }
    }
    for (const HistoryFile& f : entry.files) {
        if (!writtenByClipnest(f.name) && !convertedVideo(&entry, f.name) &&
            !movedBack(channel_, f.name, f.existedBefore, comingBack)) {
            return f.name;
        }
    }
    return std::nullopt;
}

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

bool History::finishUndo(const fs::path& record, std::string_view journal, const HistoryEntry* entry) {
    if (!followJournal(journal, entry)) {
        return false;
    }
    std::error_code ec;
    fs::remove_all(record, ec);
    return true;
}

bool History::followJournal(std::string_view journal, const HistoryEntry* entry) {
    std::istringstream lines{std::string(journal)};
    bool done = true;
    // What the journal put in place: a file outside what Clipnest writes is removed only when it is one of them.
    std::vector<std::optional<FileStamp>> put;
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with("put ")) {
            const std::size_t space = line.find(' ', 4);
            const std::string staged = line.substr(4, space == std::string::npos ? 0 : space - 4);
            const std::string name = space == std::string::npos ? "" : line.substr(space + 1);
            if (!staged.starts_with(StagedPrefix) || (!writtenByClipnest(name) && !convertedVideo(entry, name) &&
                                                      channel_.stamp(staged) && !movedBack(channel_, name, true, {}))) {
                continue;
            }
            // Put in place already when it is gone (the undo was cut off after it).
            if (channel_.stamp(staged) && !channel_.replace(staged, name)) {
                done = false;
            }
            put.push_back(channel_.stamp(name));
        } else if (line.starts_with("remove ")) {
            const std::string name = line.substr(7);
            if (writtenByClipnest(name) || convertedVideo(entry, name) || movedBack(channel_, name, false, put)) {
                done = channel_.remove(name) && done;
            }
        }
    }
    return done;
}

std::optional<History::NotPut> History::putTogether(const std::vector<std::pair<std::string, std::string>>& files) {
    std::optional<WorkingFolder> history = root(true);
    if (!history) {
        return NotPut{"the history folder cannot be made", true};
    }
    const std::string stem = std::string(StagedPrefix) + std::to_string(processId()) + "-put-";
    std::vector<std::string> staged;
    std::string journal;
    const auto giveUp = [&](std::string why) {
        for (const std::string& name : staged) {
            channel_.remove(name);
        }
        return NotPut{std::move(why), true};
    };
    for (const auto& [name, bytes] : files) {
        staged.push_back(stem + std::to_string(staged.size()));
        if (!channel_.stage(name, staged.back(), bytes)) {
            return giveUp(name + " could not be written whole beside itself");
        }
        journal += "put " + staged.back() + " " + name + "\n";
    }
    if (!history->write(TogetherJournalFile, journal)) {
        return giveUp("its journal cannot be written in " + root_.lexically_relative(channel_.dir()).string());
    }
    // From here the journal says what goes where; a cut-off run is finished by the next History.
    if (!followJournal(journal)) {
        return NotPut{"not every file could be renamed into place; the next run of Clipnest finishes it", false};
    }
    history->remove(TogetherJournalFile);
    return std::nullopt;
}

void History::recover() {
    const std::optional<WorkingFolder> history = root(false);
    if (!history) {
        return;
    }
    std::vector<std::string> pending;
    if (const std::optional<std::string> journal = history->read(TogetherJournalFile)) {
        if (followJournal(*journal)) {
            WorkingFolder(*history).remove(TogetherJournalFile);
        } else {
            pending.push_back(*journal);
        }
    }
    for (const int n : entryNumbers(root_)) {
        const WorkingFolder record(entryDir(n));
        const std::optional<std::string> journal = record.read(JournalFile);
        if (!journal) {
            continue;
        }
        const HistoryEntry entry = record::parseRecord(n, record.read(RecordFile).value_or(""));
        if (!finishUndo(record.dir(), *journal, entry.damage.empty() ? &entry : nullptr)) {
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

// What an undo puts in place once its journal is written: the copies staged beside their targets and the names put
// back and removed.
struct History::Staging {
    std::string journal;
    std::vector<std::string> staged, putBack, removed;
};

namespace {

// The operation as an undo's messages name it.
std::string undoLabel(const HistoryEntry& entry) {
    return entry.operation.label() + " (" + History::timeText(entry.time) + ")";
}

} // namespace

UndoResult History::damagedRecord(const HistoryEntry& entry, const std::string& why) const {
    return {false,
            "The history record " + std::to_string(entry.number) + " is damaged; nothing was undone (" +
                entryDir(entry.number).lexically_relative(channel_.dir()).string() + ": " + why +
                "). Remove that folder to undo the operations before it.",
            {}};
}

std::optional<UndoResult> History::undoRefusal(const HistoryEntry& entry, bool force) const {
    if (!entry.damage.empty()) {
        return damagedRecord(entry, entry.damage);
    }
    // A conversion whose original was removed since: nothing comes back, so nothing is done.
    if (entry.operation.kind == Operation::Kind::Convert) {
        const WorkingFolder before(entryDir(entry.number) / BeforeFolder);
        for (const HistoryFile& f : entry.files) {
            if (f.existedBefore && !before.exists(f.name)) {
                return UndoResult{false,
                                  "Cannot undo " + undoLabel(entry) + ": its original " + codePageToUtf8(f.name) +
                                      " was removed (clipnest originals --remove); nothing was changed. Remove " +
                                      entryDir(entry.number).lexically_relative(channel_.dir()).string() +
                                      " to undo the operations before it.",
                                  {}};
            }
        }
    }
    // Forced or not: an undo never writes or removes a file that is not Clipnest's to write.
    if (const std::optional<std::string> foreign = foreignFile(entry)) {
        return UndoResult{false,
                          "Did not undo " + undoLabel(entry) + ": its record names " + codePageToUtf8(*foreign) +
                              ", which is no file Clipnest writes; nothing was changed.",
                          {}};
    }
    std::vector<std::string> changed;
    for (const HistoryFile& f : entry.files) {
        if (!unchanged(f)) {
            changed.push_back(f.name);
        }
    }
    if (changed.empty() || force) {
        return std::nullopt;
    }
    return UndoResult{
        false,
        "Did not undo " + undoLabel(entry) + ": " + shownNames(changed) + (changed.size() == 1 ? " was" : " were") +
            " changed after it. Undo with --force to put the files back all the same and lose that change.",
        {}};
}

// Every file to put back is written whole beside its target; nothing of the folder's own files changes. The kept copy
// is never written to, so a second link to it stands in for a copy (a large video is not read); a copy where links
// are not to be had. A copy that is not a file of its own (a link) is refused.
Result<History::Staging, UndoResult> History::stageCopies(const HistoryEntry& entry) {
    const WorkingFolder before(entryDir(entry.number) / BeforeFolder);
    const std::string stem =
        std::string(StagedPrefix) + std::to_string(processId()) + "-" + std::to_string(entry.number) + "-";
    Staging staging;
    const auto refuse = [&](UndoResult result) {
        for (const std::string& name : staging.staged) {
            channel_.remove(name);
        }
        return result;
    };
    for (const HistoryFile& f : entry.files) {
        if (!f.existedBefore) {
            staging.journal += "remove " + f.name + "\n";
            staging.removed.push_back(f.name);
            continue;
        }
        const std::string name = stem + std::to_string(staging.staged.size());
        if (!before.exists(f.name)) {
            return refuse(damagedRecord(entry, "the copy of " + codePageToUtf8(f.name) + " cannot be read"));
        }
        if (!channel_.linkFrom(before.pathOf(f.name), name)) {
            const std::optional<std::string> bytes = before.read(f.name);
            if (!bytes) {
                return refuse(damagedRecord(entry, "the copy of " + codePageToUtf8(f.name) + " cannot be read"));
            }
            if (!channel_.write(name, *bytes)) {
                return refuse({false,
                               "Could not put back " + codePageToUtf8(f.name) + " for " + undoLabel(entry) +
                                   "; nothing was undone.",
                               {}});
            }
        }
        staging.staged.push_back(name);
        staging.journal += "put " + name + " " + f.name + "\n";
        staging.putBack.push_back(f.name);
    }
    if (!WorkingFolder(entryDir(entry.number)).write(JournalFile, staging.journal)) {
        return refuse(
            {false, "Could not undo " + undoLabel(entry) + ": its record cannot be written; nothing was undone.", {}});
    }
    return staging;
}

UndoResult History::undoLast(bool force) {
    end();
    recover();
    // A write of an undo cut off before it staged its file leaves a temporary file of its own: it goes now.
    channel_.removeStaleTemporaries();
    const std::vector<HistoryEntry> list = entries();
    if (list.empty()) {
        return {false, "There is nothing to undo.", {}};
    }
    const HistoryEntry& entry = list.front();
    if (std::optional<UndoResult> refusal = undoRefusal(entry, force)) {
        return *refusal;
    }
    // The copies older records keep as deltas against this record's copies are made whole while these are here.
    wholeOlderCopies(entry);
    const Result<Staging, UndoResult> staging = stageCopies(entry);
    if (!staging) {
        return staging.error();
    }
    // From here the journal says what the undo does; a cut-off run finishes it.
    const std::string what = undoLabel(entry);
    std::vector<std::string> done = staging->putBack;
    done.insert(done.end(), staging->removed.begin(), staging->removed.end());
    if (!finishUndo(entryDir(entry.number), staging->journal, &entry)) {
        return {false, "Could not put every file of " + what + " in place; the next run of Clipnest finishes the undo.",
                done};
    }
    // The original a conversion kept is back in the folder: it is no longer kept apart.
    if (entry.operation.kind == Operation::Kind::Convert) {
        for (const std::string& name : staging->putBack) {
            forgetOriginal(channel_, name);
        }
    }
    std::string message = "Undid " + what + ":";
    if (!staging->putBack.empty()) {
        message += " " + shownNames(staging->putBack) + " put back";
    }
    if (!staging->removed.empty()) {
        message += std::string(staging->putBack.empty() ? " " : "; ") + shownNames(staging->removed) + " removed";
    }
    return {true, message + ".", done};
}

} // namespace clipnest
