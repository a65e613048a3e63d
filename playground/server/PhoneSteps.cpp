// The phone's steps: the step loop's pause, and a step only when something
// can change.
#include <algorithm>
#include <cmath>

#include "playground/server/Phone.h"
#include "playground/server/PhoneParts.h"
#include "playground/server/RequestValues.h"

namespace playground {

using namespace request;
using namespace parts;

double Phone::tick() {
    std::lock_guard lock(mutex_);
    if (!link_->running()) {
        hub_.setMeta(metaLocked());
        hub_.flush();
        return INFINITY;
    }
    try {
        if (!replay_->step()) catchUp();
        // While a finger is down the phone's clock moves only with the
        // page's, so a phone sent nothing since it was last shown is as it
        // was shown.
        if (!clock_->gestureActive() || link_->changes() != publishedAfter_) publish();
        // A replay is paced by the wall clock, a frame at a time, whatever
        // the phone shows meanwhile.
        return replay_->running() ? kFrame : nextStep_;
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
    if (clock_->catchUp(nextStep_ == INFINITY) == PhoneClock::CatchUp::FingerLost) {
        order_->end();
        run("touch cancel");
    }
}

// A picture that changed is likely to change again at the next frame (a
// finger drags); one that did not may still be about to, when an animation
// waits out its delay or a timer is set. Otherwise the phone is still until
// a request comes, and costs nothing meanwhile.
double Phone::nextStep(const Json& dump, bool pictureChanged) const {
    if (pictureChanged || clock_->gestureActive() || order_->active() || isTrue(dump, "animating")) return kFrame;
    const Json& now = member(dump, "time");
    double due = INFINITY;
    for (const auto& t : member(dump, "timers")) {
        const Json& fire = member(t, "fireTime");
        if (fire.is_number() && now.is_number()) due = std::min(due, fire.get<double>() - now.get<double>());
    }
    return std::max(due, kFrame);
}

} // namespace playground
