// What a plugin may hand springboard-sim for inspection (the dump's
// "plugin" and "bubbles", and the bubble targets of touches). The
// simulator looks the function up by name in every loaded plugin with
// dlsym, first match; a plugin without it is simply not inspected. A plugin
// includes this header to implement it; the device knows nothing of it.
//
//   extern "C" void SimInspectPlugin(PluginInspection* out);
//
// The function fills *out and changes nothing.
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
    // The plugin's process-wide variables by name: NSNumber, NSString,
    // NSDictionary or NSArray values, NSNull for an empty reference.
    id variables;
    std::vector<ExportedBubble> bubbles;
};

inline constexpr const char* kPluginInspectionFunction = "SimInspectPlugin";
using PluginInspectionFunction = void (*)(PluginInspection* out);
