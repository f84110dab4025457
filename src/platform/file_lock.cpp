#include "platform/file_lock.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

namespace clipnest {

std::unique_ptr<FileLock> FileLock::tryLock(const std::filesystem::path& file, bool& busy) {
    busy = false;
    const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        return nullptr;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        busy = errno == EWOULDBLOCK;
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<FileLock>(new FileLock(fd));
}

std::unique_ptr<FileLock> FileLock::lockWithin(const std::filesystem::path& file, int waitMs, bool& busy) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    for (;;) {
        std::unique_ptr<FileLock> lock = tryLock(file, busy);
        if (lock || !busy || std::chrono::steady_clock::now() >= until) {
            return lock;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

FileLock::~FileLock() {
    ::close(fd_);
}

} // namespace clipnest
