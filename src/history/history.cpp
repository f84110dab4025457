#include "history/history.h"

#include "history/history_record.h"
#include "platform/clock.h"
#include "platform/files.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <sstream>

namespace clipnest {

namespace fs = std::filesystem;
using namespace record;

namespace record {

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
        } else if (key == "gone" && !entry.files.empty()) {
            entry.files.back().goneAfter = true;
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

} // namespace record

namespace record {

static std::optional<int> entryNumber(const fs::path& dir) {
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
        // A link in the history is no record of ours, wherever it points: it is listed, to be said damaged.
        if (const auto n = entryNumber(it->path()); n && (it->is_symlink(ec) || it->is_directory(ec))) {
            numbers.push_back(*n);
        }
    }
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

namespace {

// Two files compared a block at a time, so a large file takes little memory.
class Comparison {
public:
    Comparison(const OpenFile& a, const OpenFile& b) : a_(a), b_(b), blockA_(Block, '\0'), blockB_(Block, '\0') {}

    bool ok() const { return ok_; }

    // How many bytes the two agree on from their start, at most `limit`. Whole equal blocks are told by memcmp, which
    // compares many bytes at a time; only the block with the difference is looked through a byte at a time.
    std::size_t commonFromStart(std::size_t limit) {
        std::size_t common = 0;
        while (ok_ && common < limit) {
            const std::size_t size = std::min(Block, limit - common);
            if (!read(common, common, size)) {
                break;
            }
            if (std::memcmp(blockA_.data(), blockB_.data(), size) == 0) {
                common += size;
                continue;
            }
            const auto end = blockA_.begin() + static_cast<std::ptrdiff_t>(size);
            return common + static_cast<std::size_t>(std::mismatch(blockA_.begin(), end, blockB_.begin()).first -
                                                     blockA_.begin());
        }
        return common;
    }

    // How many bytes the two agree on backwards from `endA` and `endB`, at most `limit`.
    std::size_t commonBefore(std::size_t endA, std::size_t endB, std::size_t limit) {
        std::size_t common = 0;
        while (ok_ && common < limit) {
            const std::size_t size = std::min(Block, limit - common);
            if (!read(endA - common - size, endB - common - size, size)) {
                break;
            }
            if (std::memcmp(blockA_.data(), blockB_.data(), size) == 0) {
                common += size;
                continue;
            }
            const auto from = blockA_.rbegin() + static_cast<std::ptrdiff_t>(Block - size);
            const auto diff =
                std::mismatch(from, blockA_.rend(), blockB_.rbegin() + static_cast<std::ptrdiff_t>(Block - size));
            return common + static_cast<std::size_t>(diff.first - from);
        }
        return common;
    }

    // The gaps (up to Gap bytes each) just before `endA` and `endB` after which the two agree on a run of Probe bytes
    // before them; nothing when no such run is there.
    std::optional<std::pair<std::size_t, std::size_t>> smallGapBefore(std::size_t endA, std::size_t endB) {
        const std::size_t window = Gap + Probe;
        if (endA < window || endB < window || !read(endA - window, endB - window, window)) {
            return std::nullopt;
        }
        std::size_t best = 0;
        std::pair<std::size_t, std::size_t> gaps;
        for (std::size_t ga = 0; ga <= Gap; ++ga) {
            for (std::size_t gb = 0; gb <= Gap; ++gb) {
                std::size_t run = 0;
                while (run < Probe && blockA_[window - ga - run - 1] == blockB_[window - gb - run - 1]) {
                    ++run;
                }
                if (run > best) {
                    best = run;
                    gaps = {ga, gb};
                }
            }
        }
        return best == Probe ? std::optional(gaps) : std::nullopt;
    }

    static constexpr std::size_t Gap = 64, Probe = 256;

private:
    bool read(std::size_t atA, std::size_t atB, std::size_t size) {
        ok_ = ok_ && a_.readAt(atA, blockA_.data(), size) && b_.readAt(atB, blockB_.data(), size);
        return ok_;
    }

