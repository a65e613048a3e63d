// The scenario's finger and clock: touches through the window server,
// the alert's buttons, and virtual time.
#include "sim/Simulator.h"

#include <algorithm>
#include <cstdio>

#include "foundation/RunLoop.h"
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
    x = std::clamp(s.x, 0.0, screenWidth_ - inside);
    y = std::clamp(s.y, 0.0, screenHeight_ - inside);
    return true;
}

std::string Simulator::touchDown(double x, double y) {
    auto& ws = WindowServer::shared();
    if (!ws.touchDown(CGPointMake(x, y))) emit("touch-through " + number(x) + "," + number(y));
    return "";
}

std::string Simulator::cmdTouch(const Call& c) {
    const Words& w = c.words;
    auto& ws = WindowServer::shared();
    if (w.size() == 2 && w[1].text == "cancel") {
        ws.touchCancel();
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
    if (w[1].text == "move") ws.touchMove(CGPointMake(p->x, p->y));
    else if (w[1].text == "up") ws.touchUp(CGPointMake(p->x, p->y));
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
    WindowServer::shared().touchUp(CGPointMake(x, y));
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
    auto& ws = WindowServer::shared();
    for (long long i = 1; i <= steps; ++i) {
        double f = static_cast<double>(i) / static_cast<double>(steps);
        ws.touchMove(CGPointMake(x0 + (to->x - x0) * f, y0 + (to->y - y0) * f));
    }
    ws.touchUp(CGPointMake(to->x, to->y));
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
    NSRunLoop::mainRunLoop().advance(seconds);
    WindowServer::shared().touchUp(CGPointMake(x, y));
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
    NSRunLoop::mainRunLoop().advance(*s);
    return "";
}
