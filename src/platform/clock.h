#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace clipnest {

// Milliseconds on a monotonic time line. The window uses the system clock; tests and the command line a virtual one.
class Clock {
public:
    virtual ~Clock() = default;
    virtual std::int64_t nowMs() const = 0;
};

class SystemClock final : public Clock {
public:
    std::int64_t nowMs() const override;
};

// A clock that moves only when told to: tests and the command line run whole chains of Steps on it at once.
class VirtualClock final : public Clock {
public:
    std::int64_t nowMs() const override { return now; }
    std::int64_t now = 0;
};

// The system's monotonic milliseconds, for timing what takes a while (a publish's progress, a wait for a server).
std::int64_t monotonicMs();

// A moment on the wall clock with the local zone's offset from UTC then.
struct WallTime {
    std::int64_t seconds = 0; // since the epoch
    int offsetMinutes = 0;
};
// Every read of the wall clock goes through here (the history's record times, the first-made dates).
WallTime wallTimeNow();
WallTime wallTimeAt(std::int64_t seconds);
// "2026-12-09 03:27:57" in the local zone; empty when the time cannot be shown.
std::string localTimeText(std::int64_t seconds);
// Puts another wall clock (seconds since the epoch) in the system's place, for tests; the one it replaced.
std::int64_t (*setWallClock(std::int64_t (*clock)()))();

} // namespace clipnest
