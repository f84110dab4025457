#include "platform/child_process.h"

#include "platform/launch.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace clipnest {

namespace {

constexpr std::size_t KeptErrors = 64 * 1024;

// Polls in short slices so that a cancel is seen soon.
constexpr int SliceMs = 100;

} // namespace

Result<std::unique_ptr<ChildProcess>> ChildProcess::start(const std::vector<std::string>& argv) {
    if (argv.empty()) {
        return Failure{"no program to run"};
    }
    int io[2] = {-1, -1}, err[2] = {-1, -1};
    const auto closeAll = [&] {
        for (int fd : {io[0], io[1], err[0], err[1]}) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    };
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, io) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
        closeAll();
        return Failure{"could not make the pipes to talk to " + argv[0]};
    }
    Launch how;
    how.argv = argv;
    how.input = how.output = io[1];
    how.errors = err[1];
    // A group of its own: a Ctrl+C in the terminal reaches Clipnest, which ends the program itself.
    how.ownGroup = true;
    how.defaultBrokenPipe = true;
    const Launched launched = launch(how);
    if (launched.pid < 0) {
        closeAll();
        return Failure{"could not start " + argv[0]};
    }
    ::close(io[1]);
    ::close(err[1]);
    std::unique_ptr<ChildProcess> child(new ChildProcess);
    child->pid_ = launched.pid;
    child->io_ = io[0];
    child->err_ = err[0];
    ::fcntl(child->io_, F_SETFL, O_NONBLOCK);
    ::fcntl(child->err_, F_SETFL, O_NONBLOCK);
    if (launched.execError != 0) {
        child->finish(0);
        return Failure{argv[0] + (launched.execError == ENOENT
                                      ? std::string(" is not installed (not found on the PATH)")
                                      : " could not be started")};
    }
    return child;
}

ChildProcess::~ChildProcess() {
    finish(0);
}

std::string ChildProcess::errorOutput() {
    char buffer[4096];
    for (ssize_t n; err_ >= 0 && (n = ::read(err_, buffer, sizeof buffer)) > 0;) {
        errors_.append(buffer, static_cast<std::size_t>(n));
        if (errors_.size() > KeptErrors) {
            errors_.erase(0, errors_.size() - KeptErrors);
        }
    }
    return errors_;
}

bool ChildProcess::wait(short events, int idleMs, const std::atomic<bool>* cancel, Io& why) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(idleMs);
    for (;;) {
        if (cancel && cancel->load()) {
            why = Io::Cancelled;
            return false;
        }
        pollfd fds[2] = {{io_, events, 0}, {err_, POLLIN, 0}};
        const int n = ::poll(fds, err_ >= 0 ? 2 : 1, SliceMs);
        if (n < 0 && errno != EINTR) {
            why = Io::Closed;
            return false;
        }
        if (n > 0 && (fds[1].revents & (POLLIN | POLLHUP))) {
            errorOutput();
            if (fds[1].revents & POLLHUP && !(fds[1].revents & POLLIN)) {
                ::close(err_);
                err_ = -1;
            }
        }
        if (n > 0 && fds[0].revents) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= until) {
            why = Io::TimedOut;
            return false;
        }
    }
}

ChildProcess::Io ChildProcess::write(const void* data, std::size_t size, int idleMs, const std::atomic<bool>* cancel) {
    const char* at = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::send(io_, at, size, MSG_NOSIGNAL);
        if (n > 0) {
            at += n;
            size -= static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            return Io::Closed;
        }
        Io why = Io::Done;
        if (!wait(POLLOUT, idleMs, cancel, why)) {
            return why;
        }
    }
    return Io::Done;
}

ChildProcess::Io ChildProcess::read(void* data, std::size_t size, int idleMs, const std::atomic<bool>* cancel) {
    char* at = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t n = ::recv(io_, at, size, 0);
        if (n > 0) {
            at += n;
            size -= static_cast<std::size_t>(n);
            continue;
        }
        if (n == 0) {
            return Io::Closed;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            return Io::Closed;
        }
        Io why = Io::Done;
        if (!wait(POLLIN, idleMs, cancel, why)) {
            return why;
        }
    }
    return Io::Done;
}

bool ChildProcess::readable() {
    pollfd fd{io_, POLLIN, 0};
    return ::poll(&fd, 1, 0) > 0;
}

int ChildProcess::finish(int graceMs) {
    if (ended_ || pid_ < 0) {
        return status_;
    }
    if (io_ >= 0) {
        ::shutdown(io_, SHUT_WR);
    }
    int status = 0;
    pid_t done = 0;
    for (int waited = 0; (done = ::waitpid(pid_, &status, WNOHANG)) == 0 && waited < graceMs; waited += 10) {
        errorOutput();
        ::usleep(10'000);
    }
    if (done == 0) {
        ::kill(-pid_, SIGTERM);
        ::kill(pid_, SIGTERM);
        for (int waited = 0; (done = ::waitpid(pid_, &status, WNOHANG)) == 0 && waited < 1000; waited += 10) {
            ::usleep(10'000);
        }
        if (done == 0) {
            ::kill(-pid_, SIGKILL);
            ::kill(pid_, SIGKILL);
            while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
            }
        }
    }
    errorOutput();
    for (int* fd : {&io_, &err_}) {
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
    }
    ended_ = true;
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return status_;
}

} // namespace clipnest
