#include "publish/sftp.h"

#include "platform/child_process.h"
#include "platform/clock.h"
#include "platform/code_page.h"
#include "publish/sftp_remote.h"

#include <cstdlib>
#include <map>

namespace clipnest::publish {

using namespace sftp;

namespace {

constexpr const char* PosixRename = "posix-rename@openssh.com";
constexpr std::uint32_t LargestReply = 512 * 1024;

std::string lastLine(const std::string& text, std::string_view containing = {}) {
    std::string found;
    for (std::size_t from = 0; from < text.size();) {
        std::size_t end = text.find('\n', from);
        end = end == std::string::npos ? text.size() : end;
        std::string line = text.substr(from, end - from);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) {
            line.pop_back();
        }
        if (!line.empty() && (containing.empty() || line.find(containing) != std::string::npos)) {
            found = line;
        }
        from = end + 1;
    }
    return found;
}

// The host as ssh takes it: an IPv6 address without the brackets an address puts around it.
std::string sshHost(const Target& target) {
    const std::string& h = target.host;
    return h.size() > 2 && h.front() == '[' && h.back() == ']' ? h.substr(1, h.size() - 2) : h;
}

bool says(const std::string& text, std::string_view what) {
    return text.find(what) != std::string::npos;
}
} // namespace

Sftp::Sftp(const Target& target, const Settings& settings, const std::atomic<bool>* cancel)
    : target_(target), settings_(settings), cancel_(cancel) {
    dir_ = target.folder();
}

Sftp::~Sftp() = default;

std::string Sftp::at(const std::string& name) const {
    return dir_ + codePageToUtf8(name);
}

std::uint32_t Sftp::send(std::uint8_t type, const Out& payload) {
    const std::uint32_t id = nextId_++;
    Out packet;
    packet.u32(static_cast<std::uint32_t>(payload.bytes.size() + 5)).u8(type).u32(id);
    packet.bytes += payload.bytes;
    if (lost_.empty()) {
        // Never stopped half way: a packet cut off would leave the stream unreadable.
        const ChildProcess::Io io = ssh_->write(packet.bytes.data(), packet.bytes.size(), IdleMs);
        if (io == ChildProcess::Io::TimedOut) {
            lose("the server took nothing for a minute");
        } else if (io != ChildProcess::Io::Done) {
            lose("");
        }
    }
    return id;
}

Sftp::Got Sftp::receive(Reply& reply, int waitMs, const std::atomic<bool>* interrupt) {
    if (!lost_.empty()) {
        return Got::Lost;
    }
    // Only the wait for the first byte may end early: once an answer began, it is read whole.
    unsigned char head[5];
    ChildProcess::Io io = ssh_->read(head, 1, waitMs, interrupt);
    if (io == ChildProcess::Io::TimedOut || io == ChildProcess::Io::Cancelled) {
        return Got::Nothing;
    }
    if (io == ChildProcess::Io::Done) {
        io = ssh_->read(head + 1, 4, IdleMs);
    }
    const std::uint32_t length = (std::uint32_t{head[0]} << 24) | (std::uint32_t{head[1]} << 16) |
                                 (std::uint32_t{head[2]} << 8) | std::uint32_t{head[3]};
    if (io == ChildProcess::Io::Done && (length < 1 || length > LargestReply)) {
        lose("the server sent something that is not SFTP");
        return Got::Lost;
    }
    std::string body(io == ChildProcess::Io::Done ? length - 1 : 0, '\0');
    if (io == ChildProcess::Io::Done) {
        io = ssh_->read(body.data(), body.size(), IdleMs);
    }
    if (io != ChildProcess::Io::Done) {
        lose(io == ChildProcess::Io::TimedOut ? "the server answered nothing for a minute" : "");
        return Got::Lost;
    }
    reply.type = head[4];
    In in{body};
    reply.id = reply.type == Version ? 0 : in.u32();
    if (!in.ok) {
        lose("the server sent something that is not SFTP");
        return Got::Lost;
    }
    reply.body = std::string(in.bytes);
    return Got::Reply;
}

