#include "publish/sftp.h"

#include "platform/child_process.h"
#include "platform/clock.h"
#include "platform/code_page.h"
#include "platform/working_folder.h"

#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <set>

namespace clipnest::publish {

namespace {

// The messages of SFTP version 3 that Clipnest sends and reads.
enum Type : std::uint8_t {
    Init = 1,
    Version = 2,
    Open = 3,
    Close = 4,
    Read = 5,
    Write = 6,
    Lstat = 7,
    Remove = 13,
    Stat = 17,
    Rename = 18,
    StatusReply = 101,
    HandleReply = 102,
    DataReply = 103,
    AttrsReply = 105,
    Extended = 200,
};
enum Status : std::uint32_t { Ok = 0, Eof = 1, NoSuchFile = 2, PermissionDenied = 3 };
constexpr std::uint32_t OpenRead = 0x01, OpenWrite = 0x02, OpenCreate = 0x08, OpenTruncate = 0x10, OpenNew = 0x20;
constexpr std::uint32_t AttrPermissions = 0x04;
constexpr const char* PosixRename = "posix-rename@openssh.com";

constexpr std::size_t Chunk = 32 * 1024;
constexpr std::size_t RequestsInFlight = 64;
// A large file leaves room for the small ones beside it.
constexpr std::size_t WritesInFlight = 32;
constexpr std::size_t FilesInFlight = 16;
constexpr std::uint32_t LargestReply = 512 * 1024;
// A server that answers nothing for a minute is given up.
constexpr int IdleMs = 60'000;

struct Out {
    std::string bytes;
    Out& u8(std::uint8_t v) {
        bytes.push_back(static_cast<char>(v));
        return *this;
    }
    Out& u32(std::uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            bytes.push_back(static_cast<char>((v >> shift) & 0xff));
        }
        return *this;
    }
    Out& u64(std::uint64_t v) { return u32(static_cast<std::uint32_t>(v >> 32)).u32(static_cast<std::uint32_t>(v)); }
    Out& str(std::string_view s) {
        u32(static_cast<std::uint32_t>(s.size()));
        bytes.append(s);
        return *this;
    }
};

struct In {
    std::string_view bytes;
    bool ok = true;
    std::uint32_t u32() {
        if (bytes.size() < 4) {
            ok = false;
            return 0;
        }
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) {
            v = (v << 8) | static_cast<unsigned char>(bytes[static_cast<std::size_t>(i)]);
        }
        bytes.remove_prefix(4);
        return v;
    }
    std::string_view str() {
        const std::uint32_t n = u32();
        if (!ok || bytes.size() < n) {
            ok = false;
            return {};
        }
        const std::string_view s = bytes.substr(0, n);
        bytes.remove_prefix(n);
        return s;
    }
};

struct Reply {
    std::uint8_t type = 0;
    std::uint32_t id = 0;
    std::string body; // after the id
    std::uint32_t status() const {
        In in{body};
        return type == StatusReply ? in.u32() : Ok;
    }
    std::string message() const {
        In in{body};
        in.u32();
        const std::string_view text = in.str();
        return std::string(in.ok && !text.empty() ? text : "no reason given");
    }
};

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

class Sftp final : public Remote {
public:
    Sftp(const Target& target, const Settings& settings, const std::atomic<bool>* cancel)
        : target_(target), settings_(settings), cancel_(cancel) {
        dir_ = target.path.starts_with("/~/") ? target.path.substr(3) : target.path;
    }

    std::string connect() override;
    std::string put(const std::vector<Upload>& files, const PutEvents& events,
                    const std::atomic<bool>& cancel) override;
    std::string get(const std::string& name, std::string& bytes, bool& missing) override;
    std::string exists(const std::string& name, bool& there);
    std::string stat(const std::vector<std::string>& names, std::vector<RemoteFile>& found) override {
        found.clear();
        for (const std::string& name : names) {
            bool there = false;
            if (std::string problem = exists(name, there); !problem.empty()) {
                return problem;
            }
            if (there) {
                found.push_back({name, 0});
            }
        }
        return "";
    }
    std::string list(std::vector<RemoteFile>& files) override {
        files.clear();
        return "listing is not done yet";
    }
    std::string rename(const std::string&, const std::string&) override { return "renaming is not done yet"; }
    std::string remove(const std::string&) override { return "removing is not done yet"; }
    std::string lost() const override { return lost_; }

private:
    // The path of a file of the channel's folder on the server, its name in UTF-8 as on the desktop's disk.
    std::string at(const std::string& name) const { return dir_ + codePageToUtf8(name); }
    std::uint32_t send(std::uint8_t type, const Out& payload);
    bool receive(Reply& reply);
    // Sends one request and waits for its answer; nothing else may be in flight.
    bool call(std::uint8_t type, const Out& payload, Reply& reply);
    // The connection's end, in words: what ssh said, or that the server stopped answering.
    std::string lose(const std::string& why);
    std::string fileProblem(const Reply& reply, const std::string& name, const char* doing) const;
    class PutRun;

