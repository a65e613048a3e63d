// The scenario's finger: touches through the window server at screen
// points or on bubbles, the alert's buttons, and `wait`.
#include "sim/Touches.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "runtime/Process.h"
#include "sim/PhoneBehaviour.h"
#include "sim/ScenarioParser.h"
#include "sim/SimulatorCore.h"
#include "sim/SimulatorWatcher.h"
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

} // namespace

const std::vector<CommandRow<Touches>>& Touches::rows() {
    using S = Touches;
    using P = CommandPhase;
    static const std::vector<CommandRow<Touches>> table = {
        {"touch", "touch down TARGET | touch move|up X,Y | touch cancel", P::Any, nullptr, &S::cmdTouch},
        {"tap", "tap TARGET", P::Any, nullptr, &S::cmdTap},
        {"drag", "drag TARGET to X,Y [steps=N]", P::Any, nullptr, &S::cmdDrag},
        {"longpress", "longpress TARGET [for=SECONDS]", P::Any, nullptr, &S::cmdLongPress},
        {"menu", "menu \"TITLE\"", P::Any, nullptr, &S::cmdMenu},
        {"wait", "wait SECONDS", P::Any, nullptr, &S::cmdWait},
    };
    return table;
}

bool Touches::resolveTarget(const std::string& target, double& x, double& y, std::string& error) {
    if (auto p = parsePoint(target)) {
        x = p->x;
        y = p->y;
        return true;
    }
    std::vector<ExportedBubble> list;
    std::shared_ptr<UIView> view;
    if (target.rfind("bubble:", 0) == 0) {
        std::string bundle = target.substr(7);
        for (auto& b : core_.bubbles())
            if (b.bundle == bundle) view = b.view;
        if (!view) {
            error = "no bubble for " + bundle;
            return false;
        }
    } else if (target.rfind("bubble#", 0) == 0) {
        auto index = parseInteger(target.substr(7));
        auto all = core_.bubbles();
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
    const CGSize screen = core_.screenSize();
    x = std::clamp(s.x, 0.0, screen.width - inside);
    y = std::clamp(s.y, 0.0, screen.height - inside);
    return true;
}

std::string Touches::touchDown(double x, double y) {
    phone_.touchStarts();
    if (!WindowServer::shared().touchDown(CGPointMake(x, y))) {
        core_.emit("touch-through " + number(x) + "," + number(y));
        phone_.touchWentThrough(x, y);
    }
    if (auto* watcher = core_.watcher()) watcher->finger(SimulatorWatcher::Finger::Down, x, y);
    return "";
}

void Touches::touchMove(double x, double y) {
    WindowServer::shared().touchMove(CGPointMake(x, y));
    phone_.touchMoved(x, y);
    if (auto* watcher = core_.watcher()) watcher->finger(SimulatorWatcher::Finger::Move, x, y);
}

void Touches::touchUp(double x, double y) {
    WindowServer::shared().touchUp(CGPointMake(x, y));
    if (auto* watcher = core_.watcher()) watcher->finger(SimulatorWatcher::Finger::Up, x, y);
    phone_.touchEnded(x, y);
}

std::string Touches::cmdTouch(const CommandCall& c) {
    const Words& w = c.words;
    auto& ws = WindowServer::shared();
    if (w.size() == 2 && w[1].text == "cancel") {
        ws.touchCancel();
        phone_.touchCancelled();
        if (auto* watcher = core_.watcher()) watcher->finger(SimulatorWatcher::Finger::Cancel, 0, 0);
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

std::string Touches::cmdTap(const CommandCall& c) {
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
std::string Touches::cmdDrag(const CommandCall& c) {
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

std::string Touches::cmdLongPress(const CommandCall& c) {
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
    core_.advanceClock(seconds);
    touchUp(x, y);
    return "";
}

std::string Touches::cmdMenu(const CommandCall& c) {
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

std::string Touches::cmdWait(const CommandCall& c) {
    const Words& w = c.words;
    if (w.size() != 2) return c.usage;
    auto s = parseNumber(w[1].text);
    if (!s || *s < 0 || *s > 86400) return "wait takes a number of seconds, at most a day";
    core_.advanceClock(*s);
    return "";
}

std::optional<CGPoint> Touches::reachablePoint(const std::shared_ptr<UIView>& view) {
    if (!Process::exists()) return std::nullopt;
    const CGRect bounds = view->bounds();
    // A grid across the bubble, its edges a hair inside (a rect holds its
    // origin, not its far edge), checked from the middle out so that the
    // point given back is the one a person would aim at.
    const int n = 17;
    const double inside = 1e-3;
    std::vector<CGPoint> points;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            points.push_back({bounds.origin.x + inside + (bounds.size.width - 2 * inside) * i / (n - 1),
                              bounds.origin.y + inside + (bounds.size.height - 2 * inside) * j / (n - 1)});
    const CGPoint mid{CGRectGetMidX(bounds), CGRectGetMidY(bounds)};
    std::stable_sort(points.begin(), points.end(), [&](const CGPoint& a, const CGPoint& b) {
        return std::hypot(a.x - mid.x, a.y - mid.y) < std::hypot(b.x - mid.x, b.y - mid.y);
    });
    const CGSize screen = core_.screenSize();
    for (const auto& p : points) {
        CGPoint s = view->convertPointToScreen(p);
        if (s.x < 0 || s.y < 0 || s.x >= screen.width || s.y >= screen.height) continue;
        auto hit = WindowServer::shared().viewAtPoint(s);
        for (UIView* v = hit.get(); v; v = v->superview())
            if (v == view.get()) return s;
    }
    return std::nullopt;
}
