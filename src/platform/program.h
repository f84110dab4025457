#pragma once

#include <string>
#include <vector>

namespace clipnest {

// What a program run to its end gave: whether it could be started at all, its exit status, its standard output.
struct ProgramRun {
    bool started = false;
    int status = -1; // the exit status; -1 when it was killed by a signal
    std::string out;
};

// Runs `argv` (found on the PATH, no shell in between) with no input and its standard error discarded, and waits
// for it. At most `maxOut` bytes of its output are kept.
ProgramRun runProgram(const std::vector<std::string>& argv, std::size_t maxOut = std::size_t{1} << 20);

// Whether `program` is on the PATH as a file that may be run.
bool onPath(const std::string& program);

} // namespace clipnest
