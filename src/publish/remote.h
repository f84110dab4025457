#pragma once

#include "publish/settings.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace clipnest::publish {

// How far the transfer of one file is.
using Progress = std::function<void(std::uintmax_t sent, std::uintmax_t total)>;

// A file of the channel folder to go up under its name.
struct Upload {
    std::filesystem::path local;
    std::string name;
    // The part already on the server (under partName(name)) that holds the local file's first `resumeFrom` bytes, to
    // go on from; 0 makes the part anew. A part that goes on is checked by its size once whole.
    std::uintmax_t resumeFrom = 0;
    // When the transfer is stopped or the connection is lost, the part stays on the server for a later publish to go
    // on from (a large video); otherwise a stopped transfer removes its part before put returns.
    bool keepPart = false;
};

// An entry of the server's folder.
struct RemoteFile {
    std::string name; // in the code page, as the channel's names are; a name that is not in it is left out
    std::uintmax_t size = 0;
    bool regular = true; // false: a folder, a link or anything else that is not a plain file
    bool folder = false; // a folder (not a link to one)
};

// What becomes of the files handed to Remote::put, as each comes to its end.
struct PutEvents {
    std::function<void(std::size_t index)> started;
    std::function<void(std::size_t index, std::uintmax_t sent, std::uintmax_t total)> progress;
    // Empty `problem`: the file stands on the server under its name.
    std::function<void(std::size_t index, const std::string& problem)> finished;
};

// The channel's folder on the server, over one connection kept from file to file. Each file goes to a hidden name
// beside its target and is renamed over the target only when it arrived whole, so a visitor sees the old file or the
// new one, never a part.
//
// A problem that concerns the connection itself (it cannot be made, the login or the server's key or certificate is
// refused, it was lost) ends the work at once and is said once, naming the fix; the files it cut off are those not
// finished. A problem of one file (a name the server refuses) is that file's alone.
class Remote {
public:
    virtual ~Remote() = default;

    // Connects and logs in, and checks that the folder is there; empty when ready, else what is wrong.
    virtual std::string connect() = 0;

    // Puts the files, several in flight where the means allow; calls `events.finished` once for each file that comes
    // to an end. Returns the connection's problem when it ended the work early (files not finished were cut off),
    // else empty. A file that fails, or is stopped by `cancel`, leaves no part on the server unless it keeps its part;
    // `events.progress` counts the bytes the server holds of the file, a part gone on from included.
    virtual std::string put(const std::vector<Upload>& files, const PutEvents& events,
                            const std::atomic<bool>& cancel) = 0;

    // Reads the file `name` of the server's folder into `bytes` (at most 4 MB). Empty when read, or when there is no
    // such file (`missing` says so); else what went wrong.
    virtual std::string get(const std::string& name, std::string& bytes, bool& missing) = 0;

    // The entries of the server's folder among `names` (in no set order; a name it lacks is not there). Empty when
    // looked up, else what went wrong.
    virtual std::string stat(const std::vector<std::string>& names, std::vector<RemoteFile>& found) = 0;

    // Every entry of the server's folder, hidden ones too. Empty when listed, else what went wrong.
    virtual std::string list(std::vector<RemoteFile>& files) = 0;

    // Renames the file `from` of the server's folder to `to`, never over anything that stands at `to` (refused with
    // why). Empty when renamed.
    virtual std::string rename(const std::string& from, const std::string& to) = 0;

    // Removes the file `name` from the server's folder. Empty when it is gone, or was not there.
    virtual std::string remove(const std::string& name) = 0;

    // The connection's problem once it is lost (or was never made), which every later call returns as well; empty
    // while it stands.
    virtual std::string lost() const = 0;

    // What kind of problem lost() is.
    enum class Fault { None, Unreachable, Login, HostKey, FolderMissing };
    virtual Fault fault() const { return lost().empty() ? Fault::None : Fault::Unreachable; }
    // When the folder is missing: the login folder's top names, folders first, as far as they could be read.
    virtual std::vector<std::string> loginTop() const { return {}; }
};

// The few names a message shows of a folder's entries: folders first, then the rest, each in name order, hidden ones
// left out; in UTF-8.
std::vector<std::string> topNames(const std::vector<RemoteFile>& entries, std::size_t most = 8);
// "the folder X in the login folder of bob on host is not there; the login folder holds: www, logs, mail".
std::string missingFolder(const Target& target, const std::vector<std::string>& top, bool listed);

// The means for the address: the system's own ssh for sftp://, libcurl for ftps:// and ftp://. `cancel`, when given,
// stops a connection that is still being made as well. libcurl is in a module of its own (FtpModule), loaded only
// here, so no other command pays for loading it; when the module cannot be loaded, the Remote says so on connecting.
std::unique_ptr<Remote> openRemote(const Target& target, const Settings& settings,
                                   const std::atomic<bool>* cancel = nullptr);

// Makes a new, not yet connected Remote for one connection; a publish calls it once for each connection it opens.
using RemoteMaker = std::function<std::unique_ptr<Remote>()>;

// The FTP module: found beside the program or in CLIPNEST_MODULE_FOLDER under it (as installed). Its one function
// makes the Remote, given the version of the program, and returns null when the module is of another.
inline constexpr const char* FtpModule = "clipnest-ftp.so";
inline constexpr const char* FtpModuleFunction = "clipnestOpenFtp";
using OpenFtp = Remote* (*)(const Target& target, const Settings& settings, const std::atomic<bool>* cancel,
                            const char* version);

// The temporary name a file is uploaded under, beside its target.
inline std::string partName(const std::string& name) {
    return "." + name + ".clipnest-part";
}
// The name an old file stands aside under for the moment of a rename over it, on a server without an atomic one.
inline std::string asideName(const std::string& name) {
    return "." + name + ".clipnest-old";
}

// Files read back are comment files of at most 30,000 bytes: a server that sends more than this is cut off.
inline constexpr std::size_t MaxFetched = std::size_t{4} << 20;
// A file read back takes at most this long.
inline constexpr int FetchSeconds = 60;

} // namespace clipnest::publish
