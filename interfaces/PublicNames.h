// The names by which the world outside the plugin meets it: its two
// preference files, the notification that says its settings changed, and
// the prefixes of the state file's key families (each followed by a bundle
// identifier). Defined here once, beside the plugin and the simulator
// rather than in either: the plugin reads and writes by these names, and
// the simulator and the playground include this header to drive and read
// the plugin as the device's settings pane would. It depends on nothing.
#pragma once

inline constexpr const char* kSettingsPath = "/var/mobile/Library/Preferences/com.vorlak.floattilesprefs.plist";
inline constexpr const char* kStatePath = "/var/mobile/Library/Preferences/com.vorlak.tilestateprefs.plist";
inline constexpr const char* kSettingsChangedNotification = "com.vorlak.floattilesprefs.settingschanged";

inline constexpr const char* kChosenPrefix = "FLTTILE-";     // true: the app has a bubble
inline constexpr const char* kPositionPrefix = "POSAPPS-";   // the bubble's saved centre
inline constexpr const char* kHiddenPrefix = "HIDAPPS-";     // true: no bubbles while the app is in front
