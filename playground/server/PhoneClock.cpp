#include "playground/server/PhoneClock.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "playground/server/HomeScreenLink.h"
#include "playground/server/PhoneParts.h"

namespace playground {

using namespace parts;

void PhoneClock::restart() {
    virtualNow_ = 0;
    gesture_ = Gesture();
}

PhoneClock::CatchUp PhoneClock::catchUp(bool idle) {
    double now = clock_();
    if (gesture_.active) {
        // A page that went away with a finger down: the touch is cancelled
        // and the clock runs on its own again.
        if (now - gesture_.lastHeard < kGestureTimeout) return CatchUp::Done;
        gesture_.active = false;
        lastAdvance_ = now;
        return CatchUp::FingerLost;
    }
    double elapsed = now - lastAdvance_;
    if (elapsed < 0.001) return CatchUp::Done;
    lastAdvance_ = now;
    // A phone that was still, with no timer set, was not stalled: all of
    // the time passed is its own, however long.
    advanceTo(virtualNow_ + elapsed, idle);
    return CatchUp::Done;
}

std::optional<std::string> PhoneClock::stepTo(double target, bool whole) {
    double step = target - virtualNow_;
    if (!whole) step = std::min(step, maxStep_);
    if (step < 0.0005) return std::nullopt;
    char line[64];
    std::snprintf(line, sizeof line, "wait %.4f", step);
    virtualNow_ += std::strtod(line + 5, nullptr);
    return std::string(line);
}

void PhoneClock::advanceTo(double target, bool whole) {
    double before = virtualNow_;
    auto line = stepTo(target, whole);
    if (!line) return;
    try {
        link_->run(*line, false);
    } catch (...) {
        // A wait the home screen never took is not the phone's time.
        virtualNow_ = before;
        throw;
    }
}

void PhoneClock::beginGesture(const nlohmann::json& t) {
    bool timed = t.is_number() && std::isfinite(t.get<double>());
    gesture_ = Gesture();
    if (timed) gesture_ = {true, t.get<double>(), virtualNow_, t.get<double>(), clock_()};
}

std::optional<std::string> PhoneClock::follow(const nlohmann::json& t) {
    if (!gesture_.active || !t.is_number()) return std::nullopt;
    double page = t.get<double>();
    if (!std::isfinite(page) || page < gesture_.lastPage) return std::nullopt;
    gesture_.lastPage = page;
    gesture_.lastHeard = clock_();
    return stepTo(gesture_.virtualOrigin + (page - gesture_.pageOrigin) / 1000.0);
}

void PhoneClock::endGesture() {
    if (gesture_.active) lastAdvance_ = clock_();
    gesture_ = Gesture();
}

double PhoneClock::takeElapsed() {
    double now = clock_();
    double elapsed = std::clamp(now - lastAdvance_, 0.0, maxStep_);
    lastAdvance_ = now;
    return elapsed;
}

void PhoneClock::waitTicks(long long ticks) {
    char line[64];
    std::snprintf(line, sizeof line, "wait %.4f", static_cast<double>(ticks) / 10000);
    link_->run(line, false);
    virtualNow_ += static_cast<double>(ticks) / 10000;
}

} // namespace playground
