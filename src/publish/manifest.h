#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace clipnest::publish {

// What was last uploaded of each file: its content hash, and the size and modification time it had when hashed, so a
// file whose size and time are unchanged need not be read again.
struct Published {
    std::string sha256; // lower-case hex
    std::uintmax_t size = 0;
    std::int64_t modifiedNs = 0;
    bool operator==(const Published&) const = default;
};

// The record of the last successful uploads, .clipnest/published: the address they went to ("to URL"), then one file
// a line, "hash size time name". What went to one server says nothing of another.
class Manifest {
public:
    static constexpr const char* File = ".clipnest/published";

    // The channel's record; empty when there is none yet. A line that cannot be read is dropped (its file is then
    // uploaded again, which is safe).
    static Manifest load(const std::filesystem::path& channel);
    // Writes the whole record in one step, so a crash leaves the old record or the new one.
    bool save(const std::filesystem::path& channel) const;

    // The address the recorded uploads went to; empty in a record kept before the address was (taken to be the
    // settings' own).
    const std::string& target() const { return target_; }
    // Starts the record afresh for uploads to another address.
    void retarget(std::string target) {
        if (target != target_ && !target_.empty()) {
            files_.clear();
        }
        target_ = std::move(target);
    }

    const Published* find(const std::string& name) const;
    void record(const std::string& name, const Published& p) { files_[name] = p; }
    void forget(const std::string& name) { files_.erase(name); }
    const std::map<std::string, Published>& files() const { return files_; }

private:
    std::string target_;
    std::map<std::string, Published> files_;
};

// The SHA-256 of a file in hex, or nothing when it cannot be read.
std::optional<std::string> sha256Of(const std::filesystem::path& file);

// The SHA-256 of `bytes`, in lower-case hex.
std::string sha256Hex(std::string_view bytes);

} // namespace clipnest::publish
