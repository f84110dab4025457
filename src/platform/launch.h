#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace clipnest {

// How a child process is started: every program this one runs beside itself is started by `launch`.
struct Launch {
    // The program (looked for on the PATH unless it names a path) and its arguments, argv[0] included; no shell.
    std::vector<std::string> argv;
    // Its whole environment, a "NAME=value" each; none: this process's own.
    std::optional<std::vector<std::string>> environment;
    // Where its standard input, output and error go: a descriptor of this process, or NullDevice (/dev/null).
    static constexpr int NullDevice = -1;
    int input = NullDevice;
    int output = NullDevice;
    int errors = NullDevice;
    // A process group of its own, so a Ctrl+C in the terminal reaches only this process, which then decides.
    bool ownGroup = false;
    // The program runs under a guard, the process launched, in a group of its own with the program: once the program
    // has ended or this process is gone (however it ended), the guard ends the whole group, the program's own
    // children too.
    bool guarded = false;
    // Its address space (setrlimit RLIMIT_AS, so an allocation past it fails in the program); 0 for no limit.
    std::uint64_t memoryBytes = 0;
    // SIGPIPE as a program expects it by default, whatever this process does with it.
    bool defaultBrokenPipe = false;
};

// What became of a launch: the process made (the guard when guarded), -1 when none could be; and why the program
// could not be run (errno of its exec; 0 when it runs). A program that could not be run ends with status 127.
struct Launched {
    pid_t pid = -1;
    int execError = 0;
};

// Starts `how.argv` as `how` says and returns once the program runs or could not be run. Everything the child
// needs is made before the fork: the child of a program with threads may only call what is safe in a signal
// handler. The descriptors opened here (the null device, the report of a failed exec) never reach the program.
Launched launch(const Launch& how);

// Runs `program` in place of this process with `argv` (argv[0] included) and this process's environment; returns
// only when it could not.
void execInPlace(const char* program, char* const argv[]);

} // namespace clipnest