    Target target_;
    Settings settings_;
    const std::atomic<bool>* cancel_ = nullptr;
    std::string dir_;
    std::unique_ptr<ChildProcess> ssh_;
    bool posixRename_ = false;
    std::uint32_t nextId_ = 1;
    std::string lost_;
};

std::uint32_t Sftp::send(std::uint8_t type, const Out& payload) {
    const std::uint32_t id = nextId_++;
    Out packet;
    packet.u32(static_cast<std::uint32_t>(payload.bytes.size() + 5)).u8(type).u32(id);
    packet.bytes += payload.bytes;
    if (lost_.empty()) {
        const ChildProcess::Io io = ssh_->write(packet.bytes.data(), packet.bytes.size(), IdleMs, cancel_);
        if (io == ChildProcess::Io::Cancelled) {
            lose("stopped");
        } else if (io == ChildProcess::Io::TimedOut) {
            lose("the server took nothing for a minute");
        } else if (io == ChildProcess::Io::Closed) {
            lose("");
        }
    }
    return id;
}

bool Sftp::receive(Reply& reply) {
    if (!lost_.empty()) {
        return false;
    }
    unsigned char head[5];
    ChildProcess::Io io = ssh_->read(head, sizeof head, IdleMs, cancel_);
    const std::uint32_t length = (std::uint32_t{head[0]} << 24) | (std::uint32_t{head[1]} << 16) |
                                 (std::uint32_t{head[2]} << 8) | std::uint32_t{head[3]};
    if (io == ChildProcess::Io::Done && (length < 1 || length > LargestReply)) {
        lose("the server sent something that is not SFTP");
        return false;
    }
    std::string body(io == ChildProcess::Io::Done ? length - 1 : 0, '\0');
    if (io == ChildProcess::Io::Done) {
        io = ssh_->read(body.data(), body.size(), IdleMs, cancel_);
    }
    if (io == ChildProcess::Io::Cancelled) {
        lose("stopped");
        return false;
    }
    if (io != ChildProcess::Io::Done) {
        lose(io == ChildProcess::Io::TimedOut ? "the server answered nothing for a minute" : "");
        return false;
    }
    reply.type = head[4];
    In in{body};
    reply.id = reply.type == Version ? 0 : in.u32();
    if (!in.ok) {
        lose("the server sent something that is not SFTP");
        return false;
    }
    reply.body = std::string(in.bytes);
    return true;
}