bool Sftp::next(Reply& reply, const std::atomic<bool>* interrupt) {
    const Got got = receive(reply, IdleMs, interrupt);
    if (got == Got::Nothing) {
        lose(interrupt && *interrupt ? "stopped" : "the server answered nothing for a minute");
    }
    return got == Got::Reply;
}

bool Sftp::call(std::uint8_t type, const Out& payload, Reply& reply, const std::atomic<bool>* interrupt) {
    const std::uint32_t id = send(type, payload);
    while (next(reply, interrupt)) {
        if (reply.id == id) {
            return true;
        }
    }
    return false;
}

std::string Sftp::lose(const std::string& why) {
    if (!lost_.empty()) {
        return lost_;
    }
    std::string said = why;
    if (ssh_) {
        ssh_->finish(why == "stopped" ? 0 : 2000);
        const std::string errors = ssh_->errorOutput();
        if (said.empty()) {
            const std::string last = lastLine(errors);
            said = "the connection to " + target_.display() + " was lost" + (last.empty() ? "" : " (" + last + ")");
        }
    }
    lost_ = said;
    return lost_;
}

std::string Sftp::fileProblem(const Reply& reply, const std::string& name, const char* doing) const {
    const std::uint32_t status = reply.status();
    if (status == NoSuchFile) {
        return target_.described() + " does not exist or cannot be written (" + reply.message() + ")";
    }
    if (status == PermissionDenied) {
        return "the server does not let Clipnest " + std::string(doing) + " " + name + " in " + target_.described() +
               " (" + reply.message() + ")";
    }
    return "the server could not " + std::string(doing) + " " + name + " (" + reply.message() + ")";
}

std::string Sftp::connect() {
    if (ssh_) {
        return lost_;
    }
    Result<std::unique_ptr<ChildProcess>> ssh = ChildProcess::start(sshCommand(target_, settings_));
    if (!ssh) {
        lost_ = why(ssh) + "; SFTP goes through your ssh, as the sftp command does";
        return lost_;
    }
    ssh_ = std::move(*ssh);
    Out hello;
    hello.u32(5).u8(Init).u32(3);
    Reply version;
    if (ssh_->write(hello.bytes.data(), hello.bytes.size(), IdleMs) != ChildProcess::Io::Done ||
        receive(version, IdleMs, cancel_) != Got::Reply || version.type != Version) {
        ssh_->finish();
        lost_ = sshProblem(ssh_->errorOutput(), sshHost(target_));
        fault_ = sshFault(ssh_->errorOutput());
        return lost_;
    }
    In in{version.body};
    in.u32();
    while (in.ok && !in.bytes.empty()) {
        const std::string_view name = in.str();
        in.str();
        posixRename_ = posixRename_ || (in.ok && name == PosixRename);
    }
    Reply folder;
    if (!call(Stat, Out().str(dir_.empty() ? "." : dir_), folder, cancel_)) {
        return lost_;
    }
    if (folder.type != AttrsReply && folder.status() == NoSuchFile) {
        // What the login folder holds tells a folder written from the root from one inside it.
        std::vector<RemoteFile> top;
        const std::string unlisted = listAt("", top);
        if (!lost_.empty()) {
            return lost_;
        }
        loginTop_ = topNames(top);
        fault_ = Fault::FolderMissing;
        lost_ = missingFolder(target_, loginTop_, unlisted.empty());
        return lost_;
    }
    if (folder.type != AttrsReply) {
        fault_ = Fault::FolderMissing;
        lost_ = target_.described() + " cannot be read (" + folder.message() + ")";
        return lost_;
    }
    return "";
}

