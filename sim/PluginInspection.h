// What a plugin may hand springboard-sim for inspection (the dump's
// "plugin", "readings" and "bubbles", the bubble targets of touches, and
// what `springboard-sim describe` prints). The
// simulator looks the function up by name in every loaded plugin with
// dlsym, first match; a plugin without it is simply not inspected. A plugin
// includes this header to implement it; the device knows nothing of it.
//
//   extern "C" void SimInspectPlugin(PluginInspection* out);
//
// The function fills *out and changes nothing. It fills `readings` and
// `description` only when asked: the readings read the state file.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "runtime/Runtime.h"

class UIView;

// One bubble, in the plugin's own list order.
struct ExportedBubble {
    std::string bundle;
    std::shared_ptr<UIView> view;
    std::shared_ptr<UIView> badgeView;    // nullptr: none
    std::shared_ptr<UIView> badgeLabel;   // a UILabel; nullptr: none
    id currentBadgeValue;                 // NSNumber
};

struct PluginInspection {
    // Asked of the plugin beside its variables and bubbles.
    bool wantReadings = false;
    bool wantDescription = false;

    // The plugin's process-wide variables by name: NSNumber, NSString,
    // NSDictionary or NSArray values, NSNull for an empty reference.
    id variables;
    std::vector<ExportedBubble> bubbles;
    // What the plugin read from its files, by its own reading of them: a
    // dictionary of property-list values; nil when not asked or not given.
    id readings;
    // What the plugin is: its settings keys with their types, defaults,
    // bounds and the pane's words, its files, its notification; a
    // dictionary of property-list values; nil when not asked or not given.
    id description;
};

inline constexpr const char* kPluginInspectionFunction = "SimInspectPlugin";
using PluginInspectionFunction = void (*)(PluginInspection* out);