bool Sftp::call(std::uint8_t type, const Out& payload, Reply& reply) {
    const std::uint32_t id = send(type, payload);
    while (receive(reply)) {
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
        return "the folder " + target_.path + " on the server does not exist or cannot be written (" + reply.message() +
               ")";
    }
    if (status == PermissionDenied) {
        return "the server does not let Clipnest " + std::string(doing) + " " + name + " in " + target_.path + " (" +
               reply.message() + ")";
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
    if (ssh_->write(hello.bytes.data(), hello.bytes.size(), IdleMs) != ChildProcess::Io::Done || !receive(version) ||
        version.type != Version) {
        ssh_->finish();
        lost_ = sshProblem(ssh_->errorOutput(), sshHost(target_));
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
    if (!call(Stat, Out().str(dir_.empty() ? "." : dir_), folder)) {
        return lost_;
    }
    if (folder.type != AttrsReply) {
        lost_ = "the folder " + target_.path + " on the server does not exist or cannot be written (" +
                folder.message() + ")";
        return lost_;
    }
    return "";
}

// One put: a few files in flight at once, each opened as its part, written in chunks that overlap, closed and renamed
// into place; the answers come in the order asked and each moves its file's job on.
class Sftp::PutRun {
public:
    PutRun(Sftp& sftp, const std::vector<Upload>& files, const PutEvents& events)
        : sftp_(sftp), files_(files), events_(events) {}

    bool more() const { return next_ < files_.size() || !jobs_.empty(); }
    bool awaits() const { return !waiting_.empty() || !ignored_.empty(); }
    // Opens the next files while there is room in flight.
    void openMore();
    // Sends the next chunks of the files being written, and closes those written whole.
    void writeMore();
    // Moves on the job an answer belongs to.
    void answer(const Reply& reply);
    // The connection ended: every file still under way is told why (`problem`, or that the user stopped it).
    void lose(const std::string& problem);

private:
    enum class Stage { Opening, Writing, Closing, Renaming, Cleaning };
    struct Job {
        std::size_t index = 0;
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> file{nullptr, &std::fclose};
        std::uintmax_t total = 0, queued = 0, acknowledged = 0;
        bool atEnd = false;
        Stage stage = Stage::Opening;
        std::string handle, problem;
        std::size_t writes = 0; // in flight
        int step = 0;           // of the rename without posix-rename
        bool aside = false;     // the old file stands aside
        // Requests that tidy up after a failure, sent one after the other.
        std::deque<std::pair<std::uint8_t, Out>> cleanup;
    };

    void ask(Job& job, std::uint8_t type, const Out& payload) { waiting_[sftp_.send(type, payload)] = job.index; }
    void finish(Job& job, const std::string& problem);
    std::string asideOf(const std::string& name) const { return sftp_.at("." + name + ".clipnest-old"); }
    void renameStep(Job& job);
    void clean(Job& job, std::string problem);
    void renamed(Job& job, const Reply& reply);

    Sftp& sftp_;
    const std::vector<Upload>& files_;
    const PutEvents& events_;
    std::map<std::size_t, Job> jobs_; // by index
    std::map<std::uint32_t, std::size_t> waiting_;
    std::set<std::uint32_t> ignored_; // requests whose answer does not matter
    std::size_t next_ = 0;
};

void Sftp::PutRun::finish(Job& job, const std::string& problem) {
    const std::size_t index = job.index;
    if (events_.finished) {
        events_.finished(index, problem);
    }
    jobs_.erase(index);
}

// The part goes to its target; without posix-rename, the old file steps aside for the moment of the rename.
void Sftp::PutRun::renameStep(Job& job) {
    const std::string& name = files_[job.index].name;
    if (sftp_.posixRename_) {
        ask(job, Extended, Out().str(PosixRename).str(sftp_.at(partName(name))).str(sftp_.at(name)));
    } else if (job.step == 0) {
        ask(job, Remove, Out().str(asideOf(name)));
    } else if (job.step == 1) {
        ask(job, Rename, Out().str(sftp_.at(name)).str(asideOf(name)));
    } else if (job.step == 2) {
        ask(job, Rename, Out().str(sftp_.at(partName(name))).str(sftp_.at(name)));
    } else {
        ask(job, Remove, Out().str(asideOf(name)));
    }
}

// After a failure: the old file back in its place when it stood aside, and the part gone.
void Sftp::PutRun::clean(Job& job, std::string problem) {
    const std::string& name = files_[job.index].name;
    job.problem = std::move(problem);
    job.stage = Stage::Cleaning;
    if (job.aside) {
        job.cleanup.emplace_back(Rename, Out().str(asideOf(name)).str(sftp_.at(name)));
    }
    job.cleanup.emplace_back(Remove, Out().str(sftp_.at(partName(name))));
    ask(job, job.cleanup.front().first, job.cleanup.front().second);
}

void Sftp::PutRun::openMore() {
    while (jobs_.size() < FilesInFlight && next_ < files_.size() && waiting_.size() < RequestsInFlight) {
        Job job;
        job.index = next_++;
        const Upload& upload = files_[job.index];
        // A link put in the file's place since the plan is not followed either.
        job.file.reset(openFileNoFollow(upload.local));
        if (!job.file) {
            if (events_.finished) {
                events_.finished(job.index, "Clipnest could not read " + upload.name);
            }
            continue;
        }
        std::error_code ec;
        job.total = std::filesystem::file_size(upload.local, ec);
        if (events_.started) {
            events_.started(job.index);
        }
        // Whatever stands at the part's name goes first, a link above all: the server would write through it. The
        // part is then made new, so nothing put there in between is written through either. The server answers in
        // the order asked, so the two go together.
        ignored_.insert(sftp_.send(Remove, Out().str(sftp_.at(partName(upload.name)))));
        ask(job, Open,
            Out()
                .str(sftp_.at(partName(upload.name)))
                .u32(OpenWrite | OpenCreate | OpenTruncate | OpenNew)
                .u32(AttrPermissions)
                .u32(0644));
        jobs_.emplace(job.index, std::move(job));
    }
}

void Sftp::PutRun::writeMore() {
    for (auto& [index, job] : jobs_) {
        while (job.stage == Stage::Writing && job.problem.empty() && !job.atEnd && job.writes < WritesInFlight &&
               waiting_.size() < RequestsInFlight && sftp_.lost_.empty()) {
            char buffer[Chunk];
            const std::size_t n = std::fread(buffer, 1, sizeof buffer, job.file.get());
            if (n == 0) {
                job.atEnd = true;
                if (std::ferror(job.file.get())) {
                    job.problem = "Clipnest could not read " + files_[index].name;
                }
                break;
            }
            ask(job, Write, Out().str(job.handle).u64(job.queued).str(std::string_view(buffer, n)));
            job.queued += n;
            ++job.writes;
        }
        if (job.stage == Stage::Writing && job.writes == 0 && (job.atEnd || !job.problem.empty()) &&
            sftp_.lost_.empty()) {
            job.stage = Stage::Closing;
            ask(job, Close, Out().str(job.handle));
        }
    }
}

void Sftp::PutRun::renamed(Job& job, const Reply& reply) {
    if (sftp_.posixRename_ || job.step == 2) {
        if (reply.status() != Ok) {
            clean(job, sftp_.fileProblem(reply, files_[job.index].name, "rename into place"));
            return;
        }
        if (sftp_.posixRename_) {
            finish(job, "");
            return;
        }
    }
    job.aside = job.aside || (job.step == 1 && reply.status() == Ok);
    if (job.step == 3) {
        finish(job, "");
        return;
    }
    ++job.step;
    renameStep(job);
}

void Sftp::PutRun::answer(const Reply& reply) {
    if (ignored_.erase(reply.id)) {
        return;
    }
    const auto found = waiting_.find(reply.id);
    if (found == waiting_.end()) {
        return;
    }
    const std::size_t index = found->second;
    waiting_.erase(found);
    const auto open = jobs_.find(index);
    if (open == jobs_.end()) {
        return;
    }
    Job& job = open->second;
    const std::string& name = files_[index].name;
    switch (job.stage) {
    case Stage::Opening:
        if (reply.type != HandleReply) {
            finish(job, sftp_.fileProblem(reply, name, "write"));
            return;
        }
        job.handle = std::string(In{reply.body}.str());
        job.stage = Stage::Writing;
        return;
    case Stage::Writing:
        --job.writes;
        if (reply.status() != Ok && job.problem.empty()) {
            job.problem = sftp_.fileProblem(reply, name, "store");
        }
        if (job.problem.empty() && events_.progress) {
            job.acknowledged = std::min(job.queued, job.acknowledged + Chunk);
            events_.progress(index, job.acknowledged, job.total);
        }
        return;
    case Stage::Closing:
        if (job.problem.empty() && reply.status() != Ok) {
            job.problem = sftp_.fileProblem(reply, name, "store");
        }
        if (!job.problem.empty()) {
            // What arrived of it goes; the old file was never touched.
            clean(job, job.problem);
            return;
        }
        job.stage = Stage::Renaming;
        renameStep(job);
        return;
    case Stage::Renaming:
        renamed(job, reply);
        return;
    case Stage::Cleaning:
        job.cleanup.pop_front();
        if (job.cleanup.empty()) {
            finish(job, job.problem);
        } else {
            ask(job, job.cleanup.front().first, job.cleanup.front().second);
        }
        return;
    }
}

void Sftp::PutRun::lose(const std::string& problem) {
    for (auto& [index, job] : jobs_) {
        if (events_.finished) {
            const std::string& name = files_[index].name;
            events_.finished(index, problem.empty()
                                        ? "stopped before " + name + " was complete; the server keeps its old " + name
                                        : problem);
        }
    }
    jobs_.clear();
}

std::string Sftp::put(const std::vector<Upload>& files, const PutEvents& events, const std::atomic<bool>& cancel) {
    cancel_ = &cancel;
    if (const std::string problem = connect(); !problem.empty()) {
        return problem;
    }
    PutRun run(*this, files, events);
    while (lost_.empty() && run.more()) {
        if (cancel) {
            lose("stopped");
            break;
        }
        run.openMore();
        run.writeMore();
        if (!run.awaits() || !lost_.empty()) {
            continue;
        }
        Reply reply;
        if (!receive(reply)) {
            break;
        }
        run.answer(reply);
    }
    if (lost_.empty()) {
        return "";
    }
    const std::string problem = lost_ == "stopped" ? "" : lost_;
    run.lose(problem);
    return problem;
}

std::string Sftp::get(const std::string& name, std::string& bytes, bool& missing) {
    bytes.clear();
    missing = false;
    if (const std::string problem = connect(); !problem.empty()) {
        return problem;
    }
    Reply reply;
    if (!call(Open, Out().str(at(name)).u32(OpenRead).u32(0), reply)) {
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
        if (!call(Read, Out().str(handle).u64(bytes.size()).u32(Chunk), reply)) {
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
    if (!call(Close, Out().str(handle), reply)) {
        return lost_;
    }
    if (!problem.empty()) {
        bytes.clear();
    }
    return problem;
}

std::string Sftp::exists(const std::string& name, bool& there) {
    there = false;
    if (const std::string problem = connect(); !problem.empty()) {
        return problem;
    }
    Reply reply;
    if (!call(Lstat, Out().str(at(name)), reply)) {
        return lost_;
    }
    there = reply.type == AttrsReply;
    return there || reply.status() == NoSuchFile ? "" : fileProblem(reply, name, "look at");
}

} // namespace

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
