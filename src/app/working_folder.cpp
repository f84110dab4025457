#include "working_folder.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
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

// A new file gets the mode a plain create would give it; a replaced file keeps its own.
mode_t modeFor(const std::filesystem::path& target) {
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0) {
        return st.st_mode & 07777;
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

} // namespace

WorkingFolder::WorkingFolder(std::filesystem::path dir) : dir_(std::move(dir)) {}

bool WorkingFolder::exists(std::string_view name) const {
    std::error_code ec;
    return std::filesystem::is_regular_file(dir_ / std::string(name), ec);
}

std::optional<std::string> WorkingFolder::read(std::string_view name) const {
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
    std::string tmp = (dir_ / ("." + std::string(name) + ".tmp-XXXXXX")).string();
    const int fd = ::mkstemp(tmp.data());
    if (fd < 0) {
        return false;
    }
    bool ok = ::fchmod(fd, modeFor(target)) == 0 && writeAll(fd, bytes) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok && std::rename(tmp.c_str(), target.c_str()) == 0) {
        const int dirFd = ::open(dir_.c_str(), O_RDONLY | O_DIRECTORY);
        if (dirFd >= 0) {
            ::fsync(dirFd);
            ::close(dirFd);
        }
        return true;
    }
    ::unlink(tmp.c_str());
    return false;
}

} // namespace clipnest
