#include "history/originals.h"

#include "history/history.h"
#include "history/history_record.h"
#include "text/document.h"

#include <set>

namespace clipnest {

namespace {

std::optional<WorkingFolder> originals(const WorkingFolder& channel, bool create) {
    const std::optional<WorkingFolder> hidden = channel.subfolder(".clipnest", create);
    return hidden ? hidden->subfolder("originals", create) : std::nullopt;
}

} // namespace

std::optional<std::string> keepOriginal(WorkingFolder& channel, std::string_view name) {
    std::optional<WorkingFolder> kept = originals(channel, true);
    if (!kept || !isPlainName(name) || !channel.exists(name)) {
        return std::nullopt;
    }
    const std::string whole(name);
    const std::size_t dot = whole.rfind('.');
    const std::string stem = dot == std::string::npos || dot == 0 ? whole : whole.substr(0, dot);
    const std::string extension = dot == std::string::npos || dot == 0 ? "" : whole.substr(dot);
    for (int n = 1; n < 1000; ++n) {
        const std::string stored = n == 1 ? whole : stem + "-" + std::to_string(n) + extension;
        if (kept->exists(stored) || kept->isLink(stored)) {
            continue;
        }
        const std::filesystem::path source = channel.pathOf(name);
        if (kept->linkFrom(source, stored)) {
            return stored;
        }
        // Another file system: the system copies the bytes.
        const std::optional<FileStamp> stamp = channel.stamp(name);
        if (stamp && kept->writePieces(stored, {WorkingFolder::Piece{{}, &source, 0, stamp->size}})) {
            return stored;
        }
        return std::nullopt;
    }
    return std::nullopt;
}

OriginalsUse originalsKept(const WorkingFolder& channel) {
    OriginalsUse use;
    if (const std::optional<WorkingFolder> kept = originals(channel, false)) {
        for (const std::string& name : kept->names()) {
            if (const std::optional<FileStamp> stamp = kept->stamp(name)) {
                ++use.files;
                use.bytes += stamp->size;
            }
        }
    }
    return use;
}

OriginalsUse removeOriginals(WorkingFolder& channel) {
    OriginalsUse removed;
    std::optional<WorkingFolder> kept = originals(channel, false);
    if (!kept) {
        return removed;
    }
    std::set<std::uint64_t> inodes;
    for (const std::string& name : kept->names()) {
        const std::optional<FileStamp> stamp = kept->stamp(name);
        if (stamp && kept->remove(name)) {
            inodes.insert(stamp->inode);
            ++removed.files;
            removed.bytes += stamp->size;
        }
    }
    // The conversions' undo records keep the same files by a second link: those go too, or nothing would be freed.
    const std::filesystem::path root = channel.dir() / History::Folder;
    for (const int number : record::entryNumbers(root)) {
        char dir[16];
        std::snprintf(dir, sizeof dir, "%06d", number);
        const WorkingFolder entry(root / dir);
        if (entry.isLink(record::BeforeFolder) ||
            entry.read(record::RecordFile).value_or("").find("\nkind convert\n") == std::string::npos) {
            continue;
        }
        WorkingFolder before(root / dir / record::BeforeFolder);
        for (const std::string& name : before.names()) {
            if (const std::optional<FileStamp> stamp = before.stamp(name); stamp && inodes.contains(stamp->inode)) {
                before.remove(name);
            }
        }
    }
    return removed;
}

void forgetOriginal(WorkingFolder& channel, std::string_view name) {
    std::optional<WorkingFolder> kept = originals(channel, false);
    const std::optional<FileStamp> now = channel.stamp(name);
    if (!kept || !now) {
        return;
    }
    for (const std::string& stored : kept->names()) {
        if (const std::optional<FileStamp> stamp = kept->stamp(stored); stamp && stamp->inode == now->inode) {
            kept->remove(stored);
        }
    }
}

} // namespace clipnest
