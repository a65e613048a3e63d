#include "playground/server/Replay.h"

#include <algorithm>
#include <cmath>

#include "playground/server/Commands.h"
#include "playground/server/FrameHub.h"
#include "playground/server/HomeScreenLink.h"
#include "playground/server/PhoneClock.h"
#include "playground/server/Recorder.h"

namespace playground {

void Replay::begin(std::deque<std::string> lines) {
    lines_ = std::move(lines);
    wait_ = 0;
    running_ = true;
}

bool Replay::step() {
    if (!running_) return false;
    long long budget = std::llround(clock_->takeElapsed() * speed_ * 10000);
    for (;;) {
        if (wait_ > 0) {
            long long step = std::min(wait_, budget);
            if (step > 0) {
                clock_->waitTicks(step);
                wait_ -= step;
                budget -= step;
            }
            if (wait_ > 0) break;
            continue;
        }
        if (lines_.empty()) {
            end("the replay is over: the phone is yours again");
            break;
        }
        std::string line = std::move(lines_.front());
        lines_.pop_front();
        if (auto ticks = waitTicks(line)) {
            wait_ = *ticks;
            continue;
        }
        runLine(line);
    }
    return true;
}

void Replay::runLine(const std::string& line) {
    if (line.empty() || line[0] == '#') return;
    if (line.rfind("echo ", 0) == 0) {
        hub_->addTrace(FrameHub::TraceKind::Note, "-- " + line.substr(5));
        return;
    }
    // The recording's lines were composed here, but they are checked as
    // any line is before they reach the home screen.
    if (!isAllowedLine(line)) {
        hub_->addTrace(FrameHub::TraceKind::Note, "the replay skipped a line it may not send: " + line);
        return;
    }
    bool quiet = line.rfind("touch move ", 0) == 0 || line == "query uilocked";
    if (line.rfind("touch ", 0) == 0)
        fingerDown_ = line.rfind("touch down ", 0) == 0 || line.rfind("touch move ", 0) == 0;
    SimAnswer a = link_->run(line, !quiet);
    if (!a.ok() && line.rfind("expect ", 0) == 0)
        hub_->addTrace(FrameHub::TraceKind::Note, "the replay's check failed: " + line);
}

void Replay::end(const std::string& why) {
    if (!running_) return;
    running_ = false;
    // A replay stopped between a touch's down and its lift leaves no
    // finger on the glass: the phone cancels it, as it cancels a touch it
    // can no longer follow. Every other recorded action is one line, or
    // lines sent together, so the phone is never left half-way through one.
    if (fingerDown_ && link_->running()) link_->run("touch cancel");
    fingerDown_ = false;
    lines_.clear();
    wait_ = 0;
    clock_->markNow();
    hub_->addTrace(FrameHub::TraceKind::Note, why);
}

} // namespace playground
