// Timers on the main run loop with the virtual clock. Tests measure time
// from the clock's value at their start: the clock belongs to the device
// and is never reset. Spans are binary fractions, so that sums of them are
// exact whatever the clock stood at.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "foundation/RunLoop.h"
#include "runtime/Process.h"

namespace {

struct Firing {
    std::string name;
    double at;
};

class RunLoopTest : public ::testing::Test {
protected:
    void SetUp() override {
        Process::terminate();
        start = loop().now();
    }
    void TearDown() override { Process::terminate(); }
    static NSRunLoop& loop() { return NSRunLoop::mainRunLoop(); }

    std::shared_ptr<NSTimer> every(double interval, bool repeats, const std::string& name) {
        return NSTimer::scheduledTimerWithTimeInterval(interval, repeats, [this, name](NSTimer*) {
            fired.push_back({name, loop().now() - start});
        });
    }
    std::vector<std::string> names() const {
        std::vector<std::string> n;
        for (const auto& f : fired) n.push_back(f.name);
        return n;
    }

    double start = 0;
    std::vector<Firing> fired;
};

// A target that receives the timer's selector.
class Ticker : public NSObject {
public:
    std::string className() const override { return "RLTicker"; }
    std::vector<NSTimer*> ticks;
    static Value tick(const id& self, const SEL&, const Args& args) {
        auto timer = args.empty() ? nullptr : args[0].as<NSTimer>();
        std::static_pointer_cast<Ticker>(self)->ticks.push_back(timer.get());
        return {};
    }
};

} // namespace

// Tests that timers fire in order of due time, ties in order of scheduling,
// with the clock standing at each timer's due time when it fires.
TEST_F(RunLoopTest, FiresInTimeOrderWithTheClockAtEachFiring) {
    every(3.0, false, "c");
    every(1.0, false, "a");
    every(2.0, false, "b1");
    every(2.0, false, "b2");
    every(10.0, false, "late");
    loop().advance(5.0);
    EXPECT_EQ(names(), (std::vector<std::string>{"a", "b1", "b2", "c"}));
    ASSERT_EQ(fired.size(), 4u);
    EXPECT_DOUBLE_EQ(fired[0].at, 1.0);
    EXPECT_DOUBLE_EQ(fired[1].at, 2.0);
    EXPECT_DOUBLE_EQ(fired[3].at, 3.0);
    EXPECT_DOUBLE_EQ(loop().now() - start, 5.0);
    ASSERT_EQ(loop().timers().size(), 1u) << "fired one-shot timers are gone";
    EXPECT_DOUBLE_EQ(loop().timers()[0]->fireTime() - start, 10.0);
}

// Tests a repeating timer: it fires once per interval, on the interval's
// grid, across several advances.
TEST_F(RunLoopTest, RepeatingTimerFiresOnItsGrid) {
    auto t = every(1.0, true, "tick");
    loop().advance(3.5);
    EXPECT_EQ(fired.size(), 3u);
    loop().advance(0.375);
    EXPECT_EQ(fired.size(), 3u);
    loop().advance(0.125);
    ASSERT_EQ(fired.size(), 4u);
    EXPECT_DOUBLE_EQ(fired[3].at, 4.0);
    EXPECT_TRUE(t->isValid());
    EXPECT_TRUE(t->repeats());
    loop().advance(100.0);
    EXPECT_EQ(fired.size(), 104u);
}

// Tests invalidation inside a firing: a timer that invalidates itself stops
// repeating; one that invalidates another timer due at the same moment
// keeps that one from firing.
TEST_F(RunLoopTest, InvalidationInsideAFiring) {
    std::shared_ptr<NSTimer> victim;
    int selfStops = 0;
    NSTimer::scheduledTimerWithTimeInterval(1.0, true, [&](NSTimer* me) {
        if (++selfStops == 2) me->invalidate();
    });
    NSTimer::scheduledTimerWithTimeInterval(1.0, false, [&](NSTimer*) { victim->invalidate(); });
    victim = every(1.0, false, "victim");
    loop().advance(10.0);
    EXPECT_EQ(selfStops, 2);
    EXPECT_TRUE(fired.empty());
    EXPECT_FALSE(victim->isValid());
    EXPECT_TRUE(loop().timers().empty());
}

// Tests a timer scheduled during a firing: it fires at its own due time when
// that falls within the span, in order with the others, and waits otherwise.
TEST_F(RunLoopTest, SchedulingDuringAFiring) {
    NSTimer::scheduledTimerWithTimeInterval(1.0, false, [&](NSTimer*) {
        fired.push_back({"outer", loop().now() - start});
        every(0.5, false, "inner");   // due at 1.5
        every(10.0, false, "beyond"); // due at 11
    });
    every(1.2, false, "between");
    every(2.0, false, "after");
    loop().advance(3.0);
    EXPECT_EQ(names(), (std::vector<std::string>{"outer", "between", "inner", "after"}));
    EXPECT_DOUBLE_EQ(fired[2].at, 1.5);
    ASSERT_EQ(loop().timers().size(), 1u);
    loop().advance(8.5);
    EXPECT_EQ(names().back(), "beyond");
}

