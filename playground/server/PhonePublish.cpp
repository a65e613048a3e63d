// What the page is sent at every step: the picture, the dump and the facts.
#include <cmath>

#include "playground/server/Phone.h"
#include "playground/server/PhoneParts.h"
#include "playground/server/RequestValues.h"

namespace playground {

using namespace request;
using namespace parts;

void Phone::publish() {
    // Asked together: the step waits for the home screen once.
    auto answers = link_->runTogether({{"snapshot -", false}, {"dump", false}});
    publishedAfter_ = link_->changes();
    SimAnswer& picture = answers[0];
    SimAnswer& dump = answers[1];
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
    const Json& host = link_->lastHost();
    const Json& orientation = member(host, "orientation");
    return {{"time", std::round(clock_->now() * 1000) / 1000},
            {"generation", generation_},
            {"running", link_->running()},
            {"failure", failure_.empty() ? Json(nullptr) : Json(failure_)},
            {"phone",
             {{"locked", isTrue(host, "uiLocked")},
              {"passcode", isTrue(host, "passcode")},
              {"controlCenter", isTrue(host, "controlCenter")},
              {"siri", isTrue(host, "siriVisible")},
              {"front", member(host, "front").is_string() ? member(host, "front") : Json(nullptr)},
              {"orientation", orientation.is_number_integer() ? orientation : Json(1)},
              {"call", member(host, "call")}}},
            // How much of the latest touch the picture has taken in, for a
            // page that draws its finger's bubble ahead of the picture.
            {"touch", order_->meta()}};
}

} // namespace playground
