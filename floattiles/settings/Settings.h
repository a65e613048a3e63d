// The settings loader: reads the settings file into the settings variables
// and pushes the visual settings into the overlay once it exists.
#pragma once

#include "foundation/NotificationCenter.h"

inline constexpr const char* kSettingsPath = "/var/mobile/Library/Preferences/com.vorlak.floattilesprefs.plist";
inline constexpr const char* kSettingsChangedNotification = "com.vorlak.floattilesprefs.settingschanged";

void loadSettings();

// The same loader as a notification callback; its arguments are ignored.
void settingsChangedCallback(CFNotificationCenterRef center, void* observer, CFStringRef name, const void* object,
                             CFDictionaryRef userInfo);
