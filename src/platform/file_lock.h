#pragma once

#include <filesystem>
#include <memory>

namespace clipnest {

// An exclusive lock on a file, held until this object goes. The system releases it when the process ends however it
// ends, so a lock left by a process that was killed is no lock. Two locks on one file exclude each other within one
// process as well.
class FileLock {
public:
    // The lock, or null when another holds it or the file cannot be made (`busy` tells which).
    static std::unique_ptr<FileLock> tryLock(const std::filesystem::path& file, bool& busy);
    // As tryLock, trying again for up to `waitMs` milliseconds while another holds it.
    static std::unique_ptr<FileLock> lockWithin(const std::filesystem::path& file, int waitMs, bool& busy);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    explicit FileLock(int fd) : fd_(fd) {}
    int fd_ = -1;
};

} // namespace clipnest
