#pragma once

#include <chrono>
#include <cstdint>

namespace clipnest {

// Milliseconds on a monotonic time line. The window uses the system clock; tests and the command line a virtual one.
class Clock {
public:
    virtual ~Clock() = default;
    virtual std::int64_t nowMs() const = 0;
};

class SystemClock final : public Clock {
public:
    std::int64_t nowMs() const override {
        using namespace std::chrono;
        return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    }
};

// A clock that moves only when told to: tests and the command line run whole chains of Steps on it at once.
class VirtualClock final : public Clock {
public:
    std::int64_t nowMs() const override { return now; }
    std::int64_t now = 0;
};

} // namespace clipnest
