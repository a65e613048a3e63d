#include "settings/Settings.h"

#include <cmath>

#include "PluginState.h"
#include "foundation/PropertyList.h"
#include "overlay/FTCustomViewController.h"
#include "overlay/bothVC.h"
#include "settings/SettingsTable.h"

namespace {

// A key counts as present when the file holds any value for it. A value
// with no reading of the key's type (an array, a dictionary, data or a
// date under a switch or the size; anything but a text under a colour)
// leaves the variable as it was, like an absent key.
void readValue(const SettingDefinition& d, const id& value, FTSettings& s) {
    switch (d.kind) {
    case SettingKind::Boolean:
        if (auto b = readBool(value.get())) s.*d.flag = *b;
        break;
    case SettingKind::Number:
        // A size that is not a finite number above zero would give bubbles
        // that cannot be seen or touched, or geometry of NaN: keep the old one.
        if (auto n = readDouble(value.get())) {
            float f = narrowToFloat(*n);
            if (std::isfinite(f) && f > 0.0f) s.*d.number = f;
        }
        break;
    case SettingKind::Colour:
        if (auto text = std::dynamic_pointer_cast<NSString>(value)) s.*d.colour = text;
        break;
    }
}

} // namespace

void loadSettings() {
    FTSettings& s = settingsVariables();
    std::shared_ptr<FTCustomViewController> controller;
    if (overlayState().isOverlayCreated) controller = bothVC::sharedInstance()->mainView;

    std::shared_ptr<NSDictionary> file = dictionaryWithContentsOfFile(kSettingsPath);
    if (!file) file = std::make_shared<NSDictionary>();

    for (const SettingDefinition& d : settingDefinitions()) {
        id value = file->objectForKey(d.key);
        if (!value) continue;
        readValue(d, value, s);
        if (d.push && controller) (controller.get()->*d.push)();
    }

    if (controller) {
        controller->setBubbleSize();
        controller->setFrameColor();
        controller->setBadgeColor();
    }
}

void settingsChangedCallback(CFNotificationCenterRef, void*, CFStringRef, const void*, CFDictionaryRef) {
    loadSettings();
}
