// Every key of the settings file, once: its name, the variable it sets,
// its type and default, what the loader sends the overlay after it, and
// what the device's settings pane shows for it (section, label, help and,
// for a number, the slider's bounds). The loader reads the file by walking
// this table, the defaults of the variables come from it, and the plugin
// hands it to springboard-sim (`springboard-sim describe`) so that the
// playground builds its pane from it. A new setting is one row here and a
// variable in FTSettings.
#pragma once

#include <memory>
#include <span>

#include "springboard/PluginState.h"

// What the colour settings draw while their variable is empty or its text
// is no colour.
inline constexpr const char* kBorderColourFallback = "#fffefe";
inline constexpr const char* kBadgeColourFallback = "#ff0000";
inline constexpr const char* kBadgeTextColourFallback = "#fffefe";

enum class SettingKind { Boolean, Number, Colour };

// What the overlay is told to redo after a reading. The table only names
// it; the overlay's controller maps each to its own operation.
enum class OverlayPush { None, Circle, Dim, BubbleSize, FrameColour, BadgeColour };

struct SettingDefinition {
    const char* key;      // in the settings file
    const char* variable; // the process-wide variable it sets
    SettingKind kind;
    // The variable, by kind: exactly one is set.
    bool FTSettings::*flag = nullptr;
    float FTSettings::*number = nullptr;
    std::shared_ptr<NSString> FTSettings::*colour = nullptr;
    // Boolean: 0 or 1; Number: the value. Colours start empty.
    double defaultValue = 0;
    // Colour: what is drawn while the variable is empty.
    const char* fallback = nullptr;
    // Sent to the overlay right after the key is read, when the key is in
    // the file and the overlay exists.
    OverlayPush push = OverlayPush::None;
    // The pane's slider for a number (the loader itself takes any finite
    // size above zero), and the unit its readout shows.
    double min = 0, max = 0, step = 0;
    const char* unit = "";
    // The pane's section, the control's label and its help; a note, when
    // set, says a way of the plugin's that looks like a fault to someone
    // who does not know it.
    const char* group = "";
    const char* label = "";
    const char* help = "";
    const char* note = "";
};

// The pane's sections, in the order it shows them.
inline constexpr const char* kSettingGroups[] = {"General", "Appearance", "Behaviour", "Visibility"};

// In the order the loader reads them, which is the order the overlay sees
// their pushes in.
std::span<const SettingDefinition> settingDefinitions();

// What every reading ends with while the overlay exists, whichever keys
// the file held: the size, the border and the badge drawn afresh.
inline constexpr OverlayPush kPushesAfterReading[] = {OverlayPush::BubbleSize, OverlayPush::FrameColour,
                                                      OverlayPush::BadgeColour};
