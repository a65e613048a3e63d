// The settings loader, fed any bytes as the settings file.
//
// Each input is one life of the home screen on a fresh device: the bytes
// become the settings file (beside a state file choosing two apps), the
// plugin loads, a settings notification arrives before the launch, the
// host launches, then a few events: an app to the front, a badge, a tap, a
// rotation, another notification, Control Center, a call, and the
// long-press menu's lock toggle, the plugin's one write to this file.
//
// What must hold:
//  - nothing crashes, hangs or leaks;
//  - every setting holds what the file's value gives it, or its default
//    where the key is absent or its value unusable (the oracle below);
//  - the bubble size is finite and above zero, every frame finite, at most
//    one idle timer runs;
//  - the file is unchanged byte for byte unless the plugin wrote it, and it
//    writes only over a file it could read: then every other key keeps its
//    value.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "FuzzPlugin.h"
#include "FuzzSupport.h"
#include "foundation/PropertyList.h"
#include "settings/Settings.h"
#include "settings/StateStore.h"
#include "springboard/PluginState.h"

namespace {

const std::vector<InstalledApp> kApps = {
    {"com.example.a", true, NSNumber::numberWithInteger(3), 1},
    {"com.example.b", true, nullptr, 3},
};

const std::vector<uint8_t>& stateFile() {
    static const std::vector<uint8_t> bytes = [] {
        auto dict = std::make_shared<NSMutableDictionary>();
        dict->setObjectForKey(NSNumber::numberWithBool(true), "FLTTILE-com.example.a");
        dict->setObjectForKey(NSNumber::numberWithBool(true), "FLTTILE-com.example.b");
        auto centre = std::make_shared<NSMutableArray>();
        centre->addObject(NSNumber::numberWithFloat(120));
        centre->addObject(NSNumber::numberWithFloat(300));
        dict->setObjectForKey(centre, "POSAPPS-com.example.a");
        std::vector<uint8_t> out;
        fuzz::check(PropertyList::serialize(*dict, PropertyListFormat::Binary, out), "cannot make the state file");
        return out;
    }();
    return bytes;
}

// What a fresh load of `file` must give, from the defaults: a key with a
// truth or number reading sets its flag, a size must be a finite float
// above zero, a colour must be text; anything else leaves the default.
FTSettings expectedSettings(const NSDictionary* file) {
    FTSettings s;
    if (!file) return s;
    auto flag = [&](const char* key, bool& variable) {
        if (auto b = readBool(file->objectForKey(key).get())) variable = *b;
    };
    flag("isEnabled", s.isEnabled);
    flag("isCircle", s.isCircle);
    flag("isAppsOnly", s.isAppsOnly);
    flag("isInAppOnly", s.isInAppOnly);
    flag("isLSOnly", s.isLSOnly);
    flag("isSticky", s.isSticky);
    flag("isLocked", s.isLocked);
    flag("isDim", s.isDim);
    flag("isAlwaysDim", s.isAlwaysDim);
    flag("isHiddenInCC", s.isHiddenInCC);
    flag("isSBOnly", s.isSBOnly);
    flag("isHiddenInLS", s.isHiddenInLS);
    flag("isBadgeEnabled", s.isBadgeEnabled);
    if (auto size = readDouble(file->objectForKey("bubbleSize").get())) {
        float f = narrowToFloat(*size);
        if (std::isfinite(f) && f > 0) s.bubbleSize = f;
    }
    auto colour = [&](const char* key, std::shared_ptr<NSString>& variable) {
        if (auto text = std::dynamic_pointer_cast<NSString>(file->objectForKey(key))) variable = text;
    };
    colour("frameColor", s.globalBoundColor);
    colour("badgeColor", s.globalBadgeColor);
    colour("badgeTextColor", s.globalBadgeTextColor);
    return s;
}

bool sameText(const std::shared_ptr<NSString>& a, const std::shared_ptr<NSString>& b) {
    if (!a || !b) return !a && !b;
    return a->UTF8String() == b->UTF8String();
}

void checkSettings(const FTSettings& want) {
    const FTSettings& s = settingsVariables();
    bool flags = s.isEnabled == want.isEnabled && s.isCircle == want.isCircle && s.isAppsOnly == want.isAppsOnly &&
                 s.isInAppOnly == want.isInAppOnly && s.isLSOnly == want.isLSOnly && s.isSticky == want.isSticky &&
                 s.isLocked == want.isLocked && s.isDim == want.isDim && s.isAlwaysDim == want.isAlwaysDim &&
                 s.isHiddenInCC == want.isHiddenInCC && s.isSBOnly == want.isSBOnly &&
                 s.isHiddenInLS == want.isHiddenInLS && s.isBadgeEnabled == want.isBadgeEnabled;
    fuzz::check(flags, "a flag does not hold what the file gives it");
    fuzz::check(s.bubbleSize == want.bubbleSize, "the bubble size does not hold what the file gives it");
    fuzz::check(sameText(s.globalBoundColor, want.globalBoundColor) && sameText(s.globalBadgeColor, want.globalBadgeColor) &&
                    sameText(s.globalBadgeTextColor, want.globalBadgeTextColor),
                "a colour does not hold what the file gives it");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> original(data, data + size);
    fuzz::freshDevice();
    fuzz::writeDeviceFile(kSettingsPath, original);
    fuzz::writeDeviceFile(kStatePath, stateFile());

    // An empty file reads as no file; the preferences store writes into it
    // as into an empty dictionary.
    auto before = std::dynamic_pointer_cast<NSDictionary>(PropertyList::parse(original));
    if (original.empty()) before = std::make_shared<NSDictionary>();
    FTSettings want = expectedSettings(before.get());

    fuzz::bootPlugin(kApps);
    checkSettings(want);
    fuzz::postSettingsChanged();
    checkSettings(want);
    fuzz::launch();
    fuzz::check((fuzz::controller() != nullptr) == want.isEnabled, "the overlay's existence does not follow isEnabled");
    if (fuzz::controller()) fuzz::check(fuzz::bubbles().size() == 2, "the two chosen apps do not have bubbles");
    fuzz::checkPluginInvariants();

    fuzz::frontApp("com.example.a");
    fuzz::setBadge("com.example.a", NSNumber::numberWithInteger(12));
    fuzz::tapBubble(0);
    fuzz::rotate(3);
    fuzz::postSettingsChanged();
    checkSettings(want);
    fuzz::controlCenter(true);
    fuzz::controlCenter(false);
    fuzz::call(4);
    fuzz::call(6);
    fuzz::frontHome();
    fuzz::checkPluginInvariants();

    bool lockedBefore = settingsVariables().isLocked;
    fuzz::longPressAndPick(1, lockedBefore ? "Unlock" : "Lock");
    bool toggled = settingsVariables().isLocked != lockedBefore;
    fuzz::wait(9);
    fuzz::checkPluginInvariants();

    bool exists = false;
    std::vector<uint8_t> after = fuzz::readDeviceFile(kSettingsPath, &exists);
    fuzz::check(exists, "the settings file is gone");
    if (!toggled) {
        fuzz::check(after == original, "the settings file changed though the plugin wrote nothing");
    } else {
        auto now = std::dynamic_pointer_cast<NSDictionary>(PropertyList::parse(after));
        fuzz::check(now != nullptr, "the lock toggle left a file that does not read");
        auto locked = now->objectForKey("isLocked");
        fuzz::check(readBool(locked.get()) == settingsVariables().isLocked, "the lock toggle did not write isLocked");
        // A file the preferences daemon cannot read counts as empty: the
        // toggle's write replaces it with the lock alone.
        if (!before) {
            fuzz::check(now->count() == 1, "replacing an unreadable file left more than the lock");
            return 0;
        }
        bool had = before->objectForKey("isLocked") != nullptr;
        fuzz::check(now->count() == before->count() + (had ? 0 : 1), "the lock toggle added or dropped keys");
        for (const auto& [key, value] : before->entries())
            if (key != "isLocked")
                fuzz::check(plistEqual(value.get(), now->objectForKey(key).get(), fuzz::kAsReadersSee),
                            "the lock toggle changed another key");
    }
    return 0;
}
