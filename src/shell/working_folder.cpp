#include "shell/working_folder.h"

#include <cerrno>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

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

} // namespace

WorkingFolder::WorkingFolder(std::filesystem::path dir) : dir_(std::move(dir)) {}

bool WorkingFolder::exists(std::string_view name) const {
    std::error_code ec;
    return std::filesystem::is_regular_file(dir_ / std::string(name), ec);
}

std::optional<FileStamp> WorkingFolder::stamp(std::string_view name) const {
    struct stat st {};
    if (::stat((dir_ / std::string(name)).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return std::nullopt;
    }
    return FileStamp{static_cast<std::uintmax_t>(st.st_size),
                     static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec,
                     static_cast<std::uint64_t>(st.st_ino)};
}

bool WorkingFolder::remove(std::string_view name) {
    const std::filesystem::path target = dir_ / std::string(name);
    if (::unlink(target.c_str()) != 0 && errno != ENOENT) {
        return false;
    }
    syncDir(dir_);
    return true;
}

bool WorkingFolder::readOnly(std::string_view name) const {
    struct stat st {};
    return ::stat((dir_ / std::string(name)).c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 0222) == 0;
}

WorkingFolder::Removed WorkingFolder::removeStaleTemporaries() {
    Removed removed;
    std::error_code ec;
    const auto now = std::filesystem::file_time_type::clock::now();
    for (std::filesystem::directory_iterator it(dir_, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
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
        if (!ours || !it->is_regular_file(fileEc)) {
            continue;
        }
        const auto age = now - it->last_write_time(fileEc);
        if (fileEc || (!ownerGone && age < std::chrono::minutes(1))) {
            continue;
        }
        const std::uintmax_t size = it->file_size(fileEc);
        if (::unlink(it->path().c_str()) == 0) {
            ++removed.files;
            removed.bytes += fileEc ? 0 : size;
        }
    }
    return removed;
}

std::optional<std::string> WorkingFolder::read(std::string_view name) const {
    // A folder in the file's place opens, but has no size to read.
    if (!stamp(name)) {
        return std::nullopt;
    }
    std::ifstream in(dir_ / std::string(name), std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    // One bulk read of the whole size: copying through stream iterators byte by byte made reading a large homepage
    // the slowest tick.
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    in.seekg(0, std::ios::beg);
    if (size < 0 || !in) {
        return std::nullopt;
    }
    // Room behind the content lets the edits of a large homepage (a new entry, a fresh sample) happen in place.
    constexpr std::size_t EditRoom = 64 * 1024;
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(size) + EditRoom);
    bytes.resize(static_cast<std::size_t>(size));
    in.read(bytes.data(), size);
    if (in.gcount() != size) {
        return std::nullopt;
    }
    return bytes;
}

bool WorkingFolder::write(std::string_view name, std::string_view bytes) {
    const std::filesystem::path target = dir_ / std::string(name);
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
    bool ok = ::stat(target.c_str(), &st) != 0 || ::fchmod(fd, st.st_mode & 07777) == 0;
    ok = ok && writeAll(fd, bytes) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok && std::rename(tmp.c_str(), target.c_str()) == 0) {
        syncDir(dir_);
        return true;
    }
    ::unlink(tmp.c_str());
    return false;
}

} // namespace clipnest
