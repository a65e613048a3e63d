// The main run loop with a virtual clock. Time advances only when the host
// says so; advance() fires every due timer in time order, so every run is
// repeatable. Nothing ever waits on the real clock.
//
// The run loop and its timers belong to the process (a respring drops
// them); the clock belongs to the device and keeps counting across a
// respring.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "foundation/Foundation.h"

class NSTimer : public NSObject {
public:
    // Schedules on the main run loop. On each firing the timer sends
    // selector to target with itself as the one argument. The timer keeps
    // its target alive until it is invalidated, as on the platform.
    static std::shared_ptr<NSTimer> scheduledTimerWithTimeInterval(double interval, id target, SEL selector,
                                                                   id userInfo, bool repeats);
    // A timer that runs a block instead of a selector.
    static std::shared_ptr<NSTimer> scheduledTimerWithTimeInterval(double interval, bool repeats,
                                                                   std::function<void(NSTimer*)> block);

    std::string className() const override { return "NSTimer"; }
    void invalidate();
    bool isValid() const { return valid_; }
    double timeInterval() const { return interval_; }
    bool repeats() const { return repeats_; }
    double fireTime() const { return fireTime_; }
    const SEL& selector() const { return selector_; }
    id target() const { return target_; }
    id userInfo() const { return userInfo_; }

    NSTimer(double interval, bool repeats, id target, SEL selector, id userInfo,
            std::function<void(NSTimer*)> block);

private:
    friend class NSRunLoop;
    double interval_;
    bool repeats_;
    id target_;
    SEL selector_;
    id userInfo_;
    std::function<void(NSTimer*)> block_;
    bool valid_ = true;
    bool firing_ = false;
    double fireTime_ = 0;
    uint64_t sequence_ = 0;
};

class NSRunLoop {
public:
    NSRunLoop() = default;
    NSRunLoop(const NSRunLoop&) = delete;
    NSRunLoop& operator=(const NSRunLoop&) = delete;
    ~NSRunLoop();

    static NSRunLoop& mainRunLoop();
    static NSRunLoop& currentRunLoop() { return mainRunLoop(); }

    // Virtual seconds since the device started.
    double now() const;
    // Fires every timer due up to now() + seconds, in order of due time
    // (then of scheduling), moving the clock to each firing; a timer
    // scheduled during a firing fires at its own due time if that falls
    // within the span. Ends with the clock at now() + seconds. A span that
    // is negative, NaN or infinite fires only what is due now.
    void advance(double seconds);
    // The shortest interval a timer may have; shorter ones (zero, negative,
    // NaN) are raised to it, as on the platform.
    static constexpr double minimumTimerInterval = 0.0001;
    void addTimer(const std::shared_ptr<NSTimer>& timer);
    // The valid timers, in order of due time.
    std::vector<std::shared_ptr<NSTimer>> timers() const;
    // Called after each timer firing and at the end of advance(); the host
    // uses it to let animations catch up.
    void setClockObserver(std::function<void(double)> observer) { clockObserver_ = std::move(observer); }
    // Drops every timer and every waiting block (process end).
    void removeAllTimers();

    // Runs block once, at the end of the run loop's current turn
    // (CFRunLoopPerformBlock): after the event being handled, before the
    // next one, with no time passing.
    void performBlock(std::function<void()> block);
    // The end of a turn: runs the waiting blocks, and those they add, in
    // order. advance() runs them too, before and after each timer; whoever
    // hands the home screen an event (a touch, a host event) runs them
    // once it has been handled.
    void runPendingBlocks();

private:
    std::shared_ptr<NSTimer> nextDueTimer(double until) const;
    void fire(const std::shared_ptr<NSTimer>& timer);
    void prune();
    uint64_t nextSequence_ = 0;
    std::vector<std::shared_ptr<NSTimer>> timers_;
    std::vector<std::function<void()>> blocks_;
    std::function<void(double)> clockObserver_;
    // Cleared when the run loop dies, so that an advance() whose timer
    // ended the process stops instead of touching a dead run loop.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};
