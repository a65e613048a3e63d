// The settings loader: reads the settings file into the settings variables
// and pushes the visual settings into the overlay once it exists.
#pragma once

#include "foundation/NotificationCenter.h"
#include "interfaces/PublicNames.h"

void loadSettings();

// The same loader as a notification callback; its arguments are ignored.
void settingsChangedCallback(CFNotificationCenterRef center, void* observer, CFStringRef name, const void* object,
                             CFDictionaryRef userInfo);
