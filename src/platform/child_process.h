#pragma once

#include "platform/result.h"

#include <atomic>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace clipnest {

// A program run beside this one that is talked to over its standard input and output (one socket for both, so a
// write to a program that is gone fails instead of raising SIGPIPE). Its standard error is kept, the last 64 KB, for
// messages. The program and its own children are ended when this object goes.
class ChildProcess {
public:
    // Starts `argv` (found on the PATH, no shell in between); a failure, with the reason, when it cannot.
    static Result<std::unique_ptr<ChildProcess>> start(const std::vector<std::string>& argv);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    enum class Io { Done, Closed, TimedOut, Cancelled };

    // Writes all `size` bytes. Gives up after `idleMs` in which nothing could be written, or when `cancel` is set.
    Io write(const void* data, std::size_t size, int idleMs, const std::atomic<bool>* cancel = nullptr);
    // Reads exactly `size` bytes; Closed when the program closed its output first.
    Io read(void* data, std::size_t size, int idleMs, const std::atomic<bool>* cancel = nullptr);
    // Whether a read would find something at once.
    bool readable();

    // What the program wrote to its standard error so far.
    std::string errorOutput();

    // Closes its input and waits for it to end (ending it after `graceMs`); its exit status, or -1 for a signal.
    int finish(int graceMs = 2000);

private:
    ChildProcess() = default;
    bool wait(short events, int idleMs, const std::atomic<bool>* cancel, Io& why);
    int pid_ = -1;
    int io_ = -1;
    int err_ = -1;
    std::string errors_;
    int status_ = -1;
    bool ended_ = false;
};

} // namespace clipnest
