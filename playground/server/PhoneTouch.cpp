// A touch's actions in the page's order, and the touch lines they become.
#include <algorithm>
#include <cmath>

#include "playground/server/Phone.h"
#include "playground/server/PhoneParts.h"
#include "playground/server/RequestValues.h"

namespace playground {

using namespace request;
using namespace parts;

Json Phone::applyTouch(const Json& r) {
    std::string type = text(r, "type");
    // A cancel out of order (a page going away mid-touch) ends the touch
    // in order too: its actions still on their way are dropped.
    if (type == "touch" && text(r, "phase") == "cancel" && member(r, "seq").is_null()) endTouchOrder();
    if (type == "touch") return actTouch(r);
    if (type == "moves") return actMoves(r);
    // The finger is still down, and the page's clock has moved on.
    follow(member(r, "t"));
    return {{"ok", true}};
}

void Phone::endTouchOrder() {
    if (order_.touch.empty()) return;
    order_.ended.push_back(order_.touch);
    if (order_.ended.size() > kEndedTouches) order_.ended.pop_front();
    std::erase_if(order_.early, [&](const auto& e) { return e.first.first == order_.touch; });
    order_.touch.clear();
}

Json Phone::sequenced(const Json& r) {
    const Json& id = member(r, "touch");
    const Json& seq = member(r, "seq");
    if (!(id.is_string() || id.is_number_integer()) || !seq.is_number_integer() || seq.get<long long>() < 0)
        return error("a touch action in order carries touch (its id) and seq (0 for the down, then 1, 2, ...)");
    std::string key = id.dump();
    long long n = seq.get<long long>();
    bool down = text(r, "type") == "touch" && text(r, "phase") == "down";
    if (down != (n == 0)) return error("seq 0 is the touch down, and only it");
    bool ended = std::find(order_.ended.begin(), order_.ended.end(), key) != order_.ended.end();
    if (ended || (key == order_.touch && n < order_.next)) return {{"ok", true}, {"stale", true}};
    if (!down && (key != order_.touch || n > order_.next)) {
        // Early: the actions before it are still on their way.
        if (order_.early.size() >= kMaxEarly) return error("too many touch actions out of order");
        order_.early.emplace(std::pair{key, n}, r);
        return {{"ok", true}, {"queued", true}};
    }
    if (down) {
        // A new finger (another page's, or this page's after a lost lift):
        // the touch still down is cancelled first, as the phone cancels a
        // touch it can no longer follow, and whatever it left waiting never
        // comes. Its page learns from the facts that its touch has ended.
        if (!order_.touch.empty() && order_.touch != key) {
            endTouchOrder();
            gesture_ = Gesture();
            run("touch cancel");
        }
        std::erase_if(order_.early, [&](const auto& e) { return e.first.first != key; });
        order_.touch = key;
        order_.next = 0;
    }
    auto apply = [&](const Json& action) {
        Json result = applyTouch(action);
        ++order_.next;
        std::string phase = text(action, "phase");
        if (phase == "up" || phase == "cancel") endTouchOrder();
        return result;
    };
    Json result = apply(r);
    // The actions that came early and are next now.
    for (auto it = order_.early.find({key, order_.next}); order_.touch == key && it != order_.early.end();
         it = order_.early.find({key, order_.next})) {
        Json waiting = std::move(it->second);
        order_.early.erase(it);
        apply(waiting);
    }
    return result;
}

Json Phone::actTouch(const Json& r) {
    const Json& x = member(r, "x");
    const Json& y = member(r, "y");
    const Json& t = member(r, "t");
    std::string phase = text(r, "phase");
    std::string why;
    auto line = touchLine(phase, x.is_number() ? x.get<double>() : NAN, y.is_number() ? y.get<double>() : NAN,
                          options_.width, options_.height, why);
    if (!line) return error(why);
    if (phase == "down") {
        // A touch without the page's time keeps to this process's clock.
        bool timed = t.is_number() && std::isfinite(t.get<double>());
        gesture_ = Gesture();
        if (timed) gesture_ = {true, t.get<double>(), virtualNow_, t.get<double>(), options_.clock()};
    } else {
        follow(t);
    }
    // Moves are many and say little: the trace shows where a touch began
    // and ended.
    SimAnswer a = run(*line, phase != "move");
    if (phase == "up" || phase == "cancel") {
        if (gesture_.active) lastAdvance_ = options_.clock();
        gesture_ = Gesture();
    }
    if (!a.ok()) return error(a.error);
    return {{"ok", true}};
}

// The path of a moving finger, point by point: as many moves as the page
// saw, so a fast finger does not jump past the edge of what it drags.
Json Phone::actMoves(const Json& r) {
    const Json& points = member(r, "points");
    if (!points.is_array() || points.empty() || points.size() > kMaxMoves)
        return error("points is a list of 1 to " + std::to_string(kMaxMoves) + " [x, y, t]");
    std::vector<std::pair<std::string, Json>> lines;
    for (const auto& p : points) {
        std::string why;
        bool shaped = p.is_array() && (p.size() == 2 || p.size() == 3) && p[0].is_number() && p[1].is_number();
        auto line =
            shaped ? touchLine("move", p[0].get<double>(), p[1].get<double>(), options_.width, options_.height, why)
                   : std::nullopt;
        if (!line) return error("a point is [x, y] or [x, y, t]");
        lines.emplace_back(*line, p.size() == 3 ? p[2] : Json(nullptr));
    }
    for (const auto& [line, t] : lines) {
        follow(t);
        if (auto a = run(line, false); !a.ok()) return error(a.error);
    }
    return {{"ok", true}};
}

} // namespace playground
