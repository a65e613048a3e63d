// The phone as the server holds it: its apps, its start, and what the page
// builds its panes from.
#include <mutex>

#include "playground/server/Phone.h"
#include "playground/server/PhoneParts.h"
#include "playground/server/PluginDescription.h"
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

namespace {

Phone::Options withClock(Phone::Options options) {
    if (!options.clock) options.clock = steadySeconds;
    return options;
}

} // namespace

Phone::Phone(Options options, FrameHub& hub)
    : options_(withClock(std::move(options))),
      hub_(hub),
      description_(describePlugin(options_.simProgram)),
      settings_(settingsFromDescription(description_)),
      link_(std::make_unique<HomeScreenLink>(hub_, recorder_)),
      clock_(std::make_unique<PhoneClock>(*link_, options_.clock, options_.maxStep)),
      order_(std::make_unique<TouchOrder>()),
      replay_(std::make_unique<Replay>(*link_, *clock_, hub_)) {}

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
    return {{"screen", {{"width", options_.width}, {"height", options_.height}, {"scale", options_.scale}}},
            {"screenPresets", screenPresets()},
            {"apps", apps},
            // The plugin's own table, paths and names, as it describes them.
            {"settings", member(description_, "settings")},
            {"groups", member(description_, "groups")},
            {"rules", member(description_, "rules")},
            {"files", member(description_, "files")},
            {"prefixes", member(description_, "prefixes")}};
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
