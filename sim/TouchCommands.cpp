// The scenario's finger and clock: touches through the window server,
// the alert's buttons, and virtual time.
#include "sim/Simulator.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "foundation/RunLoop.h"
#include "runtime/Process.h"
#include "sim/ScenarioParser.h"
#include "uikit/UIAlertController.h"
#include "uikit/UIView.h"
#include "uikit/WindowServer.h"

namespace {

// Numbers in trace lines: as short as they read, no trailing zeros.
std::string number(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.6g", v);
    return buf;
}

// How far a finger may stray and still tap, in points, and how long it may
// rest, in seconds.
constexpr double kTapSlop = 8;
constexpr double kLongPress = 0.5;

} // namespace

bool Simulator::resolveTarget(const std::string& target, double& x, double& y, std::string& error) {
    if (auto p = parsePoint(target)) {
        x = p->x;
        y = p->y;
        return true;
    }
    std::vector<ExportedBubble> list;
    std::shared_ptr<UIView> view;
    if (target.rfind("bubble:", 0) == 0) {
        std::string bundle = target.substr(7);
        for (auto& b : bubbles())
            if (b.bundle == bundle) view = b.view;
        if (!view) {
            error = "no bubble for " + bundle;
            return false;
        }
    } else if (target.rfind("bubble#", 0) == 0) {
        auto index = parseInteger(target.substr(7));
        auto all = bubbles();
        if (!index || *index < 0 || static_cast<size_t>(*index) >= all.size()) {
            error = "no bubble " + target + " (" + std::to_string(all.size()) + " bubbles)";
            return false;
        }
        view = all[*index].view;
    } else {
        error = "bad target " + target + " (X,Y, bubble:BUNDLE or bubble#N)";
        return false;
    }
    if (!view) {
        error = "the bubble " + target + " has no view";
        return false;
    }
    CGPoint c = view->center();
    CGPoint s = view->superview() ? view->superview()->convertPointToScreen(c) : c;
    // A finger cannot land beyond the glass: a centre on or past the
    // screen's edge (a bubble snapped to it) is touched at the nearest
    // point of the screen, which excludes its far edges.
    const double inside = 1e-4;
    const CGSize screen = screenSize();
    x = std::clamp(s.x, 0.0, screen.width - inside);
    y = std::clamp(s.y, 0.0, screen.height - inside);
    return true;
}

std::string Simulator::touchDown(double x, double y) {
    auto& ws = WindowServer::shared();
    const bool phone = answers_ && booted_ && SpringBoardHost::isBooted();
    // The home screen asks whether the phone is locked before a touch
    // reaches any window.
    if (phone) askLocked();
    throughTouch_.reset();
    if (!ws.touchDown(CGPointMake(x, y))) {
        emit("touch-through " + number(x) + "," + number(y));
        if (phone) {
            throughTouch_ = CGPointMake(x, y);
            throughSince_ = NSRunLoop::mainRunLoop().now();
        }
    }
    if (watcher_) watcher_->finger(SimulatorWatcher::Finger::Down, x, y);
    return "";
}

void Simulator::touchMove(double x, double y) {
    WindowServer::shared().touchMove(CGPointMake(x, y));
    // A finger that travels is no longer a tap.
    if (throughTouch_ && std::hypot(x - throughTouch_->x, y - throughTouch_->y) > kTapSlop) throughTouch_.reset();
    if (watcher_) watcher_->finger(SimulatorWatcher::Finger::Move, x, y);
}

void Simulator::touchUp(double x, double y) {
    WindowServer::shared().touchUp(CGPointMake(x, y));
    if (watcher_) watcher_->finger(SimulatorWatcher::Finger::Up, x, y);
    auto tap = throughTouch_;
    throughTouch_.reset();
    // A finger held still is a long press, which the home screen's own
    // screen does nothing with.
    const bool quick = NSRunLoop::mainRunLoop().now() - throughSince_ < kLongPress;
    if (tap && quick && std::hypot(x - tap->x, y - tap->y) <= kTapSlop && answers_ && booted_ &&
        SpringBoardHost::isBooted())
        phoneTap(tap->x, tap->y);
}

