#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace clipnest {

// This process's id, which names the temporary files it makes.
std::int64_t processId();
// Whether a process of that id still runs (one of another user's counts); false for an id no process has.
bool processRuns(std::int64_t id);
// The path of the running program, links resolved; empty when the system does not say.
std::filesystem::path ownProgram();
// Runs `program` in place of this process with these arguments (argv[0] included); returns only when it could not.
void replaceProcess(const std::filesystem::path& program, char* argv[]);

// While one lives, Ctrl+C does not end the process but sets its flag; the handler before it comes back after.
class InterruptScope {
public:
    InterruptScope();
    ~InterruptScope();
    InterruptScope(const InterruptScope&) = delete;
    InterruptScope& operator=(const InterruptScope&) = delete;
    const std::atomic<bool>& flag() const;

private:
    struct Saved;
    std::unique_ptr<Saved> saved_;
};

// Blocks Ctrl+C, a terminal's hang-up and a termination request for this process; `waitForStop` then waits up to
// `ms` milliseconds for one: true when one came.
void holdStopSignals();
bool waitForStop(int ms);

// Milliseconds since the kernel started this process (10 ms resolution), so loading the libraries counts too.
double msSinceProcessStart();
// The line of the system's status of this process that starts with `key` ("VmHWM:"); empty when there is none.
std::string processStatusLine(const char* key);

// Whether standard output is a terminal (progress may then be drawn on one line).
bool outputIsTerminal();

} // namespace clipnest
