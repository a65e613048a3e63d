// Badge values, fed any text. The host sets an app's badge and the plugin
// refreshes every bubble's badge from it.
//
// The input: its first byte picks the bubble size (some odd ones among
// them) and whether badges are on; the rest is split at line breaks into
// up to eight badge values, set one after another on the app with the
// bubble (or, for a line starting with '!', on an app without one). A line
// starting with '#' is an integer number (saturating), '%' a real number,
// '@' nil, '[' an array holding the rest as text; any other line is text.
//
// What must hold after every refresh (the count is the leading decimal
// integer of the value's "%@" text, 0 for none):
//  - nothing crashes;
//  - an unchanged count changes nothing; otherwise the stored count is the
//    count, 9999 for 10000 and more, kept within 32 bits;
//  - a count of 1 or more shows the count's text (or "9999") in the badge,
//    opaque, in the frame of its row (the four-digit row for "9999"); a
//    count below 1 hides the label;
//  - with badges off, nothing is ever shown;
//  - every frame is finite.
#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "FuzzPlugin.h"
#include "FuzzSupport.h"
#include "button/UIButtonFT.h"
#include "foundation/PropertyList.h"
#include "settings/StateStore.h"
#include "springboard/PluginState.h"
#include "springboard/SBApplication.h"

namespace {

const char* kBundle = "com.example.badge";

const std::vector<InstalledApp> kApps = {
    {kBundle, true, nullptr, 1},
    {"com.example.other", true, nullptr, 1},
};

const float kSizes[] = {50.0f, 60.0f, 40.0f, 50.7f, 1.0f, 0.001f, 1e6f, 3.4e38f};

const std::vector<uint8_t>& stateFile() {
    static const std::vector<uint8_t> bytes = [] {
        auto dict = std::make_shared<NSMutableDictionary>();
        dict->setObjectForKey(NSNumber::numberWithBool(true), std::string("FLTTILE-") + kBundle);
        std::vector<uint8_t> out;
        fuzz::check(PropertyList::serialize(*dict, PropertyListFormat::Binary, out), "cannot make the state file");
        return out;
    }();
    return bytes;
}

id badgeValue(const std::string& line) {
    if (line.empty()) return str(line);
    std::string rest = line.substr(1);
    switch (line[0]) {
    case '#': {
        errno = 0;
        long long v = std::strtoll(rest.c_str(), nullptr, 10);
        return NSNumber::numberWithInteger(v);
    }
    case '%': return NSNumber::numberWithDouble(std::strtod(rest.c_str(), nullptr));
    case '@': return nullptr;
    case '[': return std::make_shared<NSArray>(std::vector<id>{str(rest)});
    default: return str(line);
    }
}

int32_t clamp32(int64_t v) {
    if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(v);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    uint8_t config = data[0];
    std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);

    fuzz::freshDevice();
    fuzz::writeDeviceFile(kStatePath, stateFile());
    fuzz::bootPlugin(kApps);
    FTSettings& s = settingsVariables();
    s.bubbleSize = kSizes[config % 8];
    s.isBadgeEnabled = (config & 0x80) == 0;
    fuzz::launch();
    fuzz::check(fuzz::bubbles().size() == 1, "the chosen app has no bubble");
    auto bubble = fuzz::bubbles()[0];

    size_t start = 0;
    for (int line = 0; line < 8 && start <= text.size(); ++line) {
        size_t end = text.find('\n', start);
        std::string piece = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        start = end == std::string::npos ? text.size() + 1 : end + 1;

        bool elsewhere = !piece.empty() && piece[0] == '!';
        id value = badgeValue(elsewhere ? piece.substr(1) : piece);
        auto app = SpringBoardHost::current().applicationWithBundleIdentifier(kBundle);
        id shownValue = elsewhere ? msg(std::static_pointer_cast<NSObject>(app), "badgeValue").object() : value;
        int32_t previous = bubble->getCurrentBadgeValue();
        fuzz::setBadge(elsewhere ? "com.example.other" : kBundle, value);

        fuzz::checkPluginInvariants();
        if (!s.isBadgeEnabled) {
            fuzz::check(bubble->getCurrentBadgeValue() == 0, "a badge was refreshed while badges are off");
            fuzz::check(!bubble->getBadgeLabel() || !bubble->getBadgeLabel()->superview(), "a badge shows while badges are off");
            continue;
        }
        auto formatted = NSString::stringWithFormat("%@", static_cast<const NSObject*>(shownValue.get()));
        int64_t count = formatted->integerValue();
        if (count == previous) {
            fuzz::check(bubble->getCurrentBadgeValue() == previous, "an unchanged count changed the badge");
            continue;
        }
        int32_t stored = count >= 10000 ? 9999 : clamp32(count);
        fuzz::check(bubble->getCurrentBadgeValue() == stored, "the stored count is not the badge's count");
        auto label = bubble->getBadgeLabel();
        fuzz::check(label != nullptr, "a bubble has no badge label");
        if (count >= 1) {
            std::string expected = count >= 10000 ? std::string("9999") : formatted->UTF8String();
            fuzz::check(label->text() == expected, "the badge does not show the count's text");
            fuzz::check(label->superview() == bubble->getBadgeView().get() && label->alpha() == 1.0 &&
                            bubble->getBadgeView()->alpha() == 1.0,
                        "a count of one or more is not shown");
            // The frame of the digits shown, "9999" being four of them.
            auto row = UIButtonFT::badgeFrameForCount(count >= 10000 ? 9999 : count, s.bubbleSize, false);
            fuzz::check(row && bubble->getBadgeView()->frame() == *row, "the badge is not laid out for what it shows");
        } else {
            fuzz::check(label->alpha() == 0.0 && !label->superview(), "a count below one still shows");
        }
    }
    return 0;
}
