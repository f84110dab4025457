#include "platform/child_process.h"
#include "platform/clock.h"
#include "platform/working_folder.h"
#include "publish/sftp_remote.h"

#include <deque>
#include <map>
#include <set>

namespace clipnest::publish {

using namespace sftp;

namespace {

constexpr const char* PosixRename = "posix-rename@openssh.com";
// A large file leaves room for the small ones beside it.
constexpr std::size_t WritesInFlight = 32;
constexpr std::size_t FilesInFlight = 16;
// Once stopped, what is in flight is given this long to be answered before the connection is dropped.
constexpr int StopGraceMs = 5000;

std::string stoppedBefore(const std::string& name) {
    return "stopped before " + name + " was complete";
}

} // namespace

// One put: a few files in flight at once, each opened as its part, written in chunks that overlap, closed and renamed
// into place; the answers come in the order asked and each moves its file's job on.
class Sftp::PutRun {
public:
    PutRun(Sftp& sftp, const std::vector<Upload>& files, const PutEvents& events)
        : sftp_(sftp), files_(files), events_(events) {}

    bool more() const { return (!stopping_ && next_ < files_.size()) || !jobs_.empty(); }
    bool awaits() const { return !waiting_.empty() || !ignored_.empty(); }
    bool stopping() const { return stopping_; }
    // Opens the next files while there is room in flight.
    void openMore();
    // Sends the next chunks of the files being written, and closes those written whole.
    void writeMore();
    // Moves on the job an answer belongs to.
    void answer(const Reply& reply);
    // Nothing more is opened or written; each file cut off is closed once its writes are answered, and its part is
    // removed unless it keeps it. A file written whole still goes into place.
    void stop() { stopping_ = true; }
    // The connection ended: every file still under way is told why (`problem`, or that the user stopped it).
    void lose(const std::string& problem);

private:
    enum class Stage { Checking, Opening, Writing, Closing, Measuring, Renaming, Cleaning };
    struct Job {
        std::size_t index = 0;
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> file{nullptr, &std::fclose};
        std::uintmax_t total = 0, queued = 0, acknowledged = 0;
        bool atEnd = false;
        bool cut = false; // closed by a stop before it was written whole
        Stage stage = Stage::Opening;
        std::string handle, problem;
        std::size_t writes = 0; // in flight
        int step = 0;           // of the rename without posix-rename
        bool aside = false;     // the old file stands aside
        // Requests that tidy up after a failure, sent one after the other.
        std::deque<std::pair<std::uint8_t, Out>> cleanup;
    };

    void ask(Job& job, std::uint8_t type, const Out& payload) { waiting_[sftp_.send(type, payload)] = job.index; }
    std::string part(const Job& job) const { return sftp_.at(partName(files_[job.index].name)); }
    void finish(Job& job, const std::string& problem);
    std::string asideOf(const std::string& name) const { return sftp_.at(asideName(name)); }
    void begin(Job& job);
    void checked(Job& job, const Reply& reply);
    void opened(Job& job, const Reply& reply);
    void closed(Job& job, const Reply& reply);
    void measured(Job& job, const Reply& reply);
    void renameStep(Job& job);
    void renamed(Job& job, const Reply& reply);
    void clean(Job& job, std::string problem);
    void cleaned(Job& job);
    void endStopped(Job& job);

