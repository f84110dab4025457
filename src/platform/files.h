#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace clipnest {

// A regular file opened for reading, never through a symbolic link.
class OpenFile {
public:
    // Nothing when the path is a link, no regular file, or cannot be opened.
    static std::unique_ptr<OpenFile> open(const std::filesystem::path& path);
    ~OpenFile();
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;

    std::uint64_t size() const { return size_; }
    // Reads exactly `size` bytes from `at` into `into`; false when the file ends first or cannot be read.
    bool readAt(std::uint64_t at, char* into, std::size_t size) const;

private:
    OpenFile(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
    int fd_;
    std::uint64_t size_;
};

// A second name for the file `from` (a hard link); false when the system refuses it (another file system, or none
// that has links).
bool hardLink(const std::filesystem::path& from, const std::filesystem::path& to);
// How many names the file has, the path itself not followed when it is a link; nothing when it cannot be told.
std::optional<std::uint64_t> linkCount(const std::filesystem::path& path);
// Whether this user may create and remove files in the folder.
bool mayWriteIn(const std::filesystem::path& folder);

} // namespace clipnest
