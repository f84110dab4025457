#pragma once

#include "core/form.h"
#include "platform/clock.h"
#include "platform/working_folder.h"
#include "text/markers.h"
#include "text/text_ops.h"

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace clipnest::testing {

using Files = std::map<std::string, std::string>; // file name -> bytes
using Names = std::vector<std::string>;

// A fresh folder under the system's temporary folder, removed with everything in it at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

std::string readFile(const std::filesystem::path& path);

// How long a Step waits before it runs, as the schedule says: a test waits "the notice's time", not a number.
std::int64_t stepInterval(Step step);
void writeFile(const std::filesystem::path& path, std::string_view bytes);
// Every regular file of a folder (hidden ones too), by name.
Files filesOf(const std::filesystem::path& dir);
// A file of tests/data, written once and checked by hand against the design.
std::string expected(const std::string& name);
// Everything a shell command prints (standard error too); its exit status, or 128 + the signal, in `rc`.
std::string shell(const std::string& command, int* rc = nullptr);
// `text` as one word of a shell command.
std::string quoted(const std::string& text);

// A program in a process group of its own, its output and errors appended to `log`; at the end it is killed with
// everything it started.
class Process {
public:
    Process(const std::vector<std::string>& argv, const std::filesystem::path& log);
    ~Process() { stop(); }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    // Sends `signal` to the program alone and returns its exit status (128 + the signal when killed by one); -1
    // once stopped.
    int stop(int signal = SIGKILL);
    // Kills the processes it started itself, those that left its process group too (each connection's session of a
    // server).
    void killChildren();

private:
    int pid_ = -1;
};
// A loopback port nothing listens on now; whether something answers on one within five seconds.
int freePort();
bool answersSoon(int port);
// Whether every one of the space-separated programs is on PATH.
bool onPath(const std::string& programs);
// A peer that is missing skips the test, but fails it under CI, where scripts/install-deps installs them all.
#define NEEDS(present, what)                                                                                           \
    if (!(present)) {                                                                                                  \
        if (std::getenv("CI")) {                                                                                       \
            FAIL() << "CI has " << what << " (scripts/install-deps)";                                                  \
        }                                                                                                              \
        GTEST_SKIP() << "needs " << what;                                                                              \
    }

// Apache 2.4 with PHP as a module, as hosts run it, serving `root` (made readable and writable for the server's
// user) on a free loopback port, from a configuration of its own: its own server root, pid file and logs, `.htaccess`
// honoured, and as root the unprivileged www-data for its workers. Never the system's service; stopped at the end.
class ApacheServer {
public:
    // `more` is added to the server's configuration as it is (one directive a line).
    explicit ApacheServer(const std::filesystem::path& root, const std::string& more = "");
    ~ApacheServer() {
        if (server_) {
            server_->stop(SIGTERM);
        }
    }
    ApacheServer(const ApacheServer&) = delete;
    ApacheServer& operator=(const ApacheServer&) = delete;
    // Whether apache2 and its PHP module are installed.
    static bool installed();
    bool running() const { return running_; }
    // "http://127.0.0.1:PORT/".
    const std::string& url() const { return url_; }
    // Its error log: why it did not start, or what PHP complained of.
    std::string log() const { return readFile(dir_.path() / "error.log"); }

private:
    TempDir dir_;
    int port_ = freePort();
    std::string url_ = "http://127.0.0.1:" + std::to_string(port_) + "/";
    std::unique_ptr<Process> server_;
    bool running_ = false;
};

// ssh as the user runs it, reading the files of `home` as its own (~/.ssh/config, with the keys and known hosts it
// names): ssh reads those of the account's home, whatever HOME says. Made once; the program to run in ssh's place.
std::filesystem::path sshOf(const std::filesystem::path& home);

// OpenSSH's sshd on a free loopback port, with a throwaway ed25519 host key and user key, serving folder() to root
// over SFTP; never the system's service, and stopped at the end. home() is the user's: sshOf(home()) logs in with its
// key and knows the server's.
class SshServer {
public:
    SshServer();
    SshServer(const SshServer&) = delete;
    SshServer& operator=(const SshServer&) = delete;
    // Root (it serves root) and sshd.
    static bool available();
    // Starts sshd (again) with `sftp` as its SFTP subsystem and that subsystem's options; false when it does not
    // answer (log() says why).
    bool start(const std::string& sftp = "internal-sftp");
    void stop();
    // Ends every connection: each is an sshd session of its own, out of the server's process group.
    void killSessions();
    // "sftp://root@127.0.0.1:PORT//.../public_html/": the folder from the root.
    std::string address() const;
    int port() const { return port_; }
    // The keys, the configuration and the log; a test may keep files of its own here, outside folder().
    const std::filesystem::path& dir() const { return dir_.path(); }
    std::filesystem::path home() const { return dir() / "home"; }
    std::filesystem::path folder() const { return dir() / "server" / "public_html"; }
    std::string log() const { return readFile(dir() / "sshd.log"); }

private:
    TempDir dir_;
    int port_ = freePort();
    std::unique_ptr<Process> sshd_;
};

// vsftpd with a throwaway certificate (cert()) on a free loopback port, storing under root (its folder channel is
// writable by `owner`); `logins` are the lines of its configuration that say who may log in, with {root} for root.
// Never the system's service; stopped at the end.
struct FtpsServer {
    // Anonymous logins over TLS only, which home/.netrc names; anyone may write, rename and remove in channel.
    FtpsServer();
    FtpsServer(const std::string& owner, std::string logins);
    // Root and vsftpd.
    static bool available();
    // Ends every connection: each is a session of its own, out of the server's process group.
    void killSessions() { ftp->killChildren(); }
    std::filesystem::path cert() const { return dir.path() / "cert.pem"; }
    // "ftps://anonymous@127.0.0.1:PORT/channel/".
    std::string address() const;

    TempDir dir;
    const std::filesystem::path root = dir.path() / "root", channel = root / "channel", home = dir.path() / "home";
    const int port = freePort();
    std::string owner;
    std::unique_ptr<Process> ftp;
};

// A real folder whose writes can be made to fail: `failWrite(n)` makes the n-th write from now fail (1 = the next).
class FaultyFolder final : public WorkingFolder {
public:
    using WorkingFolder::WorkingFolder;
    std::optional<std::string> read(std::string_view name) const override;
    bool write(std::string_view name, std::string_view bytes) override;
    // Staging a file to put in place counts as its write.
    bool stage(std::string_view name, std::string_view staged, std::string_view bytes) override;
    // While a write is set to fail, the folder has no links, so every file it gets is written.
    bool linkFrom(const std::filesystem::path& source, std::string_view name) override;
    void failWrite(int n) { failAt_ = writes_ + n; }
    int writes() const { return writes_; }
    std::string failed;     // the name whose write was made to fail
    std::string unreadable; // a name whose reads fail; "*" for all
    // Runs once, right after the next read of a file: another writer's write landing between a read and what follows.
    mutable std::function<void(std::string_view name)> afterRead;

private:
    int writes_ = 0;
    int failAt_ = -1;
};

// A Form on a virtual clock over a temporary folder: type into its boxes, click, and move time on.
// The comment secret of test channels, so that their pages are the same bytes from one folder to the next.
inline const std::string TestSecret(64, 'c');
void useTestSecret(const std::filesystem::path& channel);

class Harness {
public:
    explicit Harness(const Files& files = {}, bool started = true);

    Form& form() { return *form_; }
    FaultyFolder& folder() { return folder_; }
    const std::filesystem::path& dir() const { return dir_.path(); }

    // Runs the Steps due within the next `ms` milliseconds; until no chain Step is armed; until nothing is armed.
    void advance(std::int64_t ms);
    // Advances a millisecond at a time until `happened` holds, at most `limit` ms; how many passed.
    std::int64_t advanceUntil(const std::function<bool()>& happened, std::int64_t limit);
    void runChains();
    void runUntilIdle();

    void put(const std::string& name, std::string_view bytes) { writeFile(dir() / name, bytes); }
    std::string file(const std::string& name) const { return readFile(dir() / name); }
    bool has(const std::string& name) const { return std::filesystem::exists(dir() / name); }
    bool shown(Message p) const { return form_->isVisible(p); }
    const std::string& text(Message p) const { return form_->messages().words(p); }
    // The homepage's entries as `clipnest list` names them.
    Names entries() const;

    // What a user does: type into a panel's boxes, click its button, and let the chain run to its end.
    void entry(const std::string& name, const std::string& homepage, const std::string& page = "",
               bool homepageOnly = false);
    void remove(const std::string& name);
    void insert(const std::string& name, const std::string& above, const std::string& homepage = "",
                const std::string& page = "");
    void title(const std::string& title, const std::string& message);
    void rename(const std::string& from, const std::string& to, bool fileOnly = false);

private:
    TempDir dir_;
    VirtualClock clock_;
    FaultyFolder folder_;
    std::unique_ptr<Form> form_;
};

// A folder the tool has made: one entry "About NAME" per name, in order.
Files channel(const Names& names);
std::string homepageOf(const Names& names);

// `text` with its first `from` replaced by `to`; a test failure when `from` is absent.
std::string with(std::string text, const std::string& from, const std::string& to);

} // namespace clipnest::testing
