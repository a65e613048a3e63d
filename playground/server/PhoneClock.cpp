// The phone's clock: it runs with the wall clock, follows the page's clock
// while a finger is down, and steps only when something can change.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <thread>

#include "playground/server/Phone.h"
#include "playground/server/PhoneParts.h"
#include "playground/server/RequestValues.h"

namespace playground {

using namespace request;
using namespace parts;

double Phone::tick() {
    std::lock_guard lock(mutex_);
    if (!child_) {
        hub_.setMeta(metaLocked());
        hub_.flush();
        return INFINITY;
    }
    try {
        if (!replayStep()) catchUp();
        publish();
        // A replay is paced by the wall clock, a frame at a time, whatever
        // the phone shows meanwhile.
        return replaying_ ? kFrame : nextStep_;
    } catch (const ChildGone& e) {
        recover(e.what());
    } catch (const std::exception& e) {
        hub_.addTrace(FrameHub::TraceKind::Note, std::string("the playground failed: ") + e.what());
        hub_.flush();
    }
    return kFrame;
}

void Phone::waitForStep(std::chrono::steady_clock::time_point earliest, std::chrono::steady_clock::time_point latest) {
    std::unique_lock lock(wakeMutex_);
    // A finger that moved is shown at once: waiting out the rest of the
    // frame would put most of a frame between the finger and its picture.
    wakeUp_.wait_until(lock, earliest, [this] { return moved_; });
    wakeUp_.wait_until(lock, latest, [this] { return woken_ || moved_; });
    woken_ = moved_ = false;
}

void Phone::wake(bool moved) {
    {
        std::lock_guard lock(wakeMutex_);
        woken_ = true;
        moved_ = moved_ || moved;
    }
    wakeUp_.notify_all();
}

void Phone::catchUp() {
    double now = options_.clock();
    if (gesture_.active) {
        // A page that went away with a finger down: the touch is cancelled
        // and the clock runs on its own again.
        if (now - gesture_.lastHeard < kGestureTimeout) return;
        gesture_.active = false;
        endTouchOrder();
        run("touch cancel");
        lastAdvance_ = now;
        return;
    }
    double elapsed = now - lastAdvance_;
    if (elapsed < 0.001) return;
    lastAdvance_ = now;
    // A phone that was still, with no timer set, was not stalled: all of
    // the time passed is its own, however long.
    advanceTo(virtualNow_ + elapsed, nextStep_ == INFINITY);
}

void Phone::advanceTo(double target, bool whole) {
    double step = target - virtualNow_;
    if (!whole) step = std::min(step, options_.maxStep);
    if (step < 0.0005) return;
    char line[64];
    std::snprintf(line, sizeof line, "wait %.4f", step);
    run(line, false);
    virtualNow_ += std::strtod(line + 5, nullptr);
}

void Phone::follow(const Json& t) {
    if (!gesture_.active || !t.is_number()) return;
    double page = t.get<double>();
    if (!std::isfinite(page) || page < gesture_.lastPage) return;
    gesture_.lastPage = page;
    gesture_.lastHeard = options_.clock();
    advanceTo(gesture_.virtualOrigin + (page - gesture_.pageOrigin) / 1000.0);
}

// A picture that changed is likely to change again at the next frame (a
// finger drags); one that did not may still be about to, when an animation
// waits out its delay or a timer is set. Otherwise the phone is still until
// a request comes, and costs nothing meanwhile.
double Phone::nextStep(const Json& dump, bool pictureChanged) const {
    if (pictureChanged || gesture_.active || !order_.touch.empty() || isTrue(dump, "animating")) return kFrame;
    const Json& now = member(dump, "time");
    double due = INFINITY;
    for (const auto& t : member(dump, "timers")) {
        const Json& fire = member(t, "fireTime");
        if (fire.is_number() && now.is_number()) due = std::min(due, fire.get<double>() - now.get<double>());
    }
    return std::max(due, kFrame);
}

} // namespace playground
