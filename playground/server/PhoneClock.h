// The phone's clock: the sum of the waits sent to the home screen. It runs
// with this process's clock, and while a finger is down it follows the
// page's clock instead (the time stamps of its pointer events): a finger
// held still for half a second is a long press however late its events
// arrive, and a slow request never turns a drag into one.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace playground {

class HomeScreenLink;

class PhoneClock {
public:
    // `clock`: seconds on a monotonic clock. `maxStep`: the longest the
    // phone's clock jumps in one step, after a stall.
    PhoneClock(HomeScreenLink& link, std::function<double()> clock, double maxStep)
        : link_(&link), clock_(std::move(clock)), maxStep_(maxStep) {}

    // The phone's time, in seconds since its home screen started.
    double now() const { return virtualNow_; }
    double wallNow() const { return clock_(); }
    double maxStep() const { return maxStep_; }

    // A new home-screen process: its clock starts at 0, with no finger down.
    void restart();
    // The wall-clock time from here on is the phone's.
    void markNow() { lastAdvance_ = clock_(); }

    enum class CatchUp { Done, FingerLost };
    // Brings the phone's clock up to the wall clock, unless a finger is
    // down. A finger whose page has not been heard of for too long is
    // lost: the gesture ends and the caller cancels its touch. A phone that
    // was still with no timer set (`idle`) takes all of the time passed.
    CatchUp catchUp(bool idle);

    // The wait line that moves the clock on to `target` (virtual seconds),
    // if it is behind it, by at most maxStep unless `whole`; the clock
    // counts it as sent.
    std::optional<std::string> stepTo(double target, bool whole = false);
    // Sends that line at once.
    void advanceTo(double target, bool whole = false);

    // A finger comes down at page time `t` (ms), or without a time (null),
    // in which case the clock keeps to this process's.
    void beginGesture(const nlohmann::json& t);
    // The wait line that follows the page's clock to its time `t` (ms)
    // during a gesture.
    std::optional<std::string> follow(const nlohmann::json& t);
    // The finger lifted: the clock runs with this process's again.
    void endGesture();
    // Forgets the gesture without moving the clock (a touch cancelled).
    void dropGesture() { gesture_ = Gesture(); }
    bool gestureActive() const { return gesture_.active; }

    // The wall-clock seconds since the last step, at most maxStep, and the
    // clock marked now: a replay's budget.
    double takeElapsed();
    // Sends a wait of `ticks` tenths of a millisecond.
    void waitTicks(long long ticks);

private:
    struct Gesture {
        bool active = false;
        double pageOrigin = 0;    // the page's time of the touch down, ms
        double virtualOrigin = 0; // the phone's time then, s
        double lastPage = 0;      // the latest page time heard, ms
        double lastHeard = 0;     // this process's clock then, s
    };

    HomeScreenLink* link_; // not owned
    std::function<double()> clock_;
    double maxStep_;
    double lastAdvance_ = 0;
    double virtualNow_ = 0;
    Gesture gesture_;
};

} // namespace playground
