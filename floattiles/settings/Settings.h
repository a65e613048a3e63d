// The settings reader: the settings file into the settings variables, key
// by key as the table lists them, saying what the overlay is to redo as it
// goes. Whoever holds the overlay carries the pushes out (the start-up).
#pragma once

#include <functional>
#include <string>

#include "interfaces/PublicNames.h"
#include "settings/SettingsTable.h"

// Reads the settings file into `s`. With `push` set, calls it right after
// each key the file holds that names a push, then with each of
// kPushesAfterReading: a push sees the keys read before it, never those
// after.
void readSettingsFile(FTSettings& s, const std::function<void(OverlayPush)>& push);

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
