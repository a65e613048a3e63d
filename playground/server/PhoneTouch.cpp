// A touch's actions, in the page's order when numbered, and the touch lines
// they become.
#include <algorithm>
#include <cmath>

#include "playground/server/Phone.h"
#include "playground/server/PhoneParts.h"
#include "playground/server/RequestValues.h"

namespace playground {

using namespace request;
using namespace parts;

Json Phone::touchAction(const Json& r) {
    if (member(r, "seq").is_null() && member(r, "touch").is_null()) return applyTouch(r);
    return order_->take(
        r, [this](const Json& action) { return applyTouch(action); }, [this] { cancelTouch(); });
}

Json Phone::applyTouch(const Json& r) {
    std::string type = text(r, "type");
    // A cancel out of order (a page going away mid-touch) ends the touch
    // in order too: its actions still on their way are dropped.
    if (type == "touch" && text(r, "phase") == "cancel" && member(r, "seq").is_null()) order_->end();
    if (type == "touch") return actTouch(r);
    if (type == "moves") return actMoves(r);
    // The finger is still down, and the page's clock has moved on.
    if (auto wait = clock_->follow(member(r, "t"))) run(*wait, false);
    return {{"ok", true}};
}

void Phone::cancelTouch() {
    clock_->dropGesture();
    run("touch cancel");
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
    // The wait that brings the clock to the page's time goes with the touch
    // line: the home screen is waited for once.
    std::vector<HomeScreenLink::Line> lines;
    if (phase == "down") clock_->beginGesture(t);
    else if (auto wait = clock_->follow(t)) lines.emplace_back(*wait, false);
    // Moves are many and say little: the trace shows where a touch began
    // and ended.
    lines.emplace_back(*line, phase != "move");
    SimAnswer a = std::move(link_->runTogether(lines).back());
    if (phase == "up" || phase == "cancel") clock_->endGesture();
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
        // A move and the wait before it are sent together: one exchange
        // with the home screen for each point.
        std::vector<HomeScreenLink::Line> together;
        if (auto wait = clock_->follow(t)) together.emplace_back(*wait, false);
        together.emplace_back(line, false);
        if (auto a = link_->runTogether(together).back(); !a.ok()) return error(a.error);
    }
    return {{"ok", true}};
}

} // namespace playground