std::string Sftp::get(const std::string& name, std::string& bytes, bool& missing) {
    bytes.clear();
    missing = false;
    if (const std::string problem = connect(); !problem.empty()) {
        return problem;
    }
    Reply reply;
    if (!call(Open, Out().str(at(name)).u32(OpenRead).u32(0), reply, cancel_)) {
        return lost_;
    }
    if (reply.type != HandleReply) {
        missing = reply.status() == NoSuchFile;
        return missing ? "" : fileProblem(reply, name, "read");
    }
    const std::string handle(In{reply.body}.str());
    std::string problem;
    const std::int64_t until = monotonicMs() + std::int64_t{FetchSeconds} * 1000;
    for (;;) {
        if (monotonicMs() > until) {
            problem = "the download of " + name + " took more than " + std::to_string(FetchSeconds) +
                      " seconds and was cut off";
            break;
        }
        if (!call(Read, Out().str(handle).u64(bytes.size()).u32(Chunk), reply, cancel_)) {
            return lost_;
        }
        if (reply.type != DataReply) {
            problem = reply.status() == Eof ? "" : fileProblem(reply, name, "read");
            break;
        }
        const std::string_view data = In{reply.body}.str();
        if (data.empty() || bytes.size() + data.size() > MaxFetched) {
            problem = data.empty()
                          ? ""
                          : "the server's " + name + " is larger than a comments file can be; the download was cut off";
            break;
        }
        bytes.append(data);
    }
    if (!call(Close, Out().str(handle), reply, cancel_)) {
        return lost_;
    }
    if (!problem.empty()) {
        bytes.clear();
    }
    return problem;
}

// LSTAT, so that a link is told from what it leads to; many in flight, as the answers come in the order asked.
std::string Sftp::stat(const std::vector<std::string>& names, std::vector<RemoteFile>& found) {
    found.clear();
    if (const std::string problem = connect(); !problem.empty()) {
        return problem;
    }
    std::map<std::uint32_t, std::size_t> waiting;
    std::string problem;
    for (std::size_t asked = 0; asked < names.size() || !waiting.empty();) {
        while (asked < names.size() && waiting.size() < RequestsInFlight) {
            waiting[send(Lstat, Out().str(at(names[asked])))] = asked;
            ++asked;
        }
        Reply reply;
        if (!next(reply)) {
            found.clear();
            return lost_;
        }
        const auto it = waiting.find(reply.id);
        if (it == waiting.end()) {
            continue;
        }
        const std::string& name = names[it->second];
        waiting.erase(it);
        Attrs attrs;
        In in{reply.body};
        if (reply.type == AttrsReply && readAttrs(in, attrs)) {
            found.push_back({name, attrs.size, attrs.regular(), attrs.folder()});
        } else if (reply.status() != NoSuchFile && problem.empty()) {
            problem = fileProblem(reply, name, "look at");
        }
    }
    if (!problem.empty()) {
        found.clear();
    }
    return problem;
}

std::string Sftp::list(std::vector<RemoteFile>& files) {
    files.clear();
    if (const std::string problem = connect(); !problem.empty()) {
        return problem;
    }
    return listAt(dir_, files);
}

std::string Sftp::listAt(const std::string& dir, std::vector<RemoteFile>& files) {
    files.clear();
    const auto unlisted = [&](const Reply& reply) {
        return "the server could not list " + target_.described() + " (" + reply.message() + ")";
    };
    Reply reply;
    if (!call(Opendir, Out().str(dir.empty() ? "." : dir), reply)) {
        return lost_;
    }
    if (reply.type != HandleReply) {
        return unlisted(reply);
    }
    const std::string handle(In{reply.body}.str());
    std::string problem;
    for (;;) {
        if (!call(Readdir, Out().str(handle), reply)) {
            return lost_;
        }
        std::vector<Entry> entries;
        if (reply.type != NameReply || !readNames(reply, entries)) {
            problem = reply.status() == Eof ? "" : unlisted(reply);
            break;
        }
        for (const Entry& entry : entries) {
            // A name the code page cannot hold is none the channel could have.
            const std::optional<std::string> name = toCodePage(entry.name);
            if (name && *name != "." && *name != "..") {
                files.push_back({*name, entry.attrs.size, entry.attrs.regular(), entry.attrs.folder()});
            }
        }
    }
    if (!call(Close, Out().str(handle), reply)) {
        return lost_;
    }
    if (!problem.empty()) {
        files.clear();
    }
    return problem;
}

