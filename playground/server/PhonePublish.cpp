// What the page is sent at every step: the picture, the dump and the facts.
#include <cmath>

#include "playground/server/Phone.h"
#include "playground/server/PhoneParts.h"
#include "playground/server/RequestValues.h"

namespace playground {

using namespace request;
using namespace parts;

void Phone::publish() {
    SimAnswer picture = run("snapshot -", false);
    SimAnswer dump = run("dump", false);
    bool pictureChanged = picture.svg != lastSvg_;
    if (!picture.svg.empty()) {
        hub_.setSvg(picture.svg);
        lastSvg_ = std::move(picture.svg);
    }
    Json parsed = Json::parse(dump.dump, nullptr, false);
    nextStep_ = nextStep(parsed, pictureChanged);
    if (parsed.is_object()) {
        // The time moves on every step; it travels in the facts instead, so
        // an unchanged screen is not sent again.
        parsed.erase("time");
        dump_ = parsed;
        hub_.setDump(parsed.dump(-1, ' ', false, Json::error_handler_t::replace));
    }
    hub_.setMeta(metaLocked());
    hub_.flush();
}

Json Phone::metaLocked() const {
    const Json& orientation = member(host_, "orientation");
    return {{"time", std::round(virtualNow_ * 1000) / 1000},
            {"generation", generation_},
            {"running", child_ != nullptr},
            {"failure", failure_.empty() ? Json(nullptr) : Json(failure_)},
            {"phone",
             {{"locked", isTrue(host_, "uiLocked")},
              {"passcode", isTrue(host_, "passcode")},
              {"controlCenter", isTrue(host_, "controlCenter")},
              {"siri", isTrue(host_, "siriVisible")},
              {"front", member(host_, "front").is_string() ? member(host_, "front") : Json(nullptr)},
              {"orientation", orientation.is_number_integer() ? orientation : Json(1)},
              {"call", member(host_, "call")}}},
            // How much of the latest touch the picture has taken in, for a
            // page that draws its finger's bubble ahead of the picture.
            {"touch", metaTouch()}};
}

Json Phone::metaTouch() const {
    bool ended = order_.touch.empty();
    if (ended && order_.ended.empty()) return nullptr;
    const std::string& id = ended ? order_.ended.back() : order_.touch;
    return {{"id", Json::parse(id, nullptr, false)}, {"seq", order_.next - 1}, {"ended", ended}};
}

} // namespace playground
