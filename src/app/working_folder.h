#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace clipnest {

// The folder the tool works in. Files are bytes; names are looked up exactly as given.
// Reads and writes are virtual so tests can make them fail.
class WorkingFolder {
public:
    explicit WorkingFolder(std::filesystem::path dir);
    virtual ~WorkingFolder() = default;

    const std::filesystem::path& dir() const { return dir_; }

    bool exists(std::string_view name) const;

    // The whole content, or nothing when the file cannot be opened or read.
    virtual std::optional<std::string> read(std::string_view name) const;

    // Replaces the file with `bytes` in one step: the bytes go to a temporary file in the folder, are flushed to
    // disk and renamed over the target. On failure the old file is left as it was and false is returned.
    virtual bool write(std::string_view name, std::string_view bytes);

private:
    std::filesystem::path dir_;
};

} // namespace clipnest
