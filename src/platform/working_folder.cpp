#include "platform/working_folder.h"

#include "platform/code_page.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace clipnest {

namespace {

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Appends `length` bytes of `source` from `offset` to `fd`, copied by the kernel where it can (no pages of this
// process touched), else through a buffer. False when the file is shorter or cannot be read.
bool copyRange(const std::filesystem::path& source, std::uint64_t offset, std::uint64_t length, int fd) {
    const int in = ::open(source.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (in < 0) {
        return false;
    }
    auto from = static_cast<off_t>(offset);
    bool ok = true, kernel = true;
    std::vector<char> buffer;
    while (ok && length > 0) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(length, std::uint64_t{1} << 30));
        ssize_t n = -1;
        if (kernel) {
            n = ::copy_file_range(in, &from, fd, nullptr, want, 0);
            if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
                kernel = false;
                continue;
            }
        } else {
            buffer.resize(std::size_t{1} << 20);
            n = ::pread(in, buffer.data(), std::min(want, buffer.size()), from);
            if (n > 0 && writeAll(fd, std::string_view(buffer.data(), static_cast<std::size_t>(n)))) {
                from += n;
            } else if (n > 0) {
                n = -1;
            }
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        ok = n > 0;
        length -= ok ? static_cast<std::uint64_t>(n) : 0;
    }
    ::close(in);
    return ok;
}

// Six random letters and digits, as mkstemp would choose them.
std::string randomSuffix() {
    static constexpr std::string_view Letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937 random{std::random_device{}()};
    std::string suffix(6, ' ');
    for (char& c : suffix) {
        c = Letters[random() % Letters.size()];
    }
    return suffix;
}

// A rename or removal is on disk only once the folder itself is.
void syncDir(const std::filesystem::path& dir) {
    const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
}

FileStamp stampOf(const struct stat& st) {
    return FileStamp{static_cast<std::uintmax_t>(st.st_size),
                     static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec,
                     static_cast<std::uint64_t>(st.st_ino)};
}

} // namespace

bool isPlainName(std::string_view name) {
    return !name.empty() && name != "." && name.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos &&
           name.find("..") == std::string_view::npos;
}

std::FILE* openFileNoFollow(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st {};
    if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
        ::close(fd);
        errno = EINVAL;
        return nullptr;
    }
    std::FILE* file = fd >= 0 ? ::fdopen(fd, "rb") : nullptr;
    if (fd >= 0 && !file) {
        ::close(fd);
    }
    return file;
}

std::uint64_t contentHash(std::string_view bytes) {
    // Four lanes of multiply-and-rotate over 8-byte words, mixed at the end: fast enough to hash a large homepage
    // beside its write.
    constexpr std::uint64_t Prime1 = 0x9E3779B185EBCA87ULL, Prime2 = 0xC2B2AE3D27D4EB4FULL;
    const auto round = [](std::uint64_t acc, std::uint64_t word) {
        acc += word * Prime2;
        acc = (acc << 31) | (acc >> 33);
        return acc * Prime1;
    };
    const auto word = [&bytes](std::size_t at) {
        std::uint64_t w = 0;
        std::memcpy(&w, bytes.data() + at, sizeof w);
        return w;
    };
    std::uint64_t lanes[4] = {Prime1 + Prime2, Prime2, 0, 0 - Prime1};
    std::size_t at = 0;
    for (; at + 32 <= bytes.size(); at += 32) {
        for (std::size_t lane = 0; lane < 4; ++lane) {
            lanes[lane] = round(lanes[lane], word(at + 8 * lane));
        }
    }
    std::uint64_t h = bytes.size();
    for (const std::uint64_t lane : lanes) {
        h = round(h ^ round(0, lane), 0x27D4EB2F165667C5ULL);
    }
    for (; at + 8 <= bytes.size(); at += 8) {
        h = round(h, word(at));
    }
    for (; at < bytes.size(); ++at) {
        h = round(h, static_cast<unsigned char>(bytes[at]));
    }
    h ^= h >> 33;
    h *= Prime2;
    h ^= h >> 29;
    return h;
}

WorkingFolder::WorkingFolder(std::filesystem::path dir) : dir_(std::move(dir)) {}

std::filesystem::path WorkingFolder::pathOf(std::string_view name) const {
    return dir_ / codePageToUtf8(name);
}

std::optional<std::string> WorkingFolder::nameOf(const std::filesystem::path& onDisk) {
    return toCodePage(onDisk.filename().string());
}

const WorkingFolder::Held* WorkingFolder::held(std::string_view name) const {
    const auto found = heldAt_.find(name);
    return found == heldAt_.end() ? nullptr : &held_[found->second];
}

