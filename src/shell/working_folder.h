#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace clipnest {

// What tells one version of a file from another without reading it: a write by anyone changes at least one of them.
struct FileStamp {
    std::uintmax_t size = 0;
    std::int64_t modifiedNs = 0;
    std::uint64_t inode = 0;
    bool operator==(const FileStamp&) const = default;
};

// The folder the tool works in. Files are bytes; names are looked up exactly as given.
// Reads and writes are virtual so tests can make them fail.
class WorkingFolder {
public:
    explicit WorkingFolder(std::filesystem::path dir);
    virtual ~WorkingFolder() = default;

    const std::filesystem::path& dir() const { return dir_; }

    bool exists(std::string_view name) const;

    // The stamp of a regular file, or nothing when there is none by that name.
    std::optional<FileStamp> stamp(std::string_view name) const;

    // The whole content, or nothing when the file cannot be opened or read.
    virtual std::optional<std::string> read(std::string_view name) const;

    // Replaces the file with `bytes` in one step: the bytes go to a temporary file in the folder, are flushed to
    // disk and renamed over the target. On failure the old file is left as it was and false is returned.
    virtual bool write(std::string_view name, std::string_view bytes);

    // Removes the file; true when it is gone afterwards.
    virtual bool remove(std::string_view name);

    // True for a file whose mode allows no one to write it: a replacing write would ignore that, so it is refused.
    bool readOnly(std::string_view name) const;

    // Removes the temporary files of writes that never finished (the process was killed): ours by their name, left
    // by a process that is gone or older than a minute. Returns how many files and bytes went.
    struct Removed {
        std::size_t files = 0;
        std::uintmax_t bytes = 0;
    };
    Removed removeStaleTemporaries();

    // Every write goes through a temporary file named so, then the process id, a dash and six random characters:
    // short whatever the target's name, so a name near the file-name limit can still be written.
    static constexpr std::string_view TemporaryPrefix = ".clipnest-tmp-";

private:
    std::filesystem::path dir_;
};

} // namespace clipnest
