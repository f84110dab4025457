#include "platform/program.h"

#include "platform/launch.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <signal.h>
#include <string_view>
#include <sys/wait.h>
#include <unistd.h>

namespace clipnest {

ProgramRun runProgram(const std::vector<std::string>& argv, std::size_t maxOut, const RunLimits& limits,
                      const RunWatch* watch) {
    ProgramRun run;
    if (argv.empty()) {
        return run;
    }
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) {
        return run;
    }
    Launch how;
    how.argv = argv;
    how.ownGroup = watch != nullptr;
    how.output = out[1];
    how.memoryBytes = limits.memoryBytes;
    // Under a memory limit the C library's allocator is held to two arenas: it reserves 64 MB of address space for
    // each thread's arena otherwise, so a program of many threads (ffmpeg) would fail within the limit for nothing.
    if (limits.memoryBytes > 0) {
        how.environment.emplace();
        for (char** e = environ; *e != nullptr; ++e) {
            if (!std::string_view(*e).starts_with("MALLOC_ARENA_MAX=")) {
                how.environment->emplace_back(*e);
            }
        }
        how.environment->emplace_back("MALLOC_ARENA_MAX=2");
    }
    const Launched launched = launch(how);
    ::close(out[1]);
    if (launched.pid < 0) {
        ::close(out[0]);
        return run;
    }
    run.started = launched.execError == 0;
    const pid_t pid = launched.pid;
    using Clock = std::chrono::steady_clock;
    const Clock::time_point until = Clock::now() + std::chrono::milliseconds(limits.timeMs);
    // Past its time the program is killed; its output then ends, as the pipe's writer is gone (a child of its own
    // that kept the pipe is not waited for: the reading stops at the time all the same).
    const auto pastTime = [&] {
        if (limits.timeMs <= 0 || Clock::now() < until) {
            return false;
        }
        if (!run.timedOut) {
            ::kill(pid, SIGKILL);
            run.timedOut = true;
        }
        return true;
    };
    // A cancel is looked for between slices of the wait.
    const bool cancellable = watch != nullptr && watch->cancel != nullptr;
    const auto cancelled = [&] {
        if (!cancellable || !watch->cancel->load()) {
            return false;
        }
        if (!run.cancelled && !run.timedOut) {
            ::kill(pid, SIGKILL);
            run.cancelled = true;
        }
        return true;
    };
    char buffer[65536];
    for (;;) {
        if (cancelled()) {
            break;
        }
        if (limits.timeMs > 0 || cancellable) {
            const auto left = limits.timeMs > 0
                                  ? std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count()
                                  : 100;
            pollfd ready{out[0], POLLIN, 0};
            const int polled =
                ::poll(&ready, 1,
                       static_cast<int>(std::max<long long>(0, cancellable ? std::min<long long>(left, 100) : left)));
            if (polled == 0 && (pastTime() || cancelled())) {
                break;
            }
            if (polled < 0 && errno != EINTR) {
                break;
            }
            if (polled <= 0) {
                continue;
            }
        }
        const ssize_t n = ::read(out[0], buffer, sizeof buffer);
        if (n == 0) {
            break;
        }
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        if (watch != nullptr && watch->output) {
            watch->output(std::string_view(buffer, static_cast<std::size_t>(n)));
        }
        if (run.out.size() < maxOut) {
            run.out.append(buffer, std::min<std::size_t>(static_cast<std::size_t>(n), maxOut - run.out.size()));
        }
    }
    ::close(out[0]);
    int status = 0;
    // A program that closed its output may still run: its time holds until it ends.
    while ((limits.timeMs > 0 || cancellable) && !run.timedOut && !run.cancelled) {
        const pid_t ended = ::waitpid(pid, &status, WNOHANG);
        if (ended == pid || (ended < 0 && errno != EINTR)) {
            run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            return run;
        }
        if (!pastTime() && !cancelled()) {
            ::usleep(5000);
        }
    }
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

bool onPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    for (std::size_t from = 0; from <= dirs.size();) {
        const std::size_t colon = std::min(dirs.find(':', from), dirs.size());
        const std::filesystem::path candidate =
            std::filesystem::path(from == colon ? "." : dirs.substr(from, colon - from)) / program;
        if (::access(candidate.c_str(), X_OK) == 0 && std::filesystem::is_regular_file(candidate)) {
            return true;
        }
        from = colon + 1;
    }
    return false;
}

} // namespace clipnest
