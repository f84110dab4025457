#pragma once

#include <chrono>
#include <cstdint>

namespace clipnest {

// Milliseconds on a monotonic time line. The window uses the system clock; tests use a virtual one.
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

} // namespace clipnest
