#include "playground/server/TouchOrder.h"

#include <algorithm>

#include "playground/server/PhoneParts.h"
#include "playground/server/RequestValues.h"

namespace playground {

using namespace request;
using namespace parts;

void TouchOrder::end() {
    if (touch_.empty()) return;
    ended_.push_back(touch_);
    if (ended_.size() > kEndedTouches) ended_.pop_front();
    std::erase_if(early_, [&](const auto& e) { return e.first.first == touch_; });
    touch_.clear();
}

Json TouchOrder::take(const Json& r, const std::function<Json(const Json&)>& applyOne,
                      const std::function<void()>& cancelOther) {
    const Json& id = member(r, "touch");
    const Json& seq = member(r, "seq");
    if (!(id.is_string() || id.is_number_integer()) || !seq.is_number_integer() || seq.get<long long>() < 0)
        return error("a touch action in order carries touch (its id) and seq (0 for the down, then 1, 2, ...)");
    std::string key = id.dump();
    long long n = seq.get<long long>();
    bool down = text(r, "type") == "touch" && text(r, "phase") == "down";
    if (down != (n == 0)) return error("seq 0 is the touch down, and only it");
    bool ended = std::find(ended_.begin(), ended_.end(), key) != ended_.end();
    if (ended || (key == touch_ && n < next_)) return {{"ok", true}, {"stale", true}};
    if (!down && (key != touch_ || n > next_)) {
        // Early: the actions before it are still on their way.
        if (early_.size() >= kMaxEarly) return error("too many touch actions out of order");
        early_.emplace(std::pair{key, n}, r);
        return {{"ok", true}, {"queued", true}};
    }
    if (down) {
        // A new finger (another page's, or this page's after a lost lift):
        // whatever the touch still down left waiting never comes. Its page
        // learns from the facts that its touch has ended.
        if (!touch_.empty() && touch_ != key) {
            end();
            cancelOther();
        }
        std::erase_if(early_, [&](const auto& e) { return e.first.first != key; });
        touch_ = key;
        next_ = 0;
    }
    auto apply = [&](const Json& action) {
        Json result = applyOne(action);
        ++next_;
        std::string phase = text(action, "phase");
        if (phase == "up" || phase == "cancel") end();
        return result;
    };
    Json result = apply(r);
    // The actions that came early and are next now.
    for (auto it = early_.find({key, next_}); touch_ == key && it != early_.end(); it = early_.find({key, next_})) {
        Json waiting = std::move(it->second);
        early_.erase(it);
        apply(waiting);
    }
    return result;
}

Json TouchOrder::meta() const {
    bool ended = touch_.empty();
    if (ended && ended_.empty()) return nullptr;
    const std::string& id = ended ? ended_.back() : touch_;
    return {{"id", Json::parse(id, nullptr, false)}, {"seq", next_ - 1}, {"ended", ended}};
}

} // namespace playground
