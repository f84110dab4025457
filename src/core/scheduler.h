#pragma once

#include "platform/clock.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace clipnest {

// Interval timers on one thread. A Step armed at time t first runs at t + interval and then every interval
// until it is disarmed. Due Steps run one at a time, earliest first, ties in the order they were armed.
class StepScheduler {
public:
    using Handler = std::function<void()>;

    explicit StepScheduler(const Clock& clock) : clock_(clock) {}

    // Registers a Step, disarmed, and returns its id (ids count up from 0 in registration order).
    int add(std::string name, int intervalMs, Handler handler);

    // Arming an armed Step does not restart its countdown.
    void arm(int id);
    void disarm(int id);
    // Restarts the countdown of an armed Step, as an interval timer does when its interval changes.
    void setInterval(int id, int intervalMs);

    bool isArmed(int id) const { return steps_.at(id).armed; }
    int size() const { return static_cast<int>(steps_.size()); }

    // Earliest time at which an armed Step is due, if any is armed.
    std::optional<std::int64_t> nextDue() const;

    // Runs every Step due at the clock's current time, one after the other; returns how many ran.
    int runDue();

    // Disarms every Step: after this nothing runs again until something is armed.
    void stopAll();

private:
    struct Entry {
        std::string name;
        int interval = 0;
        Handler handler;
        bool armed = false;
        std::int64_t due = 0;
        std::uint64_t order = 0;
    };
    int earliestDue(std::int64_t now) const;

    const Clock& clock_;
    std::vector<Entry> steps_;
    std::uint64_t armCount_ = 0;
};

// Moves a virtual clock from one due time to the next, no further than `until`, and runs the Steps due there, for as
// long as `keepGoing()` holds. False when a Step was still due beyond `until` (the time ran out), else true.
bool runInVirtualTime(StepScheduler& scheduler, VirtualClock& clock, std::int64_t until,
                      const std::function<bool()>& keepGoing);

} // namespace clipnest
