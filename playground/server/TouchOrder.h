// A touch's actions as the page numbered them ({"touch": ID, "seq": N},
// the down being 0): applied in that order whatever order they arrive in,
// so a beat can never overtake the moves before it. One that comes early
// waits for those before it; one already applied, or of a touch that has
// ended, is dropped.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <utility>

#include <nlohmann/json.hpp>

namespace playground {

class TouchOrder {
public:
    using Json = nlohmann::json;

    // Applies one numbered action, then those that came early and are next
    // now, each with `apply`. A down of a new finger while another is down
    // ends the other first and calls `cancelOther`, as the phone cancels a
    // touch it can no longer follow. Answers the request's own answer.
    Json take(const Json& request, const std::function<Json(const Json&)>& apply,
              const std::function<void()>& cancelOther);
    // The touch being applied has ended: its actions still on their way
    // are dropped.
    void end();
    // A new home screen: no touch, none remembered.
    void reset() { *this = TouchOrder(); }
    // A touch is down and being applied.
    bool active() const { return !touch_.empty(); }
    // How much of the latest touch has been applied: {"id", "seq",
    // "ended"}, or null before the first.
    Json meta() const;

private:
    std::string touch_;  // the touch being applied, as its id's JSON
    long long next_ = 0; // the seq it applies next
    std::map<std::pair<std::string, long long>, Json> early_;
    std::deque<std::string> ended_; // the latest touches that ended
};

} // namespace playground
