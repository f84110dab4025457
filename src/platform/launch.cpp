#include "platform/launch.h"

#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace clipnest {

namespace {

// The pointers exec takes, to the strings given, ending in a null.
std::vector<char*> pointersTo(const std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (const std::string& text : strings) {
        pointers.push_back(const_cast<char*>(text.c_str()));
    }
    pointers.push_back(nullptr);
    return pointers;
}

// Puts `from` (or the null device, opened as `null`) in place of the child's descriptor `to`. A descriptor already
// in its place is kept open across the exec.
void place(int from, int to, int null) {
    const int source = from == Launch::NullDevice ? null : from;
    if (source == to) {
        ::fcntl(to, F_SETFD, 0);
    } else {
        ::dup2(source, to);
    }
}

// In the child, after the fork: only calls that are safe in a signal handler. Runs the program or ends with 127,
// having sent why on `failed`.
[[noreturn]] void runProgram(const Launch& how, char* const argv[], char* const envp[], int failed) {
    if (how.memoryBytes > 0) {
        const rlimit memory{static_cast<rlim_t>(how.memoryBytes), static_cast<rlim_t>(how.memoryBytes)};
        ::setrlimit(RLIMIT_AS, &memory);
    }
    if (how.defaultBrokenPipe) {
        struct sigaction byDefault {};
        byDefault.sa_handler = SIG_DFL;
        ::sigaction(SIGPIPE, &byDefault, nullptr);
    }
    if (envp == nullptr) {
        ::execvp(argv[0], argv);
    } else {
        ::execvpe(argv[0], argv, envp);
    }
    const int why = errno;
    (void)!::write(failed, &why, sizeof why);
    ::_exit(127);
}

// The guard: starts the program in its own group and ends the group once the program has ended or `parent` is gone.
[[noreturn]] void guard(const Launch& how, char* const argv[], char* const envp[], int failed, pid_t parent) {
    const pid_t program = ::fork();
    if (program == 0) {
        runProgram(how, argv, envp, failed);
    }
    // Nothing of this process's is held here: the report now comes from the program's exec alone, and a pipe another
    // thread was making for a program of its own ends when that program is done with it.
    ::close_range(3, ~0U, 0);
    const timespec pause{0, 200'000'000};
    for (;;) {
        if (program < 0 || ::waitpid(program, nullptr, WNOHANG) == program || ::getppid() != parent) {
            ::kill(-::getpid(), SIGKILL);
            ::_exit(0);
        }
        ::nanosleep(&pause, nullptr);
    }
}

} // namespace

Launched launch(const Launch& how) {
    Launched launched;
    if (how.argv.empty()) {
        launched.execError = ENOENT;
        return launched;
    }
    const std::vector<char*> argv = pointersTo(how.argv);
    const std::vector<char*> envp = how.environment ? pointersTo(*how.environment) : std::vector<char*>();
    int failed[2]; // closed on exec; the exec's errno arrives when the program could not be run
    if (::pipe2(failed, O_CLOEXEC) != 0) {
        launched.execError = errno;
        return launched;
    }
    const bool ownGroup = how.ownGroup || how.guarded;
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(failed[0]);
        if (ownGroup) {
            ::setpgid(0, 0);
        }
        const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
        place(how.input, STDIN_FILENO, null);
        place(how.output, STDOUT_FILENO, null);
        place(how.errors, STDERR_FILENO, null);
        char* const* environment = how.environment ? envp.data() : nullptr;
        if (how.guarded) {
            guard(how, argv.data(), environment, failed[1], parent);
        }
        runProgram(how, argv.data(), environment, failed[1]);
    }
    ::close(failed[1]);
    if (pid < 0) {
        launched.execError = errno;
        ::close(failed[0]);
        return launched;
    }
    if (ownGroup) {
        ::setpgid(pid, pid); // also here, so the group is there before this process signals it
    }
    launched.pid = pid;
    int why = 0;
    ssize_t n;
    while ((n = ::read(failed[0], &why, sizeof why)) < 0 && errno == EINTR) {
    }
    ::close(failed[0]);
    if (n == static_cast<ssize_t>(sizeof why)) {
        launched.execError = why;
    }
    return launched;
}

void execInPlace(const char* program, char* const argv[]) {
    ::execv(program, argv);
}

} // namespace clipnest
