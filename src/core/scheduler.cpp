#include "core/scheduler.h"

#include <algorithm>

namespace clipnest {

int StepScheduler::add(std::string name, int intervalMs, Handler handler) {
    steps_.push_back(Entry{std::move(name), intervalMs, std::move(handler)});
    return static_cast<int>(steps_.size()) - 1;
}

void StepScheduler::arm(int id) {
    Entry& e = steps_.at(id);
    if (e.armed) {
        return;
    }
    e.armed = true;
    e.due = clock_.nowMs() + e.interval;
    e.order = armCount_++;
}

void StepScheduler::disarm(int id) {
    steps_.at(id).armed = false;
}

void StepScheduler::setInterval(int id, int intervalMs) {
    Entry& e = steps_.at(id);
    e.interval = intervalMs;
    if (e.armed) {
        e.due = clock_.nowMs() + intervalMs;
    }
}

std::optional<std::int64_t> StepScheduler::nextDue() const {
    std::optional<std::int64_t> best;
    for (const Entry& e : steps_) {
        if (e.armed && (!best || e.due < *best)) {
            best = e.due;
        }
    }
    return best;
}

int StepScheduler::earliestDue(std::int64_t now) const {
    int best = -1;
    for (int i = 0; i < size(); ++i) {
        const Entry& e = steps_[i];
        if (!e.armed || e.due > now) {
            continue;
        }
        if (best < 0 || e.due < steps_[best].due || (e.due == steps_[best].due && e.order < steps_[best].order)) {
            best = i;
        }
    }
    return best;
}

int StepScheduler::runDue() {
    const std::int64_t now = clock_.nowMs();
    int ran = 0;
    for (int id = earliestDue(now); id >= 0; id = earliestDue(now)) {
        Entry& e = steps_[id];
        e.due = now + e.interval;
        ++ran;
        // The handler may add nothing but may arm, disarm or re-time any Step, itself included.
        Handler handler = e.handler;
        handler();
    }
    return ran;
}

void StepScheduler::stopAll() {
    for (Entry& e : steps_) {
        e.armed = false;
    }
}

bool runInVirtualTime(StepScheduler& scheduler, VirtualClock& clock, std::int64_t until,
                      const std::function<bool()>& keepGoing) {
    while (keepGoing()) {
        const std::optional<std::int64_t> due = scheduler.nextDue();
        if (!due) {
            return true;
        }
        if (*due > until) {
            return false;
        }
        clock.now = std::max(clock.now, *due);
        scheduler.runDue();
    }
    return true;
}

} // namespace clipnest