    static constexpr std::size_t Block = std::size_t{1} << 20;
    const OpenFile& a_;
    const OpenFile& b_;
    std::string blockA_, blockB_;
    bool ok_ = true;
};

} // namespace

std::optional<std::string> deltaOf(const fs::path& older, const fs::path& newer) {
    const std::unique_ptr<OpenFile> a = OpenFile::open(older), b = a ? OpenFile::open(newer) : nullptr;
    if (!a || !b) {
        return std::nullopt;
    }
    const std::size_t sizeA = a->size(), sizeB = b->size(), shorter = std::min(sizeA, sizeB);
    Comparison compare(*a, *b);
    // How far the two agree from their start, then from their end (never into what the start shares).
    const std::size_t prefix = compare.commonFromStart(shorter);
    const std::size_t suffix = compare.commonBefore(sizeA, sizeB, shorter - prefix);
    // An edit of a page usually leaves a second small change near its end (a line end added before the last line),
    // which would make the one region run from the edit to the end: a second region of up to Gap bytes on each side
    // just before the suffix, and the long run the two share before it, keep the delta small.
    const std::size_t middleA = sizeA - prefix - suffix, middleB = sizeB - prefix - suffix;
    std::size_t gapA = middleA, gapB = middleB, common = 0;
    if (middleA > 16 * Comparison::Probe && middleB > 16 * Comparison::Probe) {
        if (const auto gaps = compare.smallGapBefore(sizeA - suffix, sizeB - suffix)) {
            std::tie(gapA, gapB) = *gaps;
            common = compare.commonBefore(sizeA - suffix - gapA, sizeB - suffix - gapB,
                                          std::min(middleA - gapA, middleB - gapB));
        }
    }
    // older = newer's prefix, X, `common` bytes of newer after its own X, Y, newer's suffix.
    const std::size_t xA = middleA - gapA - common, xB = middleB - gapB - common;
    std::string bytes(xA + gapA, '\0');
    if (!compare.ok() || !a->readAt(prefix, bytes.data(), xA) ||
        !a->readAt(sizeA - suffix - gapA, bytes.data() + xA, gapA)) {
        return std::nullopt;
    }
    std::string delta = "delta " + std::to_string(prefix) + " " + std::to_string(suffix) + " " + std::to_string(sizeB);
    if (common > 0) {
        delta += " " + std::to_string(xA) + " " + std::to_string(xB) + " " + std::to_string(common);
    }
    return delta + "\n" + bytes;
}

namespace {

// A delta's header, checked against the size of the newer copy it was made against, and where its bytes are.
struct DeltaHead {
    std::size_t prefix = 0, suffix = 0, xA = 0, xB = 0, common = 0;
    std::string_view bytes;
};

std::optional<DeltaHead> parseDelta(std::string_view delta, std::uint64_t newerSize) {
    const std::size_t lf = delta.find('\n');
    if (lf == std::string_view::npos) {
        return std::nullopt;
    }
    std::istringstream head{std::string(delta.substr(0, lf))};
    std::string word;
    DeltaHead d;
    std::uint64_t size = 0;
    // The newer copy is never written to once kept; its size tells it from any other.
    if (!(head >> word >> d.prefix >> d.suffix >> size) || word != "delta" || size != newerSize || d.prefix > size ||
        d.suffix > size - d.prefix) {
        return std::nullopt;
    }
    d.bytes = delta.substr(lf + 1);
    // A second region: X bytes of the older, then `common` bytes of the newer after its own X bytes, then the rest.
    d.xA = d.bytes.size();
    if (std::size_t x = 0; head >> x) {
        d.xA = x;
        if (!(head >> d.xB >> d.common) || d.xA > d.bytes.size() || d.xB > size - d.prefix - d.suffix ||
            d.common > size - d.prefix - d.suffix - d.xB) {
            return std::nullopt;
        }
    }
    return d;
}

} // namespace

bool writeFromDelta(std::string_view delta, const fs::path& newer, WorkingFolder& folder, std::string_view name) {
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(newer, ec);
    const std::optional<DeltaHead> d = ec ? std::nullopt : parseDelta(delta, size);
    if (!d) {
        return false;
    }
    using Piece = WorkingFolder::Piece;
    return folder.writePieces(name, {Piece{{}, &newer, 0, d->prefix}, Piece{d->bytes.substr(0, d->xA)},
                                     Piece{{}, &newer, d->prefix + d->xB, d->common}, Piece{d->bytes.substr(d->xA)},
                                     Piece{{}, &newer, size - d->suffix, d->suffix}});
}

} // namespace record

std::string Operation::label() const {
    static constexpr std::array<const char*, 10> Words = {"entry",   "delete",   "insert", "title",   "rename",
                                                          "posters", "captions", "move",   "convert", ""};
    std::string text = Words[static_cast<std::size_t>(kind)];
    for (std::size_t i = 0; i < names.size(); ++i) {
        const bool above = (kind == Kind::Insert || kind == Kind::Move) && i == 1;
        text += (text.empty() ? "" : above ? " above " : " ") + names[i];
    }
    if (kind == Kind::Move && names.size() == 1) {
        text += " to the end";
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
        open_->time = wallTimeNow().seconds;
        if (!fs::create_directories(entryDir(open_->number) / BeforeFolder, ec) && ec) {
            return false;
        }
        created_ = true;
    }
    if (channel_.stamp(name)) {
        // Every write replaces the file by a new one, so a second link to the present file keeps its bytes as they
        // are now without copying them; where links are not to be had, a copy does the same.
        const fs::path from = channel_.pathOf(name);
        const fs::path to = WorkingFolder(entryDir(open_->number) / BeforeFolder).pathOf(name);
        if (!hardLink(from, to)) {
            const std::optional<std::string> bytes = channel_.read(name);
            if (!bytes || !WorkingFolder(to.parent_path()).write(name, *bytes)) {
                return false;
            }
        }
    }
    kept_.emplace_back(name);
    return true;
}

void History::wrote(std::string_view name, const FileStamp& after, std::optional<std::uint64_t> afterHash) {
    const Written file{std::string(name), after, afterHash};
    wrote(std::span(&file, 1));
}

void History::wrote(std::span<const Written> files) {
    if (!open_) {
        return;
    }
    const bool first = open_->files.empty();
    std::vector<std::string_view> told;
    for (const Written& w : files) {
        if (std::find(kept_.begin(), kept_.end(), w.name) == kept_.end()) {
            continue;
        }
        auto same = [&w](const HistoryFile& f) { return f.name == w.name; };
        if (auto it = std::find_if(open_->files.begin(), open_->files.end(), same); it != open_->files.end()) {
            it->after = w.after;
            it->afterHash = w.afterHash;
            it->goneAfter = false;
        } else {
            std::error_code ec;
            const bool existed = fs::exists(WorkingFolder(entryDir(open_->number) / BeforeFolder).pathOf(w.name), ec);
            open_->files.push_back({w.name, existed, w.after, w.afterHash, false});
        }
        told.push_back(w.name);
    }
    if (!told.empty() && saveRecord()) {
        for (std::size_t i = 0; i < told.size(); ++i) {
            shrinkOlderCopy(told[i]);
            // Once the operation holds a file, the oldest beyond the limit go.
            if (i == 0 && first) {
                dropOldest();
            }
        }
    }
}

std::optional<int> History::olderCopy(std::string_view name, int newer) const {
    const std::vector<int> numbers = entryNumbers(root_);
    for (auto n = numbers.rbegin(); n != numbers.rend(); ++n) {
        if (*n >= newer) {
            continue;
        }
        const WorkingFolder record(entryDir(*n));
        if (record.isLink(BeforeFolder) || record.isLink(DeltaFolder)) {
            return std::nullopt;
        }
        if (WorkingFolder(entryDir(*n) / BeforeFolder).exists(name) ||
            WorkingFolder(entryDir(*n) / DeltaFolder).exists(name)) {
            return *n;
        }
    }
    return std::nullopt;
}

void History::shrinkOlderCopy(std::string_view name) {
    // The copy this operation kept is whole; the one kept before it of the same file now needs to keep only what
    // differs from it. A copy that shares its bytes with another name (a video renamed, the file as it stands) costs
    // nothing to keep whole, and a very large one is not read.
    constexpr std::uintmax_t Largest = std::uintmax_t{256} << 20;
    const WorkingFolder newer(entryDir(open_->number) / BeforeFolder);
    const std::optional<int> older = olderCopy(name, open_->number);
    if (!older || !newer.exists(name)) {
        return;
    }
    WorkingFolder before(entryDir(*older) / BeforeFolder);
    const std::optional<FileStamp> kept = before.stamp(name);
    if (!kept || linkCount(before.pathOf(name)) != 1u || kept->size > Largest || newer.stamp(name)->size > Largest) {
        return;
    }
    const std::optional<std::string> delta = deltaOf(before.pathOf(name), newer.pathOf(name));
    std::optional<WorkingFolder> differs = WorkingFolder(entryDir(*older)).subfolder(DeltaFolder, true);
    // The delta is whole on disk before the whole copy goes.
    if (delta && differs && differs->write(name, *delta)) {
        before.remove(name);
    }
}

void History::retitle(Operation operation) {
    if (open_) {
        open_->operation = std::move(operation);
        saveRecord();
    }
}

void History::removed(std::string_view name) {
    wrote(name, FileStamp{}, std::nullopt);
    if (open_ && !open_->files.empty()) {
        auto same = [name](const HistoryFile& f) { return f.name == name; };
        if (auto it = std::find_if(open_->files.begin(), open_->files.end(), same); it != open_->files.end()) {
            it->goneAfter = true;
            saveRecord();
        }
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
        if (f.goneAfter) {
            text += "gone\n";
        }
        if (f.afterHash) {
            char hex[17];
            std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(*f.afterHash));
            text += "sum " + std::string(hex) + "\n";
        }
    }
    return WorkingFolder(entryDir(entry.number)).write(RecordFile, text);
}

