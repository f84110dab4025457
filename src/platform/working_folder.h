#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace clipnest {

// What tells one version of a file from another without reading it: a write by anyone changes at least one of them.
struct FileStamp {
    std::uintmax_t size = 0;
    std::int64_t modifiedNs = 0;
    std::uint64_t inode = 0;
    bool operator==(const FileStamp&) const = default;
};

// Whether `name` names a file right in a folder: not empty, not "." and without "/", "\\", NUL or "..". Every name
// that comes from a record, a setting, the folder or a request passes this before a file is opened by it.
bool isPlainName(std::string_view name);

// A regular file opened for reading without following a link in its place, or null (errno tells why).
std::FILE* openFileNoFollow(const std::filesystem::path& path);

// A hash of bytes, to tell whether a file still holds what was written to it (not for secrets).
std::uint64_t contentHash(std::string_view bytes);

// What takes a file read a piece at a time: the room for the next piece, then how much of it was filled.
class PieceSink {
public:
    virtual ~PieceSink() = default;
    virtual char* room(std::size_t size) = 0;
    virtual void filled(std::size_t size) = 0;
};

// The folder the tool works in. Files are bytes; names are code-page bytes (see platform/code_page.h), looked up under
// their UTF-8 on disk, the system's file-name encoding, and only plain names (see isPlainName) name anything. A
// symbolic link is never followed: it is not a file to read or stamp, and nothing is written in its place. Reads and
// writes are virtual so tests can make them fail.
class WorkingFolder {
public:
    explicit WorkingFolder(std::filesystem::path dir);
    virtual ~WorkingFolder() = default;

    const std::filesystem::path& dir() const { return dir_; }
    // Where the file of that name stands on disk, for a program handed the path (ffmpeg); the folder's own methods
    // are how Clipnest itself opens, writes and renames it.
    std::filesystem::path pathOf(std::string_view name) const;
    // The name a file found in the folder goes by, or nothing when its name on disk is no UTF-8 of code-page
    // characters (such a file cannot be named by the pages).
    static std::optional<std::string> nameOf(const std::filesystem::path& onDisk);

    // A regular file of that name (not a link to one).
    bool exists(std::string_view name) const;
    // The names of the folder's regular files (no links, no folders, no temporary files of writes) that start with
    // `prefix`, sorted. The folder is read once, and while holding only once: the run's own writes, renames and
    // removals keep that listing up to date, so a run that looks for each page's caption files reads it once.
    std::vector<std::string> names(std::string_view prefix = {}) const;
    // Whether the name is a symbolic link, wherever it points.
    bool isLink(std::string_view name) const;

    // The stamp of a regular file, or nothing when there is none by that name.
    std::optional<FileStamp> stamp(std::string_view name) const;

    // The whole content, or nothing when the file cannot be opened or read (or is a link).
    virtual std::optional<std::string> read(std::string_view name) const;
    // The same a megabyte at a time, read straight into the room `sink` gives, for a look at the bytes that need not
    // keep them: a homepage of a hundred megabytes reads as fast as cat, in a megabyte of memory. False when the file
    // cannot be opened or read (`sink` may have had pieces before a read failed).
    bool readInPieces(std::string_view name, PieceSink& sink) const;

    // Replaces the file with `bytes` in one step: the bytes go to a temporary file in the folder, are flushed to
    // disk and renamed over the target. On failure (a link in its place included) the old file is left as it was and
    // false is returned.
    virtual bool write(std::string_view name, std::string_view bytes);

    // A piece of what `writePieces` writes: `bytes`, or when `file` is set, `length` bytes of that file from `offset`.
    struct Piece {
        std::string_view bytes;
        const std::filesystem::path* file = nullptr;
        std::uint64_t offset = 0, length = 0;
    };
    // As write, with the content put together from pieces; the files' ranges are copied by the system, not read into
    // memory. False, the old file left as it was, when a file is shorter than its piece says or cannot be read.
    bool writePieces(std::string_view name, const std::vector<Piece>& pieces);

    // Removes the file (a link itself, never what it points to); true when it is gone afterwards.
    virtual bool remove(std::string_view name);

    // Adds `name` as a second link to the file `source` (which must stay as it is), or false when links are not to be
    // had there (another file system) or `name` is taken.
    virtual bool linkFrom(const std::filesystem::path& source, std::string_view name);

    // A new empty file of the folder's temporary names (see TemporaryPrefix), made where nothing stood, link or not,
    // for a program to write into before it is renamed into place; its name, or nothing.
    std::optional<std::string> createTemporary();

    // Renames `from` over `to` in one step, both in this folder; false when it could not.
    bool replace(std::string_view from, std::string_view to);

    // The folder's own subfolder `name` (created when `create` and missing), or nothing when it is not a real
    // folder: a link to one, wherever it points, is not taken.
    std::optional<WorkingFolder> subfolder(std::string_view name, bool create) const;

    // True for a file whose mode allows no one to write it: a replacing write would ignore that, so it is refused.
    bool readOnly(std::string_view name) const;

    // Holding: while on, a write keeps the bytes in memory instead of writing them, and every look at the folder
    // (exists, names, stamp, read) sees them as written, so a run of edits costs no write of a large file each; the
    // owner then puts them in place together. A held file is no link and not read-only; it cannot be removed, linked
    // or renamed away while held (that would put one file in place before the others), and a file renamed into the
    // folder is held as a write of its bytes.
    void holdWrites() { holding_ = true; }
    bool holding() const { return holding_; }
    // A write (see write) whose bytes begin with the first `unchanged` bytes of the file's held write: while holding,
    // only the rest is copied over what is held. A large text edited near its end is then not copied whole each time.
    bool writeKeeping(std::string_view name, std::string_view bytes, std::size_t unchanged);
    // The held files (name and bytes, in the order first written); holding ends.
    std::vector<std::pair<std::string, std::string>> takeHeld();

    // Writes `bytes` as `staged`, a new name beside `name`, with the mode `name` has (as a write of `name` would):
    // for a caller that renames it over `name` later. False, nothing left behind, when it cannot.
    virtual bool stage(std::string_view name, std::string_view staged, std::string_view bytes);

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
    struct Held {
        std::string name, bytes;
        FileStamp stamp;
    };
    const Held* held(std::string_view name) const;
    // The regular files on disk whose names start with `prefix`: read from the folder, or while holding from the
    // listing read once. With `temporaries`, instead every name on disk that may be a temporary file of a write
    // (ours, or of an older version: ".NAME.tmp-XXXXXX"), whatever it is, read from the folder.
    std::vector<std::string> namesOnDisk(std::string_view prefix, bool temporaries = false) const;
    bool writeFrom(std::string_view name, std::string_view modeOf, const std::vector<Piece>& pieces);

    std::filesystem::path dir_;
    bool holding_ = false;
    std::vector<Held> held_;
    // Where each held file stands in held_.
    std::map<std::string, std::size_t, std::less<>> heldAt_;
    // While holding: the names of the regular files on disk, once read.
    mutable std::optional<std::set<std::string, std::less<>>> listing_;
    std::int64_t heldWrites_ = 0;
    // How much of the held bytes the write under way keeps (writeKeeping), for the file of that name.
    std::string keepName_;
    std::size_t keep_ = 0;
};

} // namespace clipnest
