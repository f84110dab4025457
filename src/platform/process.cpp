#include "platform/process.h"

#include "platform/launch.h"

#include <cerrno>
#include <csignal>
#include <ctime>
#include <fstream>
#include <pthread.h>
#include <sstream>
#include <string>
#include <unistd.h>

namespace clipnest {

std::int64_t processId() {
    return static_cast<std::int64_t>(::getpid());
}

bool processRuns(std::int64_t id) {
    return id > 0 && (::kill(static_cast<pid_t>(id), 0) == 0 || errno != ESRCH);
}

std::filesystem::path ownProgram() {
    std::error_code ec;
    return std::filesystem::read_symlink("/proc/self/exe", ec);
}

void replaceProcess(const std::filesystem::path& program, char* argv[]) {
    execInPlace(program.c_str(), argv);
}

namespace {

std::atomic<bool> interruptedFlag = false;

} // namespace

struct InterruptScope::Saved {
    struct sigaction previous {};
};

InterruptScope::InterruptScope() : saved_(std::make_unique<Saved>()) {
    interruptedFlag = false;
    struct sigaction stop {};
    stop.sa_handler = [](int) { interruptedFlag = true; };
    sigemptyset(&stop.sa_mask);
    ::sigaction(SIGINT, &stop, &saved_->previous);
}

InterruptScope::~InterruptScope() {
    ::sigaction(SIGINT, &saved_->previous, nullptr);
}

const std::atomic<bool>& InterruptScope::flag() const {
    return interruptedFlag;
}

namespace {

sigset_t stopSignals() {
    sigset_t stopping;
    sigemptyset(&stopping);
    sigaddset(&stopping, SIGINT);
    sigaddset(&stopping, SIGTERM);
    sigaddset(&stopping, SIGHUP);
    return stopping;
}

} // namespace

void holdStopSignals() {
    const sigset_t stopping = stopSignals();
    ::pthread_sigmask(SIG_BLOCK, &stopping, nullptr);
}

bool waitForStop(int ms) {
    const sigset_t stopping = stopSignals();
    const timespec wait{ms / 1000, static_cast<long>(ms % 1000) * 1'000'000};
    return ::sigtimedwait(&stopping, nullptr, &wait) >= 0;
}

// Milliseconds since the kernel started this process (10 ms resolution), so loading the libraries counts too.
double msSinceProcessStart() {
    std::ifstream stat("/proc/self/stat");
    std::string line;
    std::getline(stat, line);
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    std::string field;
    // starttime is field 22; the stream starts at field 3.
    for (int i = 3; i <= 22; ++i) {
        fields >> field;
    }
    const double startSeconds = std::stod(field) / static_cast<double>(sysconf(_SC_CLK_TCK));
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return (static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9 - startSeconds) * 1000.0;
}

std::string processStatusLine(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(key, 0) == 0) {
            return line;
        }
    }
    return {};
}

bool outputIsTerminal() {
    return ::isatty(STDOUT_FILENO) == 1;
}

} // namespace clipnest
