#include "foundation/RunLoop.h"

#include <algorithm>
#include <cmath>

#include "runtime/Process.h"

namespace {

// The device's clock: it keeps counting across a respring, so it lives
// outside every process.
double& deviceClock() {
    static double now = 0;
    return now;
}

// The main run loop is the process's: a respring drops it with every timer.
struct MainRunLoop : ProcessComponent {
    NSRunLoop loop;
    // Timers hold targets and blocks that may be plugin objects and plugin
    // code: release them before plugins are unloaded.
    void shutdown() override {
        loop.removeAllTimers();
        loop.setClockObserver(nullptr);
    }
};

double effectiveInterval(double interval) {
    // Written so that NaN also takes the minimum.
    if (!(interval >= NSRunLoop::minimumTimerInterval)) return NSRunLoop::minimumTimerInterval;
    return interval;
}

// A due time strictly after `time`, even where the clock is so large that
// adding the interval would not move it.
double laterThan(double time, double candidate) {
    return candidate > time ? candidate : std::nextafter(time, HUGE_VAL);
}

bool firesBefore(double aTime, uint64_t aSeq, double bTime, uint64_t bSeq) {
    return aTime < bTime || (aTime == bTime && aSeq < bSeq);
}

} // namespace

// ---- NSTimer ----

NSTimer::NSTimer(double interval, bool repeats, id target, SEL selector, id userInfo,
                 std::function<void(NSTimer*)> block)
    : interval_(effectiveInterval(interval)),
      repeats_(repeats),
      target_(std::move(target)),
      selector_(std::move(selector)),
      userInfo_(std::move(userInfo)),
      block_(std::move(block)) {}

std::shared_ptr<NSTimer> NSTimer::scheduledTimerWithTimeInterval(double interval, id target, SEL selector,
                                                                 id userInfo, bool repeats) {
    auto timer = std::make_shared<NSTimer>(interval, repeats, std::move(target), std::move(selector),
                                           std::move(userInfo), nullptr);
    NSRunLoop::mainRunLoop().addTimer(timer);
    return timer;
}

std::shared_ptr<NSTimer> NSTimer::scheduledTimerWithTimeInterval(double interval, bool repeats,
                                                                 std::function<void(NSTimer*)> block) {
    auto timer = std::make_shared<NSTimer>(interval, repeats, nullptr, SEL{}, nullptr, std::move(block));
    NSRunLoop::mainRunLoop().addTimer(timer);
    return timer;
}

// Releases what the timer kept alive. Safe inside the timer's own firing:
// the run loop holds its own references to the block and target while it
// calls them.
void NSTimer::invalidate() {
    valid_ = false;
    target_.reset();
    userInfo_.reset();
    block_ = nullptr;
}

// ---- NSRunLoop ----

NSRunLoop::~NSRunLoop() { *alive_ = false; }

NSRunLoop& NSRunLoop::mainRunLoop() { return Process::current().get<MainRunLoop>().loop; }

double NSRunLoop::now() const { return deviceClock(); }

void NSRunLoop::addTimer(const std::shared_ptr<NSTimer>& timer) {
    if (!timer || !timer->valid_) return;
    prune();
    if (std::find(timers_.begin(), timers_.end(), timer) != timers_.end()) return;
    double now = deviceClock();
    timer->fireTime_ = laterThan(now, now + timer->interval_);
    timer->sequence_ = nextSequence_++;
    timers_.push_back(timer);
}

std::shared_ptr<NSTimer> NSRunLoop::nextDueTimer(double until) const {
    std::shared_ptr<NSTimer> best;
    for (const auto& t : timers_) {
        if (!t->valid_ || t->firing_ || t->fireTime_ > until) continue;
        if (!best || firesBefore(t->fireTime_, t->sequence_, best->fireTime_, best->sequence_)) best = t;
    }
    return best;
}

// Sends the message or runs the block, then reschedules a repeating timer
// from its due time (not from the clock, so a repeating timer never
// drifts) or retires a one-shot one. A firing that ran the clock past later
// due times (a nested advance) skips them, as the platform does.
void NSRunLoop::fire(const std::shared_ptr<NSTimer>& timer) {
    timer->firing_ = true;
    if (timer->block_) {
        auto block = timer->block_;
        block(timer.get());
    } else {
        id target = timer->target_;
        SEL selector = timer->selector_;
        objc_msgSend(target, selector, Args{Value(timer)});
    }
    timer->firing_ = false;
    if (!timer->valid_) return;
    if (!timer->repeats_) {
        timer->invalidate();
        return;
    }
    double due = timer->fireTime_;
    double next = laterThan(due, due + timer->interval_);
    double now = deviceClock();
    if (next < now) next = laterThan(due, due + std::ceil((now - due) / timer->interval_) * timer->interval_);
    timer->fireTime_ = next;
}

void NSRunLoop::advance(double seconds) {
    std::shared_ptr<bool> alive = alive_;
    double start = deviceClock();
    double end = std::isfinite(seconds) && seconds > 0 ? start + seconds : start;
    runPendingBlocks();
    if (!*alive) return;
    while (auto timer = nextDueTimer(end)) {
        if (timer->fireTime_ > deviceClock()) deviceClock() = timer->fireTime_;
        fire(timer);
        if (!*alive) return;
        runPendingBlocks();
        if (!*alive) return;
        if (auto observer = clockObserver_) observer(deviceClock());
        if (!*alive) return;
    }
    if (end > deviceClock()) deviceClock() = end;
    prune();
    if (auto observer = clockObserver_) observer(deviceClock());
}

std::vector<std::shared_ptr<NSTimer>> NSRunLoop::timers() const {
    std::vector<std::shared_ptr<NSTimer>> valid;
    for (const auto& t : timers_)
        if (t->valid_) valid.push_back(t);
    std::stable_sort(valid.begin(), valid.end(), [](const auto& a, const auto& b) {
        return firesBefore(a->fireTime_, a->sequence_, b->fireTime_, b->sequence_);
    });
    return valid;
}

void NSRunLoop::removeAllTimers() {
    auto timers = std::move(timers_);
    timers_.clear();
    for (const auto& t : timers) t->invalidate();
    auto blocks = std::move(blocks_);
    blocks_.clear();
}

void NSRunLoop::performBlock(std::function<void()> block) {
    if (block) blocks_.push_back(std::move(block));
}

void NSRunLoop::runPendingBlocks() {
    std::shared_ptr<bool> alive = alive_;
    // One at a time from the front: a block may add more, and may end the
    // process (and this run loop) while it runs.
    while (*alive && !blocks_.empty()) {
        std::function<void()> block = std::move(blocks_.front());
        blocks_.erase(blocks_.begin());
        block();
    }
}

void NSRunLoop::prune() {
    timers_.erase(std::remove_if(timers_.begin(), timers_.end(), [](const auto& t) { return !t->valid_; }),
                  timers_.end());
}
