#include "app/scheduler.h"
#include "support/test_support.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace clipnest {
namespace {

using testing::VirtualClock;

struct Fixture {
    VirtualClock clock;
    StepScheduler scheduler{clock};
    std::vector<std::string> log;

    int add(const std::string& name, int interval, std::function<void()> extra = {}) {
        return scheduler.add(name, interval, [this, name, extra] {
            log.push_back(name + "@" + std::to_string(clock.now));
            if (extra) {
                extra();
            }
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
    int runs = 0;
    int a = -1;
    a = f.add("a", 30, [&] {
        if (++runs == 3) {
            f.scheduler.disarm(a);
        }
    });
    f.scheduler.arm(a);
    f.advance(29);
    EXPECT_TRUE(f.log.empty()) << "arming does not run the Step at once";
    f.advance(1000);
    EXPECT_EQ(f.log, (std::vector<std::string>{"a@30", "a@60", "a@90"}));
    EXPECT_FALSE(f.scheduler.nextDue().has_value());
}

TEST(Scheduler, RearmingAnArmedStepKeepsItsCountdown) {
    Fixture f;
    const int a = f.add("a", 100);
    f.scheduler.arm(a);
    f.advance(60);
    f.scheduler.arm(a);
    f.advance(40);
    EXPECT_EQ(f.log, (std::vector<std::string>{"a@100"}));
}

TEST(Scheduler, SetIntervalRestartsTheCountdown) {
    Fixture f;
    int a = -1;
    a = f.add("a", 30, [&] { f.scheduler.setInterval(a, 3000); });
    f.scheduler.arm(a);
    f.advance(3100);
    EXPECT_EQ(f.log, (std::vector<std::string>{"a@30", "a@3030"}));
    // Changing the interval of a disarmed Step only takes effect at the next arming.
    f.scheduler.disarm(a);
    f.scheduler.setInterval(a, 50);
    f.scheduler.arm(a);
    EXPECT_EQ(*f.scheduler.nextDue(), f.clock.now + 50);
}

TEST(Scheduler, DueStepsRunEarliestFirstAndTiesInArmingOrder) {
    Fixture f;
    const int slow = f.add("slow", 250);
    const int b = f.add("b", 30);
    const int a = f.add("a", 30);
    f.scheduler.arm(slow);
    f.scheduler.arm(a);
    f.scheduler.arm(b);
    f.clock.now = 300;
    f.scheduler.runDue();
    // Everything overdue runs once, in due order; ties by arming order, not by registration.
    ASSERT_EQ(f.log.size(), 3u);
    EXPECT_EQ(f.log[0].substr(0, 1), "a");
    EXPECT_EQ(f.log[1].substr(0, 1), "b");
    EXPECT_EQ(f.log[2].substr(0, 4), "slow");
}

TEST(Scheduler, StepArmedByAnotherRunsOneIntervalAfterThatRun) {
    Fixture f;
    const int next = f.add("next", 30);
    const int first = f.add("first", 250, [&] {
        f.scheduler.disarm(first);
        f.scheduler.arm(next);
    });
    f.scheduler.arm(first);
    f.advance(300);
    EXPECT_EQ(f.log, (std::vector<std::string>{"first@250", "next@280"}));
    f.scheduler.stopAll();
    f.advance(1000);
    EXPECT_EQ(f.log.size(), 2u) << "nothing runs after stopAll";
}

} // namespace
} // namespace clipnest