int History::kept() const {
    const std::optional<WorkingFolder> folder = root(false);
    const std::string text = folder ? folder->read(LimitFile).value_or("") : "";
    int count = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), count);
    return ec == std::errc() && (end == text.data() + text.size() || *end == '\n') && count >= 1 && count <= Largest
               ? count
               : Kept;
}

bool History::setKept(int count) {
    std::optional<WorkingFolder> folder = root(true);
    if (count < 1 || count > Largest || !folder || !folder->write(LimitFile, std::to_string(count) + "\n")) {
        return false;
    }
    dropOldest();
    return true;
}

void History::dropOldest() {
    const std::vector<int> numbers = entryNumbers(root_);
    const std::size_t keep = static_cast<std::size_t>(kept());
    for (std::size_t i = 0; i + keep < numbers.size(); ++i) {
        std::error_code ec;
        fs::remove_all(entryDir(numbers[i]), ec);
    }
}

std::vector<HistoryEntry> History::entries() const {
    std::vector<HistoryEntry> list;
    const std::vector<int> numbers = entryNumbers(root_);
    const WorkingFolder root(root_);
    for (auto n = numbers.rbegin(); n != numbers.rend(); ++n) {
        if (root.isLink(entryDir(*n).filename().string())) {
            list.push_back(HistoryEntry{*n, {}, 0, {}, "the record's folder is a symbolic link"});
            continue;
        }
        const WorkingFolder record(entryDir(*n));
        if (record.isLink(BeforeFolder)) {
            list.push_back(HistoryEntry{*n, {}, 0, {}, "its folder of kept copies is a symbolic link"});
            continue;
        }
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
    return localTimeText(time);
}

} // namespace clipnest
