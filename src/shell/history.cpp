#include "shell/history.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <sstream>
#include <unistd.h>

namespace clipnest {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view RecordFile = "operation";
constexpr std::string_view BeforeFolder = "before";
// The journal of an undo under way: "put STAGED NAME" and "remove NAME" lines.
constexpr std::string_view JournalFile = "undoing";
// What an undo writes beside the files it puts back, before it renames them into place: then the process id.
constexpr std::string_view StagedPrefix = ".clipnest-undo-";
// The record's words for the kinds of operation, in the order of Operation::Kind.
constexpr std::array<std::string_view, 6> KindWords = {"entry", "delete", "insert", "title", "rename", "other"};

std::optional<int> entryNumber(const fs::path& dir) {
    const std::string name = dir.filename().string();
    int number = 0;
    const auto [end, ec] = std::from_chars(name.data(), name.data() + name.size(), number);
    if (ec != std::errc() || end != name.data() + name.size() || number <= 0) {
        return std::nullopt;
    }
    return number;
}

std::vector<int> entryNumbers(const fs::path& root) {
    std::vector<int> numbers;
    std::error_code ec;
    for (fs::directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
        // A link in the history is no record of ours, wherever it points.
        if (const auto n = entryNumber(it->path()); n && it->is_directory(ec) && !it->is_symlink(ec)) {
            numbers.push_back(*n);
        }
    }
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

// A record as written, or one marked damaged: a record that names a file outside the folder, or that cannot be read
// whole, is never applied.
HistoryEntry parseRecord(int number, std::string_view text) {
    HistoryEntry entry;
    entry.number = number;
    std::istringstream lines{std::string(text)};
    bool hasTime = false;
    bool hasKind = false;
    std::string label;
    for (std::string line; std::getline(lines, line) && entry.damage.empty();) {
        const std::size_t space = line.find(' ');
        const std::string key = line.substr(0, space);
        const std::string rest = space == std::string::npos ? "" : line.substr(space + 1);
        if (key == "label") {
            label = rest;
        } else if (key == "kind") {
            const auto kind = std::find(KindWords.begin(), KindWords.end(), rest);
            entry.operation.kind = kind == KindWords.end() ? Operation::Kind::Other
                                                           : static_cast<Operation::Kind>(kind - KindWords.begin());
            hasKind = true;
        } else if (key == "name") {
            entry.operation.names.push_back(rest);
        } else if (key == "time") {
            hasTime = std::from_chars(rest.data(), rest.data() + rest.size(), entry.time).ec == std::errc();
        } else if (key == "file") {
            // file present|absent SIZE MODIFIED INODE NAME
            std::istringstream words(rest);
            std::string state;
            HistoryFile file;
            words >> state >> file.after.size >> file.after.modifiedNs >> file.after.inode;
            std::string name;
            std::getline(words >> std::ws, name);
            file.name = name;
            file.existedBefore = state == "present";
            if ((state != "present" && state != "absent") || !words.eof() || name.empty()) {
                entry.damage = "a line cannot be read";
            } else if (!isPlainName(name)) {
                entry.damage = "a file name leads outside the channel folder";
            }
            entry.files.push_back(std::move(file));
        } else if (key == "sum" && !entry.files.empty()) {
            std::uint64_t hash = 0;
            if (std::from_chars(rest.data(), rest.data() + rest.size(), hash, 16).ec != std::errc()) {
                entry.damage = "a line cannot be read";
            }
            entry.files.back().afterHash = hash;
        }
    }
    if (entry.damage.empty() && (!hasTime || entry.files.empty())) {
        entry.damage = "it is incomplete";
    }
    // A record kept before operations had kinds says what it was only in its label, which is taken whole.
    if (!hasKind) {
        entry.operation = {Operation::Kind::Other, label.empty() ? std::vector<std::string>{} : std::vector{label}};
    }
    return entry;
}

} // namespace

std::string Operation::label() const {
    static constexpr std::array<const char*, 6> Words = {"entry", "delete", "insert", "title", "rename", ""};
    std::string text = Words[static_cast<std::size_t>(kind)];
    for (std::size_t i = 0; i < names.size(); ++i) {
        text += (text.empty() ? "" : (kind == Kind::Insert && i == 1) ? " above " : " ") + names[i];
    }
    return text;
}

const std::string& Operation::name() const {
    static const std::string none;
    return names.empty() ? none : names.front();
}

std::string joinNames(const std::vector<std::string>& names) {
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i) {
        text += i == 0 ? "" : (i + 1 == names.size() ? " and " : ", ");
        text += names[i];
    }
    return text;
}

History::History(WorkingFolder& channel) : channel_(channel), root_(channel.dir() / Folder) {
    recover();
}

std::optional<WorkingFolder> History::root(bool create) const {
    const std::optional<WorkingFolder> hidden = channel_.subfolder(".clipnest", create);
    return hidden ? hidden->subfolder("history", create) : std::nullopt;
}

History::~History() {
    end();
}

fs::path History::entryDir(int number) const {
    char name[16];
    std::snprintf(name, sizeof name, "%06d", number);
    return root_ / name;
}

void History::begin(Operation operation) {
    end();
    // One line each in the record.
    for (std::string& name : operation.names) {
        std::replace(name.begin(), name.end(), '\n', ' ');
        std::replace(name.begin(), name.end(), '\r', ' ');
    }
    HistoryEntry entry;
    entry.operation = std::move(operation);
    open_ = std::move(entry);
}

void History::end() {
    if (open_ && created_ && open_->files.empty()) {
        std::error_code ec;
        fs::remove_all(entryDir(open_->number), ec);
    }
    open_.reset();
    created_ = false;
    kept_.clear();
}

