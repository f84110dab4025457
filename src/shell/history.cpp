#include "shell/history.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <sstream>
#include <unistd.h>

namespace clipnest {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view RecordFile = "operation";
constexpr std::string_view BeforeFolder = "before";

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
        if (const auto n = entryNumber(it->path()); n && it->is_directory(ec)) {
            numbers.push_back(*n);
        }
    }
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

std::optional<HistoryEntry> parseRecord(int number, std::string_view text) {
    HistoryEntry entry;
    entry.number = number;
    std::istringstream lines{std::string(text)};
    bool hasTime = false;
    for (std::string line; std::getline(lines, line);) {
        const std::size_t space = line.find(' ');
        const std::string key = line.substr(0, space);
        const std::string rest = space == std::string::npos ? "" : line.substr(space + 1);
        if (key == "label") {
            entry.label = rest;
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
                return std::nullopt;
            }
            entry.files.push_back(std::move(file));
        }
    }
    if (!hasTime || entry.files.empty()) {
        return std::nullopt;
    }
    return entry;
}

} // namespace

std::string joinNames(const std::vector<std::string>& names) {
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i) {
        text += i == 0 ? "" : (i + 1 == names.size() ? " and " : ", ");
        text += names[i];
    }
    return text;
}

History::History(WorkingFolder& channel) : channel_(channel), root_(channel.dir() / Folder) {}

History::~History() {
    end();
}

fs::path History::entryDir(int number) const {
    char name[16];
    std::snprintf(name, sizeof name, "%06d", number);
    return root_ / name;
}

void History::begin(std::string label) {
    end();
    std::replace(label.begin(), label.end(), '\n', ' ');
    std::replace(label.begin(), label.end(), '\r', ' ');
    HistoryEntry entry;
    entry.label = std::move(label);
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

void History::wrote(std::string_view name, const FileStamp& after) {
    if (!open_ || std::find(kept_.begin(), kept_.end(), name) == kept_.end()) {
        return;
    }
    auto same = [name](const HistoryFile& f) { return f.name == name; };
    if (auto it = std::find_if(open_->files.begin(), open_->files.end(), same); it != open_->files.end()) {
        it->after = after;
    } else {
        std::error_code ec;
        const bool existed = fs::exists(entryDir(open_->number) / BeforeFolder / std::string(name), ec);
        open_->files.push_back({std::string(name), existed, after});
    }
    if (saveRecord() && open_->files.size() == 1) {
        dropOldest();
    }
}

bool History::saveRecord() {
    return writeRecord(*open_);
}

bool History::writeRecord(const HistoryEntry& entry) const {
    std::string text = "label " + entry.label + "\ntime " + std::to_string(entry.time) + "\n";
    for (const HistoryFile& f : entry.files) {
        text += "file " + std::string(f.existedBefore ? "present " : "absent ") + std::to_string(f.after.size) + " " +
                std::to_string(f.after.modifiedNs) + " " + std::to_string(f.after.inode) + " " + f.name + "\n";
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
        if (const auto text = WorkingFolder(entryDir(*n)).read(RecordFile)) {
            if (auto entry = parseRecord(*n, *text)) {
                list.push_back(std::move(*entry));
            }
        }
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

UndoResult History::undoLast(bool force) {
    end();
    std::vector<HistoryEntry> list = entries();
    if (list.empty()) {
        return {false, "There is nothing to undo.", {}};
    }
    HistoryEntry& entry = list.front();
    const std::string what = entry.label + " (" + timeText(entry.time) + ")";
    std::vector<std::string> changed;
    for (const HistoryFile& f : entry.files) {
        if (channel_.stamp(f.name) != f.after) {
            changed.push_back(f.name);
        }
    }
    if (!changed.empty() && !force) {
        return {false,
                "Did not undo " + what + ": " + joinNames(changed) + (changed.size() == 1 ? " was" : " were") +
                    " changed after it. Undo with --force to put the files back all the same and lose that change.",
                {}};
    }
    const WorkingFolder before(entryDir(entry.number) / BeforeFolder);
    std::vector<std::string> putBack, removed, done;
    for (auto f = entry.files.begin(); f != entry.files.end();) {
        bool ok = false;
        if (f->existedBefore) {
            const std::optional<std::string> bytes = before.read(f->name);
            ok = bytes && channel_.write(f->name, *bytes);
        } else {
            ok = channel_.remove(f->name);
        }
        if (!ok) {
            // What is done stays done; the record keeps what is left, so a second undo finishes it.
            entry.files.erase(entry.files.begin(), f);
            open_ = entry;
            created_ = true;
            saveRecord();
            open_.reset();
            created_ = false;
            return {false,
                    "Could not put back " + entry.files.front().name + " for " + what + "; it was left as it was." +
                        (done.empty() ? "" : " Already put back: " + joinNames(done) + "."),
                    done};
        }
        (f->existedBefore ? putBack : removed).push_back(f->name);
        // The file put back is what the operation before left in it: that one's record now knows it by this stamp.
        if (f->existedBefore) {
            const std::optional<FileStamp> now = channel_.stamp(f->name);
            for (auto older = list.begin() + 1; older != list.end() && now; ++older) {
                auto same = std::find_if(older->files.begin(), older->files.end(),
                                         [&](const HistoryFile& o) { return o.name == f->name; });
                if (same != older->files.end()) {
                    same->after = *now;
                    writeRecord(*older);
                    break;
                }
            }
        }
        done.push_back(f->name);
        ++f;
    }
    std::error_code ec;
    fs::remove_all(entryDir(entry.number), ec);
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
