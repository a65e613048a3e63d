#include "settings/SettingsTable.h"

namespace {

constexpr SettingDefinition flag(const char* key, bool FTSettings::*variable, const char* name, bool def,
                                 const char* group, const char* label, const char* help,
                                 OverlayPush push = OverlayPush::None, const char* note = "") {
    SettingDefinition d{key, name, SettingKind::Boolean};
    d.flag = variable;
    d.defaultValue = def ? 1 : 0;
    d.push = push;
    d.group = group;
    d.label = label;
    d.help = help;
    d.note = note;
    return d;
}

constexpr SettingDefinition colour(const char* key, std::shared_ptr<NSString> FTSettings::*variable, const char* name,
                                   const char* fallback, const char* label, const char* help) {
    SettingDefinition d{key, name, SettingKind::Colour};
    d.colour = variable;
    d.fallback = fallback;
    d.group = "Appearance";
    d.label = label;
    d.help = help;
    return d;
}

constexpr SettingDefinition size() {
    SettingDefinition d{"bubbleSize", "bubbleSize", SettingKind::Number};
    d.number = &FTSettings::bubbleSize;
    d.defaultValue = 50.0;
    d.min = 20;
    d.max = 120;
    d.step = 1;
    d.unit = "pt";
    d.group = "Appearance";
    d.label = "Bubble size";
    d.help =
        "Width and height of a bubble, in points. A bubble keeps its top-left corner when the size changes, "
        "so its centre moves with the size.";
    return d;
}

#define FT_FLAG(name) #name, &FTSettings::name, #name

// constexpr: the table is in place before the module initialisers read it.
constexpr SettingDefinition kSettings[] = {
    flag(FT_FLAG(isEnabled), true, "General", "Enabled",
         "Create the bubbles when the home screen starts. Takes effect at the next respring."),
    flag(FT_FLAG(isCircle), true, "Appearance", "Round bubbles", "Off gives rounded squares.", OverlayPush::Circle),
    flag(FT_FLAG(isAppsOnly), false, "Visibility", "Hide in apps",
         "Hide the bubbles whenever an app comes to the front."),
    flag(FT_FLAG(isInAppOnly), false, "Visibility", "Apps only", "Show the bubbles only while an app is in front."),
    flag(FT_FLAG(isLSOnly), false, "Visibility", "Lock screen only", "Show the bubbles only on the lock screen."),
    flag(FT_FLAG(isSticky), false, "Behaviour", "Snap to edge",
         "A bubble let go after a drag moves to the nearer side of the screen.", OverlayPush::None,
         "A snapped bubble's centre sits on the screen's edge, so half of it is off screen (held sideways, it keeps "
         "20 points in). A plain tap snaps it too."),
    flag(FT_FLAG(isLocked), false, "Behaviour", "Lock in place",
         "Bubbles cannot be dragged. The long-press menu toggles it too."),
    flag(FT_FLAG(isDim), true, "Behaviour", "Dim when idle",
         "Bubbles fade on the eighth tick of a one-second idle count. A drag that moves a bubble starts the count "
         "again; a tap does not: it lights the bubble up, and the count goes on from where it stood.",
         OverlayPush::Dim),
    flag(FT_FLAG(isAlwaysDim), false, "Behaviour", "Always dimmed", "With dimming on, bubbles stay faded.",
         OverlayPush::None,
         "Not at once: the bubbles read it at their next use of it. A later settings change dims them for good, "
         "once \"Dim when idle\" is in the file; until then a drag no longer lights them up."),
    flag(FT_FLAG(isHiddenInCC), false, "Visibility", "Hide in Control Center",
         "Hide the bubbles while Control Center is open."),
    flag(FT_FLAG(isSBOnly), false, "Visibility", "Home screen only",
         "Show the bubbles only on the home screen. The first time the home screen comes to the front after a "
         "start, they hide once instead; from the next time on they show there."),
    flag(FT_FLAG(isHiddenInLS), false, "Visibility", "Hide on lock screen", "Hide the bubbles while locked."),
    flag(FT_FLAG(isBadgeEnabled), true, "Appearance", "Badges", "Show the app's notification count.", OverlayPush::None,
         "Off takes effect at the next respring: until then a badge on screen stays as it is, and no count changes "
         "it. On, the badges follow the next change of any app's badge."),
    size(),
    colour("frameColor", &FTSettings::globalBoundColor, "globalBoundColor", kBorderColourFallback, "Border colour",
           "The ring around each bubble."),
    colour("badgeColor", &FTSettings::globalBadgeColor, "globalBadgeColor", kBadgeColourFallback, "Badge colour",
           "Background of the badge."),
    colour("badgeTextColor", &FTSettings::globalBadgeTextColor, "globalBadgeTextColor", kBadgeTextColourFallback,
           "Badge text colour", "The badge's digits."),
};

#undef FT_FLAG

} // namespace

std::span<const SettingDefinition> settingDefinitions() { return kSettings; }

FTSettings::FTSettings() {
    for (const auto& d : kSettings) {
        if (d.flag) this->*d.flag = d.defaultValue != 0;
        if (d.number) this->*d.number = static_cast<float>(d.defaultValue);
    }
}
