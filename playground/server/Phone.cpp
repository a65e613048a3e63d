// The phone as the server holds it: its apps, its start, and what the page
// builds its panes from.
#include <mutex>

#include "playground/server/Phone.h"
#include "playground/server/PhoneParts.h"
#include "playground/server/RequestValues.h"

namespace playground {

using namespace request;
using namespace parts;

std::vector<AppSeed> defaultApps() {
    return {
        {"com.apple.MobileSMS", "Messages", 2, true},
        {"com.apple.mobilemail", "Mail", 12, true},
        {"com.apple.mobilesafari", "Safari", nullptr, true},
        {"com.apple.camera", "Camera", nullptr, false},
        {"com.apple.Music", "Music", nullptr, false},
        {"com.apple.Maps", "Maps", nullptr, false},
        {"com.apple.mobilephone", "Phone", nullptr, false},
        {"com.apple.siri", "Siri", nullptr, true},
    };
}

Phone::Phone(Options options, FrameHub& hub) : options_(std::move(options)), hub_(hub) {
    if (!options_.clock) options_.clock = steadySeconds;
}

Phone::~Phone() {
    std::lock_guard lock(mutex_);
    stopChild();
}

void Phone::start() {
    std::lock_guard lock(mutex_);
    try {
        startChild();
        publish();
    } catch (const ChildGone& e) {
        recover(e.what());
    }
}

const AppSeed* Phone::app(const std::string& bundle) const {
    for (const auto& a : options_.apps)
        if (a.bundle == bundle) return &a;
    return nullptr;
}

Json Phone::config() const {
    std::lock_guard lock(mutex_);
    Json apps = Json::array();
    for (const auto& a : options_.apps) apps.push_back({{"bundle", a.bundle}, {"name", a.name}});
    Json settings = Json::array();
    for (const auto& s : settingSpecs()) {
        Json j = {{"key", s.key},
                  {"type", s.type == SettingType::Boolean ? "boolean" : s.type == SettingType::Number ? "number" : "colour"},
                  {"default", s.defaultValue},
                  {"group", s.group},
                  {"label", s.label},
                  {"help", s.help}};
        if (s.type == SettingType::Number) {
            j["min"] = s.min;
            j["max"] = s.max;
            j["step"] = s.step;
        }
        settings.push_back(j);
    }
    return {{"screen", {{"width", options_.width}, {"height", options_.height}, {"scale", options_.scale}}},
            {"apps", apps},
            {"settings", settings},
            {"choicePrefix", kChosenPrefix},
            {"hiddenPrefix", kHiddenPrefix}};
}

Json Phone::lastDump() const {
    std::lock_guard lock(mutex_);
    return dump_;
}

int Phone::generation() const {
    std::lock_guard lock(mutex_);
    return generation_;
}

} // namespace playground