// Tests a target/selector timer: the target gets the timer as its argument
// and is kept alive until the timer is invalidated, then released with the
// user info.
TEST_F(RunLoopTest, TargetTimersSendTheirSelectorAndReleaseOnInvalidate) {
    Runtime::current().defineClass("RLTicker")->addMethod("tick:", Ticker::tick);
    auto ticker = std::make_shared<Ticker>();
    auto info = std::make_shared<NSObject>();
    std::weak_ptr<Ticker> weakTicker = ticker;
    std::weak_ptr<NSObject> weakInfo = info;
    auto timer = NSTimer::scheduledTimerWithTimeInterval(1.0, ticker, "tick:", info, true);
    Ticker* raw = ticker.get();
    ticker.reset();
    info.reset();
    ASSERT_FALSE(weakTicker.expired()) << "the timer keeps its target";
    EXPECT_EQ(timer->userInfo(), weakInfo.lock());
    loop().advance(2.0);
    ASSERT_EQ(raw->ticks.size(), 2u);
    EXPECT_EQ(raw->ticks[0], timer.get());
    timer->invalidate();
    EXPECT_TRUE(weakTicker.expired());
    EXPECT_TRUE(weakInfo.expired());
    EXPECT_FALSE(timer->isValid());
    loop().advance(5.0);
    EXPECT_TRUE(loop().timers().empty());
}

// Tests that a one-shot timer is still valid inside its own firing and lets
// go of its target afterwards.
TEST_F(RunLoopTest, OneShotTimerRetiresAfterFiring) {
    Runtime::current().defineClass("RLTicker")->addMethod("tick:", Ticker::tick);
    auto ticker = std::make_shared<Ticker>();
    std::weak_ptr<Ticker> weak = ticker;
    auto timer = NSTimer::scheduledTimerWithTimeInterval(0.5, ticker, "tick:", nullptr, false);
    bool validInside = false;
    NSTimer::scheduledTimerWithTimeInterval(0.5, false, [&](NSTimer* me) { validInside = me->isValid(); });
    ticker.reset();
    loop().advance(1.0);
    EXPECT_TRUE(validInside);
    EXPECT_FALSE(timer->isValid());
    EXPECT_TRUE(weak.expired());
}

// Tests the clock observer: called after each firing and once at the end.
TEST_F(RunLoopTest, ClockObserverFollowsEveryFiring) {
    std::vector<double> seen;
    loop().setClockObserver([&](double now) { seen.push_back(now - start); });
    every(1.0, true, "tick");
    loop().advance(2.5);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_DOUBLE_EQ(seen[0], 1.0);
    EXPECT_DOUBLE_EQ(seen[1], 2.0);
    EXPECT_DOUBLE_EQ(seen[2], 2.5);
    loop().advance(0.125);
    EXPECT_EQ(seen.size(), 4u) << "an advance without firings still reports the clock";
}

// Tests odd intervals and spans: a zero or negative interval takes the
// minimum (so a repeating one still ends), and a negative, NaN or infinite
// span moves no clock.
TEST_F(RunLoopTest, OddIntervalsAndSpans) {
    auto zero = every(0.0, true, "zero");
    EXPECT_DOUBLE_EQ(zero->timeInterval(), NSRunLoop::minimumTimerInterval);
    auto negative = every(-5.0, false, "negative");
    loop().advance(1.0 / 1024); // a span of 9.77 minimum intervals
    std::vector<std::string> seen = names();
    EXPECT_EQ(std::count(seen.begin(), seen.end(), std::string("negative")), 1);
    auto zeros = std::count(seen.begin(), seen.end(), std::string("zero"));
    EXPECT_GE(zeros, 9);
    EXPECT_LE(zeros, 10);
    zero->invalidate();

    double before = loop().now();
    loop().advance(-1.0);
    loop().advance(std::nan(""));
    loop().advance(INFINITY);
    EXPECT_EQ(loop().now(), before);
}

// Tests that adding a timer twice schedules it once, and that an invalid
// timer cannot be added.
TEST_F(RunLoopTest, AddTimerIgnoresDuplicatesAndInvalidTimers) {
    auto t = every(1.0, false, "once");
    loop().addTimer(t);
    EXPECT_EQ(loop().timers().size(), 1u);
    auto dead = std::make_shared<NSTimer>(1.0, false, nullptr, "x", nullptr, [](NSTimer*) {});
    dead->invalidate();
    loop().addTimer(dead);
    EXPECT_EQ(loop().timers().size(), 1u);
    loop().advance(2.0);
    EXPECT_EQ(fired.size(), 1u);
}

// Tests a respring: timers die with the process, the clock keeps going.
TEST_F(RunLoopTest, RespringDropsTimersButKeepsTheClock) {
    auto t = every(1.0, true, "tick");
    loop().advance(2.0);
    double before = loop().now();
    Process::terminate();
    EXPECT_EQ(loop().now(), before);
    EXPECT_FALSE(t->isValid());
    EXPECT_TRUE(loop().timers().empty());
    loop().advance(5.0);
    EXPECT_EQ(fired.size(), 2u);
    EXPECT_DOUBLE_EQ(loop().now() - before, 5.0);
}

// Tests that a timer that ends the process from its firing stops the
// advance cleanly.
TEST_F(RunLoopTest, RespringFromATimer) {
    NSTimer::scheduledTimerWithTimeInterval(1.0, false, [](NSTimer*) { Process::terminate(); });
    every(2.0, false, "never");
    loop().advance(5.0);
    EXPECT_TRUE(fired.empty());
    EXPECT_TRUE(loop().timers().empty());
}
