#include "shell/scheduler.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace clipnest::testing {
namespace {

using Log = std::vector<std::string>;

// Steps that log "name@time" when they run, on a virtual clock.
struct Fixture {
    VirtualClock clock;
    StepScheduler scheduler{clock};
    Log log;

    int add(
        const std::string& name, int interval, std::function<void()> extra = [] {}) {
        return scheduler.add(name, interval, [this, name, extra] {
            log.push_back(name + "@" + std::to_string(clock.now));
            extra();
        });
    }
    void advance(std::int64_t ms) {
        const std::int64_t target = clock.now + ms;
        for (auto due = scheduler.nextDue(); due && *due <= target; due = scheduler.nextDue()) {
            clock.now = *due;
            scheduler.runDue();
        }
        clock.now = target;
    }
};

TEST(Scheduler, ArmedStepRunsEveryIntervalUntilDisarmed) {
    Fixture f;
    int a = -1;
    a = f.add("a", 30, [&] {
        if (f.log.size() == 3) {
            f.scheduler.disarm(a);
        }
    });
    f.scheduler.arm(a);
    f.advance(29);
    EXPECT_TRUE(f.log.empty()) << "arming does not run the Step at once";
    f.advance(1000);
    EXPECT_EQ(f.log, (Log{"a@30", "a@60", "a@90"}));
    EXPECT_FALSE(f.scheduler.nextDue().has_value());
}

TEST(Scheduler, RearmingKeepsTheCountdownAndAnIntervalChangeRestartsIt) {
    Fixture f;
    int a = -1;
    a = f.add("a", 100, [&] { f.scheduler.setInterval(a, 3000); });
    f.scheduler.arm(a);
    f.advance(60);
    f.scheduler.arm(a);
    f.advance(3100);
    EXPECT_EQ(f.log, (Log{"a@100", "a@3100"}));
    // The interval of a disarmed Step takes effect at the next arming.
    f.scheduler.disarm(a);
    f.scheduler.setInterval(a, 50);
    f.scheduler.arm(a);
    EXPECT_EQ(*f.scheduler.nextDue(), f.clock.now + 50);
}

TEST(Scheduler, DueStepsRunEarliestFirstTiesInArmingOrderAndArmedStepsWaitAFullInterval) {
    Fixture f;
    const int slow = f.add("slow", 250);
    const int b = f.add("b", 30);
    const int a = f.add("a", 30);
    f.scheduler.arm(slow);
    f.scheduler.arm(a);
    f.scheduler.arm(b);
    f.clock.now = 300;
    f.scheduler.runDue();
    // Everything overdue runs once; ties by arming order, not by registration.
    EXPECT_EQ(f.log, (Log{"a@300", "b@300", "slow@300"}));

    Fixture g;
    const int next = g.add("next", 30);
    int first = -1;
    first = g.add("first", 250, [&] {
        g.scheduler.disarm(first);
        g.scheduler.arm(next);
    });
    g.scheduler.arm(first);
    g.advance(300);
    EXPECT_EQ(g.log, (Log{"first@250", "next@280"}));
    g.scheduler.stopAll();
    g.advance(1000);
    EXPECT_EQ(g.log.size(), 2u) << "nothing runs after stopAll";
}

} // namespace
} // namespace clipnest::testing