    Sftp& sftp_;
    const std::vector<Upload>& files_;
    const PutEvents& events_;
    std::map<std::size_t, Job> jobs_; // by index
    std::map<std::uint32_t, std::size_t> waiting_;
    std::set<std::uint32_t> ignored_; // requests whose answer does not matter
    std::size_t next_ = 0;
    bool stopping_ = false;
};

void Sftp::PutRun::finish(Job& job, const std::string& problem) {
    const std::size_t index = job.index;
    if (events_.finished) {
        events_.finished(index, problem);
    }
    jobs_.erase(index);
}

// A part gone on from is first looked at: it must be a plain file of the size the publisher holds it at, so nothing
// is written through a link nor after bytes that are not the file's. A new part is made new.
void Sftp::PutRun::begin(Job& job) {
    const Upload& upload = files_[job.index];
    if (upload.resumeFrom > 0) {
        job.stage = Stage::Checking;
        ask(job, Lstat, Out().str(part(job)));
        return;
    }
    // Whatever stands at the part's name goes first, a link above all: the server would write through it. The part is
    // then made new, so nothing put there in between is written through either. The server answers in the order
    // asked, so the two go together.
    ignored_.insert(sftp_.send(Remove, Out().str(part(job))));
    ask(job, Open,
        Out().str(part(job)).u32(OpenWrite | OpenCreate | OpenTruncate | OpenNew).u32(AttrPermissions).u32(0644));
}

void Sftp::PutRun::openMore() {
    while (!stopping_ && jobs_.size() < FilesInFlight && next_ < files_.size() && waiting_.size() < RequestsInFlight) {
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
        begin(jobs_.emplace(job.index, std::move(job)).first->second);
    }
}

void Sftp::PutRun::checked(Job& job, const Reply& reply) {
    const std::uintmax_t from = files_[job.index].resumeFrom;
    Attrs attrs;
    In in{reply.body};
    const bool fits = reply.type == AttrsReply && readAttrs(in, attrs) && attrs.regular() && attrs.size == from &&
                      from <= job.total && std::fseek(job.file.get(), static_cast<long>(from), SEEK_SET) == 0;
    if (stopping_) {
        endStopped(job);
    } else if (!fits) {
        clean(job, "the part of " + files_[job.index].name +
                       " on the server was not the one to go on from, and was removed: it goes whole next time");
    } else {
        job.queued = job.acknowledged = from;
        job.stage = Stage::Opening;
        ask(job, Open, Out().str(part(job)).u32(OpenWrite).u32(0));
    }
}

void Sftp::PutRun::opened(Job& job, const Reply& reply) {
    if (reply.type != HandleReply) {
        finish(job, sftp_.fileProblem(reply, files_[job.index].name, "write"));
        return;
    }
    job.handle = std::string(In{reply.body}.str());
    job.stage = Stage::Writing;
    if (job.acknowledged > 0 && events_.progress) {
        events_.progress(job.index, job.acknowledged, job.total);
    }
}

void Sftp::PutRun::writeMore() {
    for (auto& [index, job] : jobs_) {
        while (job.stage == Stage::Writing && !stopping_ && job.problem.empty() && !job.atEnd &&
               job.writes < WritesInFlight && waiting_.size() < RequestsInFlight && sftp_.lost_.empty()) {
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
        if (job.stage == Stage::Writing && job.writes == 0 && (job.atEnd || !job.problem.empty() || stopping_) &&
            sftp_.lost_.empty()) {
            job.cut = !job.atEnd;
            job.stage = Stage::Closing;
            ask(job, Close, Out().str(job.handle));
        }
    }
}

void Sftp::PutRun::closed(Job& job, const Reply& reply) {
    if (job.problem.empty() && reply.status() != Ok) {
        job.problem = sftp_.fileProblem(reply, files_[job.index].name, "store");
    }
    if (!job.problem.empty()) {
        // What arrived of it goes; the old file was never touched.
        clean(job, job.problem);
    } else if (job.cut) {
        endStopped(job);
    } else if (files_[job.index].resumeFrom > 0) {
        // A part gone on from holds bytes sent before: whole only when it came to the file's size.
        job.stage = Stage::Measuring;
        ask(job, Lstat, Out().str(part(job)));
    } else {
        job.stage = Stage::Renaming;
        renameStep(job);
    }
}

void Sftp::PutRun::measured(Job& job, const Reply& reply) {
    Attrs attrs;
    In in{reply.body};
    if (reply.type == AttrsReply && readAttrs(in, attrs) && attrs.regular() && attrs.size == job.total) {
        job.stage = Stage::Renaming;
        renameStep(job);
        return;
    }
    clean(job, "the part of " + files_[job.index].name +
                   " on the server did not come to the file's size, and was removed: it goes whole next time");
}

// The part goes to its target; without posix-rename, the old file steps aside for the moment of the rename.
void Sftp::PutRun::renameStep(Job& job) {
    const std::string& name = files_[job.index].name;
    if (sftp_.posixRename_) {
        ask(job, Extended, Out().str(PosixRename).str(part(job)).str(sftp_.at(name)));
    } else if (job.step == 0) {
        ask(job, Remove, Out().str(asideOf(name)));
    } else if (job.step == 1) {
        ask(job, Rename, Out().str(sftp_.at(name)).str(asideOf(name)));
    } else if (job.step == 2) {
        ask(job, Rename, Out().str(part(job)).str(sftp_.at(name)));
    } else {
        ask(job, Remove, Out().str(asideOf(name)));
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

// After a failure: the old file back in its place when it stood aside, and the part gone.
void Sftp::PutRun::clean(Job& job, std::string problem) {
    const std::string& name = files_[job.index].name;
    job.problem = std::move(problem);
    job.stage = Stage::Cleaning;
    if (job.aside) {
        job.cleanup.emplace_back(Rename, Out().str(asideOf(name)).str(sftp_.at(name)));
    }
    job.cleanup.emplace_back(Remove, Out().str(part(job)));
    ask(job, job.cleanup.front().first, job.cleanup.front().second);
}

void Sftp::PutRun::cleaned(Job& job) {
    job.cleanup.pop_front();
    if (job.cleanup.empty()) {
        finish(job, job.problem);
    } else {
        ask(job, job.cleanup.front().first, job.cleanup.front().second);
    }
}

// A file cut off by a stop keeps its part only when asked to, for a later publish to go on from.
void Sftp::PutRun::endStopped(Job& job) {
    const std::string problem = stoppedBefore(files_[job.index].name);
    if (files_[job.index].keepPart) {
        finish(job, problem);
    } else {
        clean(job, problem);
    }
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
    switch (job.stage) {
    case Stage::Checking:
        return checked(job, reply);
    case Stage::Opening:
        return opened(job, reply);
    case Stage::Writing:
        --job.writes;
        if (reply.status() != Ok && job.problem.empty()) {
            job.problem = sftp_.fileProblem(reply, files_[index].name, "store");
        }
        if (job.problem.empty() && events_.progress) {
            job.acknowledged = std::min(job.queued, job.acknowledged + Chunk);
            events_.progress(index, job.acknowledged, job.total);
        }
        return;
    case Stage::Closing:
        return closed(job, reply);
    case Stage::Measuring:
        return measured(job, reply);
    case Stage::Renaming:
        return renamed(job, reply);
    case Stage::Cleaning:
        return cleaned(job);
    }
}

void Sftp::PutRun::lose(const std::string& problem) {
    for (auto& [index, job] : jobs_) {
        if (events_.finished) {
            events_.finished(index, problem.empty() ? stoppedBefore(files_[index].name) : problem);
        }
    }
    jobs_.clear();
}

std::string Sftp::put(const std::vector<Upload>& files, const PutEvents& events, const std::atomic<bool>& cancel) {
    if (const std::string problem = connect(); !problem.empty()) {
        return problem;
    }
    PutRun run(*this, files, events);
    std::int64_t deadline = 0;
    bool gaveUp = false; // on the answers after a stop
    while (lost_.empty() && run.more()) {
        if (cancel && !run.stopping()) {
            run.stop();
            deadline = monotonicMs() + StopGraceMs;
        }
        run.openMore();
        run.writeMore();
        if (!run.awaits() || !lost_.empty()) {
            continue;
        }
        const int waitMs =
            run.stopping() ? static_cast<int>(std::max<std::int64_t>(0, deadline - monotonicMs())) : IdleMs;
        Reply reply;
        const Got got = receive(reply, waitMs, run.stopping() ? nullptr : &cancel);
        if (got == Got::Reply) {
            run.answer(reply);
        } else if (got == Got::Nothing && run.stopping()) {
            gaveUp = true;
            lose("the server did not finish what was under way within " + std::to_string(StopGraceMs / 1000) +
                 " seconds of the stop; the connection was closed");
        } else if (got == Got::Nothing && !cancel) {
            lose("the server answered nothing for a minute");
        }
    }
    const std::string problem = lost_.empty() || gaveUp ? "" : lost_;
    run.lose(problem);
    return problem;
}

} // namespace clipnest::publish
