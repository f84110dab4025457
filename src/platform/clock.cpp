#include "platform/clock.h"

#include <ctime>

namespace clipnest {

namespace {

// What the wall clock reads: the system's, or the one a test put in its place.
std::int64_t (*wallClock)() = [] {
    using namespace std::chrono;
    return static_cast<std::int64_t>(duration_cast<seconds>(system_clock::now().time_since_epoch()).count());
};

} // namespace

std::int64_t SystemClock::nowMs() const {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::int64_t monotonicMs() {
    return SystemClock().nowMs();
}

WallTime wallTimeNow() {
    return wallTimeAt(wallClock());
}

WallTime wallTimeAt(std::int64_t seconds) {
    const auto t = static_cast<std::time_t>(seconds);
    std::tm local{};
    const bool known = ::localtime_r(&t, &local) != nullptr;
    return {seconds, known ? static_cast<int>(local.tm_gmtoff / 60) : 0};
}

std::string localTimeText(std::int64_t seconds) {
    const auto t = static_cast<std::time_t>(seconds);
    std::tm local{};
    if (::localtime_r(&t, &local) == nullptr) {
        return {};
    }
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

std::int64_t (*setWallClock(std::int64_t (*clock)()))() {
    const auto previous = wallClock;
    wallClock = clock;
    return previous;
}

} // namespace clipnest