// A timer due exactly at the end of the span fires in it, as in one
// advance: the last step is made to land on that same end to the bit.
void Simulator::advanceClock(double seconds) {
    auto& loop = NSRunLoop::mainRunLoop();
    const double step = watcher_ ? watcher_->frameInterval() : 0;
    if (!(step > 0) || !std::isfinite(seconds) || seconds <= 0 || !Process::exists()) {
        loop.advance(seconds);
        return;
    }
    const double end = loop.now() + seconds;
    const auto onGrid = [step](double t) { return std::fabs(t / step - std::round(t / step)) < 1e-6; };
    while (Process::exists()) {
        const double now = loop.now();
        double target = (std::floor(now / step + 1e-6) + 1) * step;
        bool frame = true;
        if (watcher_->still() && !animating()) {
            // Nothing moves until a timer fires: leap to it.
            double due = end;
            for (const auto& t : loop.timers()) due = std::min(due, t->fireTime());
            if (due > target) {
                target = due;
                frame = onGrid(due);
            }
        }
        double span = target - now;
        const bool last = !(target < end);
        if (last) {
            span = end - now;
            for (int i = 0; i < 4 && now + span < end; ++i) span = std::nextafter(span, HUGE_VAL);
            for (int i = 0; i < 4 && now + span > end; ++i) span = std::nextafter(span, -HUGE_VAL);
            frame = onGrid(end);
        }
        loop.advance(span);
        if (frame && watcher_ && Process::exists()) watcher_->clockTick();
        if (last || !(loop.now() > now)) break;
    }
    // Whatever a step could not reach (it cannot, but a clock that stalls
    // must still end where one advance would).
    if (Process::exists() && loop.now() < end) loop.advance(end - loop.now());
}

std::string Simulator::cmdTouch(const Call& c) {
    const Words& w = c.words;
    auto& ws = WindowServer::shared();
    if (w.size() == 2 && w[1].text == "cancel") {
        ws.touchCancel();
        throughTouch_.reset();
        if (watcher_) watcher_->finger(SimulatorWatcher::Finger::Cancel, 0, 0);
        return "";
    }
    if (w.size() != 3) return c.usage;
    // A finger comes down on a bubble as for tap; it moves and lifts at
    // points, wherever the bubble has gone.
    if (w[1].text == "down") {
        double x, y;
        std::string error;
        if (!resolveTarget(w[2].text, x, y, error)) return error;
        return touchDown(x, y);
    }
    auto p = parsePoint(w[2].text);
    if (!p) return "bad point " + w[2].text + " (X,Y)";
    if (w[1].text == "move") touchMove(p->x, p->y);
    else if (w[1].text == "up") touchUp(p->x, p->y);
    else return c.usage;
    return "";
}

std::string Simulator::cmdTap(const Call& c) {
    const Words& w = c.words;
    if (w.size() != 2) return c.usage;
    double x, y;
    std::string error;
    if (!resolveTarget(w[1].text, x, y, error)) return error;
    if (auto e = touchDown(x, y); !e.empty()) return e;
    touchUp(x, y);
    return "";
}

// The moves of a drag take no virtual time: the finger travels at once.
std::string Simulator::cmdDrag(const Call& c) {
    const Words& w = c.words;
    if (w.size() < 4 || w.size() > 5 || w[2].text != "to") return c.usage;
    double x0, y0;
    std::string error;
    if (!resolveTarget(w[1].text, x0, y0, error)) return error;
    auto to = parsePoint(w[3].text);
    if (!to) return "bad point " + w[3].text + " (X,Y)";
    long long steps = 10;
    if (w.size() == 5) {
        std::string k, v;
        auto n = splitOption(w[4].text, k, v) && k == "steps" ? parseInteger(v) : std::nullopt;
        if (!n || *n < 1 || *n > 100000) return "steps is a positive integer";
        steps = *n;
    }
    if (auto e = touchDown(x0, y0); !e.empty()) return e;
    for (long long i = 1; i <= steps; ++i) {
        double f = static_cast<double>(i) / static_cast<double>(steps);
        touchMove(x0 + (to->x - x0) * f, y0 + (to->y - y0) * f);
    }
    touchUp(to->x, to->y);
    return "";
}

std::string Simulator::cmdLongPress(const Call& c) {
    const Words& w = c.words;
    if (w.size() < 2 || w.size() > 3) return c.usage;
    double x, y;
    std::string error;
    if (!resolveTarget(w[1].text, x, y, error)) return error;
    double seconds = 0.6;
    if (w.size() == 3) {
        std::string k, v;
        auto s = splitOption(w[2].text, k, v) && k == "for" ? parseNumber(v) : std::nullopt;
        if (!s || *s < 0) return "for is a number of seconds";
        seconds = *s;
    }
    if (auto e = touchDown(x, y); !e.empty()) return e;
    advanceClock(seconds);
    touchUp(x, y);
    return "";
}

std::string Simulator::cmdMenu(const Call& c) {
    const Words& w = c.words;
    if (w.size() != 2) return c.usage;
    auto alert = WindowServer::shared().visibleAlert();
    if (!alert) return "no alert on screen";
    if (!alert->pickActionWithTitle(w[1].text)) {
        std::string titles;
        for (const auto& a : alert->actions()) titles += (titles.empty() ? "" : ", ") + quoteText(a->title());
        return "the alert has no action " + quoteText(w[1].text) + " (it has " + titles + ")";
    }
    return "";
}

std::string Simulator::cmdWait(const Call& c) {
    const Words& w = c.words;
    if (w.size() != 2) return c.usage;
    auto s = parseNumber(w[1].text);
    if (!s || *s < 0 || *s > 86400) return "wait takes a number of seconds, at most a day";
    advanceClock(*s);
    return "";
}