// The plain RENAME, not posix-rename: OpenSSH's refuses to replace what stands at the new name. It is looked for
// first all the same, as other servers' may replace it.
std::string Sftp::rename(const std::string& from, const std::string& to) {
    std::vector<RemoteFile> there;
    if (std::string problem = stat({to}, there); !problem.empty()) {
        return problem;
    }
    if (!there.empty()) {
        return "the server already has " + to + ", so " + from + " was not renamed to it";
    }
    Reply reply;
    if (!call(Rename, Out().str(at(from)).str(at(to)), reply)) {
        return lost_;
    }
    if (reply.status() == NoSuchFile) {
        return "the server has no " + from + " to rename";
    }
    return reply.status() == Ok ? "" : fileProblem(reply, from, "rename");
}

std::string Sftp::remove(const std::string& name) {
    if (const std::string problem = connect(); !problem.empty()) {
        return problem;
    }
    Reply reply;
    if (!call(Remove, Out().str(at(name)), reply)) {
        return lost_;
    }
    const std::uint32_t status = reply.status();
    return status == Ok || status == NoSuchFile ? "" : fileProblem(reply, name, "remove");
}

std::vector<std::string> sshCommand(const Target& target, const Settings& settings) {
    const char* program = std::getenv("CLIPNEST_SSH");
    std::vector<std::string> argv{program && *program ? program : "ssh",
                                  // Nothing is asked: a question ssh cannot put fails the connection.
                                  "-oBatchMode=yes", "-oForwardX11=no", "-oForwardAgent=no",
                                  "-oClearAllForwardings=yes", "-oPermitLocalCommand=no", "-oConnectTimeout=20",
                                  "-oServerAliveInterval=20"};
    const auto quotedOption = [](const std::string& key, const std::string& value) {
        return "-o" + key + "=" + (value.find_first_of(" \t") == std::string::npos ? value : "\"" + value + "\"");
    };
    if (target.port) {
        argv.insert(argv.end(), {"-p", std::to_string(target.port)});
    }
    if (!target.user.empty()) {
        argv.insert(argv.end(), {"-l", target.user});
    }
    if (!settings.key.empty()) {
        argv.insert(argv.end(), {"-i", settings.key, "-oIdentitiesOnly=yes"});
    }
    if (!settings.knownHosts.empty()) {
        argv.push_back(quotedOption("UserKnownHostsFile", settings.knownHosts));
    }
    argv.insert(argv.end(), {"-s", "--", sshHost(target), "sftp"});
    return argv;
}

Remote::Fault sshFault(const std::string& errors) {
    if (says(errors, "Host key verification failed") || says(errors, "REMOTE HOST IDENTIFICATION HAS CHANGED") ||
        says(errors, "host key is known")) {
        return Remote::Fault::HostKey;
    }
    if (says(errors, "Permission denied") || says(errors, "Too many authentication failures")) {
        return Remote::Fault::Login;
    }
    return Remote::Fault::Unreachable;
}

std::string sshProblem(const std::string& errors, const std::string& host) {
    const auto detail = [&](std::string_view containing) {
        const std::string line = lastLine(errors, containing);
        return line.empty() ? std::string() : " (" + line + ")";
    };
    if (says(errors, "Host key verification failed") || says(errors, "REMOTE HOST IDENTIFICATION HAS CHANGED") ||
        says(errors, "host key is known")) {
        return "the server's host key is not the one known for " + host +
               " in your known_hosts, or the host is not in it yet: connect once with `sftp " + host +
               "` to check the key and keep it" + detail("host key");
    }
    if (says(errors, "Permission denied") || says(errors, "Too many authentication failures")) {
        return "the server refused the login: no key of your SSH agent, ~/.ssh or ~/.ssh/config was accepted; `sftp " +
               host + "` must log in without a password" + detail("ermission denied");
    }
    if (says(errors, "Could not resolve hostname")) {
        return "the server " + host + " could not be found" + detail("resolve");
    }
    if (says(errors, "subsystem request failed")) {
        return "the server " + host + " offers no SFTP" + detail("subsystem");
    }
    const std::string last = lastLine(errors);
    return "ssh could not connect to " + host + (last.empty() ? "" : " (" + last + ")");
}

std::unique_ptr<Remote> openSftp(const Target& target, const Settings& settings, const std::atomic<bool>* cancel) {
    return std::make_unique<Sftp>(target, settings, cancel);
}

} // namespace clipnest::publish
