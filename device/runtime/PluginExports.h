// What a plugin may hand to the host for inspection. The host looks the
// function up by name in every loaded plugin (dlsym); a plugin without it
// is simply not inspected.
//
//   extern "C" void FloatTilesExportVariables(void* out);
//
// `out` points to an `id`, which the function sets to an NSDictionary:
//   "variables": NSDictionary, the plugin's process-wide variables by name
//                (NSNumber, NSString, NSDictionary, NSArray; NSNull for an
//                empty reference)
//   "bubbles":   NSArray of NSDictionary, in the plugin's own list order:
//                "bundle" NSString, "view" the bubble's UIView,
//                "badgeView" UIView or NSNull, "badgeLabel" UILabel or NSNull,
//                "currentBadgeValue" NSNumber
#pragma once

inline constexpr const char* kPluginExportFunction = "FloatTilesExportVariables";
using PluginExportFunction = void (*)(void* out);
