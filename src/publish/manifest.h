#pragma once

#include "publish/digest.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
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

// What the channel put in one server folder, and what a publish there left half done.
struct Record {
    std::map<std::string, Published> files; // on the server as uploaded, by name
    // A part left on the server (partName) to go on from, by its file's name: the local file as it was when sent.
    std::map<std::string, Published> parts;
    // Files of `files` that are pages put in place of a renamed video's page, sending visitors to the new one.
    std::set<std::string> moved;
    // The rename pages (by hash) whose renames are done there.
    std::set<std::string> renamesDone;
    // A publish there began and did not end: parts of the channel's files may be lying on the server.
    bool unfinished = false;

    const Published* find(const std::string& name) const;
    void record(const std::string& name, const Published& p) { files[name] = p; }
    void forget(const std::string& name) {
        files.erase(name);
        moved.erase(name);
    }
};

// The channel's record of its uploads, .clipnest/published: for each server folder, its address ("to URL") and then
// a line for each file ("hash size time name"), each part ("part hash size time name"), each moved page ("moved
// name"), each rename page done ("renames hash") and "unfinished" when a publish did not end. What went to one
// folder says nothing of another.
class Manifest {
public:
    static constexpr const char* File = ".clipnest/published";

    // The channel's record; empty when there is none yet. A line that cannot be read is dropped (its file is then
    // uploaded again, which is safe).
    static Manifest load(const std::filesystem::path& channel);
    // Writes the whole record in one step, so a crash leaves the old record or the new one.
    bool save(const std::filesystem::path& channel) const;

    // The record of the folder at `target`, made empty when there is none; a record kept before addresses were is
    // taken to be the first address's asked for.
    Record& of(const std::string& target);
    const std::map<std::string, Record>& records() const { return records_; }

private:
    std::map<std::string, Record> records_; // by address; "" for a record kept before addresses were
};

} // namespace clipnest::publish
