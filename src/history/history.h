#pragma once

#include "platform/result.h"
#include "platform/working_folder.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace clipnest {

// One file an operation wrote: whether it existed before, and what the operation left in it: the stamp (any later
// write, by anyone, changes it) and the hash of the bytes (which tell the same content put back by a later undo from
// a hand edit). Records written before hashes were kept have none.
struct HistoryFile {
    std::string name;
    bool existedBefore = false;
    FileStamp after;
    std::optional<std::uint64_t> afterHash;
    // The operation removed it (or renamed it away): there is nothing by that name after it.
    bool goneAfter = false;
};

// What an operation was: its kind and the names it worked on (UTF-8), kept with its record, so whatever tells of it
// (the status line, the history, undo's message) words it from these.
struct Operation {
    enum class Kind { Entry, Delete, Insert, Title, Rename, Posters, Captions, Move, Convert, Other };
    Kind kind = Kind::Other;
    // The video's file name, and for an insert (or a move above another) the anchor's; for a rename the old and the
    // new name; for a conversion the video's name before and after it.
    std::vector<std::string> names;

    // In the history's words: "entry roses.mp4", "insert a.mp4 above b.mp4", "title", "rename a.mp4 b.mp4",
    // "posters roses.mp4", "captions", "move a.mp4 above b.mp4", "move a.mp4 to the end", "convert a.mov a.mp4".
    std::string label() const;
    // The first name, or empty.
    const std::string& name() const;
};

// One kept operation.
struct HistoryEntry {
    int number = 0;
    Operation operation;
    std::int64_t time = 0; // seconds since the epoch
    std::vector<HistoryFile> files;
    // Why the record cannot be trusted (a name that leads out of the folder, a line that cannot be read); empty when
    // it is sound. A damaged record is never applied, not even in part.
    std::string damage;
};

struct UndoResult {
    bool undone = false;
    // One sentence for the user, as UTF-8.
    std::string message;
    // The files put back or removed.
    std::vector<std::string> files;
    explicit operator bool() const { return undone; }
};

// "a, b and c": file names in a sentence.
std::string joinNames(const std::vector<std::string>& names);

// The previous bytes of every file the last operations changed, kept in a hidden folder of the channel folder
// (.clipnest/history/NNNNNN/: the operation's record and a copy of each file as it was before), so they can be
// undone. Only the newest `Kept` operations stay. An undo is all or nothing: every file to put back is first written
// whole beside its target, then a journal in the record says what goes where, then the files are renamed into place;
// an undo cut off before its journal is rolled back, one cut off after it finished, by the next History on the folder.
class History {
public:
    static constexpr int Kept = 50;
    static constexpr int Largest = 10000;
    static constexpr std::string_view Folder = ".clipnest/history";

    explicit History(WorkingFolder& channel);
    ~History();
    History(const History&) = delete;
    History& operator=(const History&) = delete;

    // Starts an operation; it is kept from its first write on. The one before is closed (and dropped when it wrote
    // nothing).
    void begin(Operation operation);
    // Closes the open operation.
    void end();
    bool open() const { return open_.has_value(); }
    // The open operation (its label, and the files it has written so far), or null.
    const HistoryEntry* current() const { return open_ ? &*open_ : nullptr; }

    // Before `name` is written: keeps the file's present bytes, once per operation. False when they could not be
    // kept; the file must then not be written, or the operation could not be undone.
    bool keep(std::string_view name);
    // After `name` was written: the stamp and the hash of what now stands in it (no hash for a file renamed into
    // place, whose stamp tells).
    void wrote(std::string_view name, const FileStamp& after, std::optional<std::uint64_t> afterHash);
    // The same for several files put in place together: the record is saved once for all of them.
    struct Written {
        std::string name;
        FileStamp after;
        std::optional<std::uint64_t> afterHash;
    };
    void wrote(std::span<const Written> files);
    // Gives the open operation another label (for one record of several operations).
    void retitle(Operation operation);
    // After `name` was removed (or renamed away), its bytes kept by keep().
    void removed(std::string_view name);

    // Puts these files (name, bytes) in place together, as an undo does: each is written whole beside its target,
    // a journal names them all, then they are renamed over their targets; a run cut off after the journal is finished
    // by the next History on the folder, one cut off before it leaves every target as it was. Nothing, or why not
    // and whether the targets are still as they were.
    struct NotPut {
        std::string why;
        bool untouched;
    };
    std::optional<NotPut> putTogether(const std::vector<std::pair<std::string, std::string>>& files);

    // How many operations are kept: `Kept` unless the folder's setting says otherwise.
    int kept() const;
    // Keeps the last `count` operations (1 to Largest) from now on, and drops older ones now; false when the setting
    // could not be written.
    bool setKept(int count);

    // The kept operations, newest first.
    std::vector<HistoryEntry> entries() const;

    // Puts back the files of the newest kept operation and drops it. Refuses when one of them holds something else
    // than that operation left in it, unless `force`, and always when the record is damaged. Nothing changes unless
    // every file can be put back.
    UndoResult undoLast(bool force);

    // "2026-12-06 19:55:01", local time.
    static std::string timeText(std::int64_t time);

private:
    // The history folder, when it is a real folder inside the channel's hidden one.
    std::optional<WorkingFolder> root(bool create) const;
    std::filesystem::path entryDir(int number) const;
    bool saveRecord();
    bool writeRecord(const HistoryEntry& entry) const;
    void dropOldest();
    // The newest record older than `newer` that keeps a copy of `name`, whole or as a delta.
    std::optional<int> olderCopy(std::string_view name, int newer) const;
    // Turns the whole copy of `name` the record before the open one kept into a delta against the open one's copy.
    void shrinkOlderCopy(std::string_view name);
    // Makes the older copies that are deltas against the copies of record `number` whole again, before it goes.
    void wholeOlderCopies(const HistoryEntry& entry);
    // Whether the file holds what the operation left in it.
    bool unchanged(const HistoryFile& file) const;
    // Does what a journal says ("put STAGED NAME", "remove NAME"); false when a file could not be renamed into place
    // yet.
    // `entry`: the record being undone, whose converted videos the journal may also put back or remove.
    bool followJournal(std::string_view journal, const HistoryEntry* entry = nullptr);
    // Finishes an undo whose journal is written; false when a file could not be renamed into place yet.
    bool finishUndo(const std::filesystem::path& record, std::string_view journal, const HistoryEntry* entry);
    // Finishes cut-off undos and runs of files put together, and removes what one cut off before its journal left.
    void recover();
    // Why the newest record must not be undone: it is damaged, or (unless forced) a file changed after it.
    std::optional<UndoResult> undoRefusal(const HistoryEntry& entry, bool force) const;
    UndoResult damagedRecord(const HistoryEntry& entry, const std::string& why) const;
    // A file the record names that an undo must not touch (see writtenByClipnest), or nothing.
    std::optional<std::string> foreignFile(const HistoryEntry& entry) const;
    // Stages the record's copies beside their targets and writes its journal; or why not, with nothing staged left.
    struct Staging;
    Result<Staging, UndoResult> stageCopies(const HistoryEntry& entry);

    WorkingFolder& channel_;
    std::filesystem::path root_;
    std::optional<HistoryEntry> open_;
    bool created_ = false;
    // Names whose previous bytes are kept, written or not yet.
    std::vector<std::string> kept_;
};

} // namespace clipnest
