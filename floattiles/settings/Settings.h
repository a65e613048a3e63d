// The settings loader: reads the settings file into the settings variables
// and pushes the visual settings into the overlay once it exists.
#pragma once

#include "foundation/NotificationCenter.h"
#include "interfaces/PublicNames.h"
#include "settings/SettingsTable.h"

void loadSettings();

// The same loader as a notification callback; its arguments are ignored.
void settingsChangedCallback(CFNotificationCenterRef center, void* observer, CFStringRef name, const void* object,
                             CFDictionaryRef userInfo);

// What the loader makes of one value of the file: taken as written, read
// another way, or left (the variable keeps what it held).
enum class SettingReading {
    AsWritten,
    FlagFromNumber,
    FlagFromText,
    SizeFromText,
    SizeFromBoolean,
    SizeRefused,
    SizeFromTextRefused,
    ColourRead,
    ColourUnread,
    NotOfItsType,
};

// Reads one present key's value into `s`, as the loader does, and says how.
SettingReading readSetting(const SettingDefinition& d, const id& value, FTSettings& s);

// Why the plugin reads a value so, in a person's words; empty for a value
// taken as written.
std::string settingReadingWords(const SettingDefinition& d, SettingReading reading);
