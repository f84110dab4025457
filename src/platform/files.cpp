#include "platform/files.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace clipnest {

std::unique_ptr<OpenFile> OpenFile::open(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<OpenFile>(new OpenFile(fd, static_cast<std::uint64_t>(st.st_size)));
}

OpenFile::~OpenFile() {
    ::close(fd_);
}

bool OpenFile::readAt(std::uint64_t at, char* into, std::size_t size) const {
    for (std::size_t got = 0; got < size;) {
        const ssize_t n = ::pread(fd_, into + got, size - got, static_cast<off_t>(at + got));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        got += static_cast<std::size_t>(n);
    }
    return true;
}

bool hardLink(const std::filesystem::path& from, const std::filesystem::path& to) {
    return ::link(from.c_str(), to.c_str()) == 0;
}

std::optional<std::uint64_t> linkCount(const std::filesystem::path& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(st.st_nlink);
}

bool mayWriteIn(const std::filesystem::path& folder) {
    return ::access(folder.c_str(), W_OK | X_OK) == 0;
}

} // namespace clipnest