bool History::keep(std::string_view name) {
    if (!open_) {
        return true;
    }
    if (std::find(kept_.begin(), kept_.end(), name) != kept_.end()) {
        return true;
    }
    std::error_code ec;
    if (!created_) {
        // The history stays inside the channel folder: a link in place of its folders is not followed.
        if (!root(true)) {
            return false;
        }
        const std::vector<int> numbers = entryNumbers(root_);
        open_->number = numbers.empty() ? 1 : numbers.back() + 1;
        open_->time =
            std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
                .count();
        if (!fs::create_directories(entryDir(open_->number) / BeforeFolder, ec) && ec) {
            return false;
        }
        created_ = true;
    }
    if (channel_.stamp(name)) {
        // Every write replaces the file by a new one, so a second link to the present file keeps its bytes as they
        // are now without copying them; where links are not to be had, a copy does the same.
        const fs::path from = channel_.dir() / std::string(name);
        const fs::path to = entryDir(open_->number) / BeforeFolder / std::string(name);
        if (::link(from.c_str(), to.c_str()) != 0) {
            const std::optional<std::string> bytes = channel_.read(name);
            if (!bytes || !WorkingFolder(to.parent_path()).write(name, *bytes)) {
                return false;
            }
        }
    }
    kept_.emplace_back(name);
    return true;
}

void History::wrote(std::string_view name, const FileStamp& after, std::uint64_t afterHash) {
    if (!open_ || std::find(kept_.begin(), kept_.end(), name) == kept_.end()) {
        return;
    }
    auto same = [name](const HistoryFile& f) { return f.name == name; };
    if (auto it = std::find_if(open_->files.begin(), open_->files.end(), same); it != open_->files.end()) {
        it->after = after;
        it->afterHash = afterHash;
    } else {
        std::error_code ec;
        const bool existed = fs::exists(entryDir(open_->number) / BeforeFolder / std::string(name), ec);
        open_->files.push_back({std::string(name), existed, after, afterHash});
    }
    if (saveRecord() && open_->files.size() == 1) {
        dropOldest();
    }
}

bool History::saveRecord() {
    return writeRecord(*open_);
}

bool History::writeRecord(const HistoryEntry& entry) const {
    std::string text = "label " + entry.operation.label() + "\nkind " +
                       std::string(KindWords[static_cast<std::size_t>(entry.operation.kind)]) + "\n";
    for (const std::string& name : entry.operation.names) {
        text += "name " + name + "\n";
    }
    text += "time " + std::to_string(entry.time) + "\n";
    for (const HistoryFile& f : entry.files) {
        text += "file " + std::string(f.existedBefore ? "present " : "absent ") + std::to_string(f.after.size) + " " +
                std::to_string(f.after.modifiedNs) + " " + std::to_string(f.after.inode) + " " + f.name + "\n";
        if (f.afterHash) {
            char hex[17];
            std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(*f.afterHash));
            text += "sum " + std::string(hex) + "\n";
        }
    }
    return WorkingFolder(entryDir(entry.number)).write(RecordFile, text);
}

void History::dropOldest() {
    const std::vector<int> numbers = entryNumbers(root_);
    for (std::size_t i = 0; i + Kept < numbers.size(); ++i) {
        std::error_code ec;
        fs::remove_all(entryDir(numbers[i]), ec);
    }
}

std::vector<HistoryEntry> History::entries() const {
    std::vector<HistoryEntry> list;
    const std::vector<int> numbers = entryNumbers(root_);
    for (auto n = numbers.rbegin(); n != numbers.rend(); ++n) {
        const WorkingFolder record(entryDir(*n));
        // An operation cut off before its first write left a folder without a record: there is nothing to undo.
        if (!record.exists(RecordFile) && !record.isLink(RecordFile)) {
            continue;
        }
        const std::optional<std::string> text = record.read(RecordFile);
        list.push_back(text ? parseRecord(*n, *text) : HistoryEntry{*n, {}, 0, {}, "its record cannot be read"});
    }
    return list;
}

std::string History::timeText(std::int64_t time) {
    const std::time_t t = static_cast<std::time_t>(time);
    std::tm local{};
    ::localtime_r(&t, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

bool History::unchanged(const HistoryFile& file) const {
    const std::optional<FileStamp> now = channel_.stamp(file.name);
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
        if (!referenced && pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) {
            channel_.remove(name);
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
                "Did not undo " + what + ": " + joinNames(changed) + (changed.size() == 1 ? " was" : " were") +
                    " changed after it. Undo with --force to put the files back all the same and lose that change.",
                {}};
    }

    // Every file to put back is written whole beside its target first; until the journal is written, nothing of the
    // folder's own files has changed.
    const WorkingFolder before(record / BeforeFolder);
    const std::string stagedStem = std::string(StagedPrefix) + std::to_string(static_cast<long>(::getpid())) + "-" +
                                   std::to_string(entry.number) + "-";
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
        const std::optional<std::string> bytes = before.read(f.name);
        if (!bytes) {
            unstage();
            return damaged("the copy of " + f.name + " cannot be read");
        }
        const std::string name = stagedStem + std::to_string(staged.size());
        if (!channel_.write(name, *bytes)) {
            unstage();
            return {false, "Could not put back " + f.name + " for " + what + "; nothing was undone.", {}};
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
        message += " " + joinNames(putBack) + " put back";
    }
    if (!removed.empty()) {
        message += std::string(putBack.empty() ? " " : "; ") + joinNames(removed) + " removed";
    }
    return {true, message + ".", done};
}

} // namespace clipnest
