#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace clipnest {

// What a program run to its end gave: whether it could be started at all, its exit status, its standard output.
struct ProgramRun {
    bool started = false;
    int status = -1; // the exit status; -1 when it was killed by a signal
    std::string out;
    // It ran past its time and was killed.
    bool timedOut = false;
    // Its watcher's cancel flag was set and it was killed.
    bool cancelled = false;
};

// What a run may take: its time from start to end, and the address space of its process (setrlimit RLIMIT_AS, so an
// allocation past it fails in the program). 0 for no limit.
struct RunLimits {
    int timeMs = 0;
    std::uint64_t memoryBytes = 0;
};

// Who follows a run as it goes: each piece of its output as it comes (besides what is kept), and a flag that, once
// set, has the program killed. A watched program runs in a process group of its own, so a Ctrl+C in the terminal
// reaches only this process, which then decides.
struct RunWatch {
    std::function<void(std::string_view)> output;
    const std::atomic<bool>* cancel = nullptr;
};

// Runs `argv` (found on the PATH, no shell in between) with no input and its standard error discarded, and waits
// for it. At most `maxOut` bytes of its output are kept. Past `limits.timeMs` it is killed (SIGKILL) and waited for.
ProgramRun runProgram(const std::vector<std::string>& argv, std::size_t maxOut = std::size_t{1} << 20,
                      const RunLimits& limits = {}, const RunWatch* watch = nullptr);

// Whether `program` is on the PATH as a file that may be run.
bool onPath(const std::string& program);

} // namespace clipnest
