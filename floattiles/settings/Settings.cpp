#include "settings/Settings.h"

#include <cmath>

#include "PluginState.h"
#include "foundation/PropertyList.h"
#include "overlay/FTCustomViewController.h"
#include "overlay/bothVC.h"

namespace {

// A key counts as present when the file holds any value for it. A value
// that has no truth or number reading (an array, a dictionary, data, a
// date) leaves the variable as it was, like an absent key.
void readFlag(const NSDictionary& dict, const char* key, bool& variable) {
    id value = dict.objectForKey(key);
    if (!value) return;
    if (auto b = readBool(value.get())) variable = *b;
}

bool hasKey(const NSDictionary& dict, const char* key) { return dict.objectForKey(key) != nullptr; }

void readColour(const NSDictionary& dict, const char* key, std::shared_ptr<NSString>& variable) {
    if (auto text = std::dynamic_pointer_cast<NSString>(dict.objectForKey(key))) variable = text;
}

} // namespace

void loadSettings() {
    FTSettings& s = settingsVariables();
    std::shared_ptr<FTCustomViewController> controller;
    if (overlayState().isOverlayCreated) controller = bothVC::sharedInstance()->mainView;

    std::shared_ptr<NSDictionary> file = dictionaryWithContentsOfFile(kSettingsPath);
    if (!file) file = std::make_shared<NSDictionary>();
    const NSDictionary& dict = *file;

    readFlag(dict, "isEnabled", s.isEnabled);
    if (hasKey(dict, "isCircle")) {
        readFlag(dict, "isCircle", s.isCircle);
        if (controller) controller->setCircle();
    }
    readFlag(dict, "isAppsOnly", s.isAppsOnly);
    readFlag(dict, "isInAppOnly", s.isInAppOnly);
    readFlag(dict, "isLSOnly", s.isLSOnly);
    readFlag(dict, "isSticky", s.isSticky);
    readFlag(dict, "isLocked", s.isLocked);
    if (hasKey(dict, "isDim")) {
        readFlag(dict, "isDim", s.isDim);
        if (controller) controller->setDim();
    }
    readFlag(dict, "isAlwaysDim", s.isAlwaysDim);
    readFlag(dict, "isHiddenInCC", s.isHiddenInCC);
    readFlag(dict, "isSBOnly", s.isSBOnly);
    readFlag(dict, "isHiddenInLS", s.isHiddenInLS);
    readFlag(dict, "isBadgeEnabled", s.isBadgeEnabled);
    if (id value = dict.objectForKey("bubbleSize")) {
        // A size that is not a finite number above zero would give bubbles
        // that cannot be seen or touched, or geometry of NaN: keep the old one.
        if (auto size = readDouble(value.get())) {
            float f = narrowToFloat(*size);
            if (std::isfinite(f) && f > 0.0f) s.bubbleSize = f;
        }
    }
    readColour(dict, "frameColor", s.globalBoundColor);
    readColour(dict, "badgeColor", s.globalBadgeColor);
    readColour(dict, "badgeTextColor", s.globalBadgeTextColor);

    if (controller) {
        controller->setBubbleSize();
        controller->setFrameColor();
        controller->setBadgeColor();
    }
}

void settingsChangedCallback(CFNotificationCenterRef, void*, CFStringRef, const void*, CFDictionaryRef) {
    loadSettings();
}