std::vector<std::pair<std::string, std::string>> WorkingFolder::takeHeld() {
    std::vector<std::pair<std::string, std::string>> files;
    for (Held& h : held_) {
        files.emplace_back(std::move(h.name), std::move(h.bytes));
    }
    held_.clear();
    heldAt_.clear();
    listing_.reset();
    holding_ = false;
    return files;
}

bool WorkingFolder::exists(std::string_view name) const {
    return stamp(name).has_value();
}

bool WorkingFolder::isLink(std::string_view name) const {
    struct stat st {};
    return !held(name) && isPlainName(name) && ::lstat(pathOf(name).c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

std::optional<FileStamp> WorkingFolder::stamp(std::string_view name) const {
    if (const Held* h = held(name)) {
        return h->stamp;
    }
    struct stat st {};
    if (!isPlainName(name) || ::lstat(pathOf(name).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return std::nullopt;
    }
    return stampOf(st);
}

bool WorkingFolder::remove(std::string_view name) {
    if (!isPlainName(name) || held(name)) {
        return false;
    }
    const std::filesystem::path target = pathOf(name);
    if (::unlink(target.c_str()) != 0 && errno != ENOENT) {
        return false;
    }
    if (listing_) {
        listing_->erase(std::string(name));
    }
    syncDir(dir_);
    return true;
}

bool WorkingFolder::linkFrom(const std::filesystem::path& source, std::string_view name) {
    if (!isPlainName(name) || held(name) || ::link(source.c_str(), pathOf(name).c_str()) != 0) {
        return false;
    }
    if (listing_) {
        listing_->emplace(name);
    }
    return true;
}

bool WorkingFolder::replace(std::string_view from, std::string_view to) {
    if (holding_) {
        // A file made on disk (a poster) renamed into the folder is held as a write of its bytes, with the rest.
        const std::optional<std::string> bytes = held(from) ? std::nullopt : read(from);
        return bytes && isPlainName(to) && write(to, *bytes) && remove(from);
    }
    if (!isPlainName(from) || !isPlainName(to) || std::rename(pathOf(from).c_str(), pathOf(to).c_str()) != 0) {
        return false;
    }
    syncDir(dir_);
    return true;
}

std::optional<WorkingFolder> WorkingFolder::subfolder(std::string_view name, bool create) const {
    if (!isPlainName(name)) {
        return std::nullopt;
    }
    const std::filesystem::path path = pathOf(name);
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 && create && errno == ENOENT) {
        ::mkdir(path.c_str(), 0777);
    }
    if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        return std::nullopt;
    }
    return WorkingFolder(path);
}

bool WorkingFolder::readOnly(std::string_view name) const {
    struct stat st {};
    return !held(name) && isPlainName(name) && ::lstat(pathOf(name).c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           (st.st_mode & 0222) == 0;
}

WorkingFolder::Removed WorkingFolder::removeStaleTemporaries() {
    Removed removed;
    std::error_code ec;
    const auto now = std::filesystem::file_time_type::clock::now();
    for (const std::string& name : namesOnDisk({}, true)) {
        const std::filesystem::directory_entry entry(dir_ / name, ec);
        bool ours = false;
        bool ownerGone = false;
        if (name.starts_with(TemporaryPrefix)) {
            // .clipnest-tmp-PID-XXXXXX
            const std::string rest = name.substr(TemporaryPrefix.size());
            const std::size_t dash = rest.find('-');
            long pid = 0;
            const auto [p, err] = std::from_chars(rest.data(), rest.data() + dash, pid);
            ours = dash != std::string::npos && err == std::errc() && p == rest.data() + dash && pid > 0 &&
                   rest.size() - dash == 7;
            ownerGone = ours && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
        } else {
            // Written before the temporary names held the process id: .NAME.tmp-XXXXXX
            ours = name.size() > 12 && name.front() == '.' && name.compare(name.size() - 11, 5, ".tmp-") == 0;
        }
        std::error_code fileEc;
        if (!ours || !entry.is_regular_file(fileEc)) {
            continue;
        }
        const auto age = now - entry.last_write_time(fileEc);
        if (fileEc || (!ownerGone && age < std::chrono::minutes(1))) {
            continue;
        }
        const std::uintmax_t size = entry.file_size(fileEc);
        if (::unlink(entry.path().c_str()) == 0) {
            ++removed.files;
            removed.bytes += fileEc ? 0 : size;
        }
    }
    return removed;
}

std::optional<std::string> WorkingFolder::read(std::string_view name) const {
    if (const Held* h = held(name)) {
        return h->bytes;
    }
    if (!isPlainName(name)) {
        return std::nullopt;
    }
    // A link is not opened at all; a folder in the file's place opens, but is no file to read.
    const int fd = ::open(pathOf(name).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    struct stat st {};
    std::optional<std::string> bytes;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        // One bulk read of the whole size. Room behind the content lets the edits of a large homepage (a new entry,
        // a fresh sample) happen in place.
        constexpr std::size_t EditRoom = 64 * 1024;
        const auto size = static_cast<std::size_t>(st.st_size);
        bytes.emplace();
        bytes->reserve(size + EditRoom);
        bytes->resize(size);
        std::size_t got = 0;
        while (got < size) {
            const ssize_t n = ::read(fd, bytes->data() + got, size - got);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                break;
            }
            got += static_cast<std::size_t>(n);
        }
        if (got != size) {
            bytes.reset();
        }
    }
    ::close(fd);
    return bytes;
}

std::optional<std::string> WorkingFolder::createTemporary() {
    const std::string prefix = std::string(TemporaryPrefix) + std::to_string(static_cast<long>(::getpid())) + "-";
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = prefix + randomSuffix();
        const int fd = ::open((dir_ / name).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            return name;
        }
        if (errno != EEXIST) {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

bool WorkingFolder::readInPieces(std::string_view name, PieceSink& sink) const {
    if (const Held* h = held(name)) {
        std::memcpy(sink.room(h->bytes.size()), h->bytes.data(), h->bytes.size());
        sink.filled(h->bytes.size());
        return true;
    }
    if (!isPlainName(name)) {
        return false;
    }
    const int fd = ::open(pathOf(name).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat st {};
    bool read = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    constexpr std::size_t Piece = std::size_t{1} << 20;
    while (read) {
        const ssize_t n = ::read(fd, sink.room(Piece), Piece);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            read = n == 0;
            break;
        }
        sink.filled(static_cast<std::size_t>(n));
    }
    ::close(fd);
    return read;
}

bool WorkingFolder::write(std::string_view name, std::string_view bytes) {
    if (!holding_) {
        return writePieces(name, {Piece{bytes}});
    }
    if (!isPlainName(name)) {
        return false;
    }
    // Each held write has a stamp of its own, as each write on disk has.
    const FileStamp stamp{bytes.size(), -++heldWrites_, 0};
    if (Held* again = const_cast<Held*>(held(name))) {
        const std::size_t keep = name == keepName_ ? std::min({keep_, again->bytes.size(), bytes.size()}) : 0;
        again->bytes.replace(keep, std::string::npos, bytes.substr(keep));
        again->stamp = stamp;
    } else if (isLink(name)) {
        return false;
    } else {
        heldAt_.emplace(name, held_.size());
        held_.push_back({std::string(name), std::string(bytes), stamp});
    }
    return true;
}

bool WorkingFolder::writeKeeping(std::string_view name, std::string_view bytes, std::size_t unchanged) {
    keepName_ = name;
    keep_ = unchanged;
    const bool written = write(name, bytes);
    keepName_.clear();
    keep_ = 0;
    return written;
}

bool WorkingFolder::stage(std::string_view name, std::string_view staged, std::string_view bytes) {
    return isPlainName(name) && writeFrom(staged, name, {Piece{bytes}});
}

bool WorkingFolder::writePieces(std::string_view name, const std::vector<Piece>& pieces) {
    return !held(name) && writeFrom(name, name, pieces);
}

bool WorkingFolder::writeFrom(std::string_view name, std::string_view modeOf, const std::vector<Piece>& pieces) {
    if (!isPlainName(name) || isLink(name)) {
        return false;
    }
    const std::filesystem::path target = pathOf(name);
    const std::string prefix = std::string(TemporaryPrefix) + std::to_string(static_cast<long>(::getpid())) + "-";
    std::string tmp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        tmp = (dir_ / (prefix + randomSuffix())).string();
        // Created as a plain create would create the file, so the process's umask applies without touching it.
        fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) {
            return false;
        }
    }
    if (fd < 0) {
        return false;
    }
    // A replaced file keeps its own mode.
    struct stat st {};
    bool ok = ::lstat(pathOf(modeOf).c_str(), &st) != 0 || ::fchmod(fd, st.st_mode & 07777) == 0;
    for (const Piece& piece : pieces) {
        ok = ok && (piece.file ? copyRange(*piece.file, piece.offset, piece.length, fd) : writeAll(fd, piece.bytes));
    }
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok && std::rename(tmp.c_str(), target.c_str()) == 0) {
        if (listing_) {
            listing_->emplace(name);
        }
        syncDir(dir_);
        return true;
    }
    ::unlink(tmp.c_str());
    return false;
}

} // namespace clipnest
