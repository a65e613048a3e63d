// The screen as a person would see it at one instant, drawn as SVG: the
// host beneath (home screen, the app in front, or the lock screen), then
// every visible window bottom to top with its views as they are presented
// at that instant (running animations interpolated), then the alert.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "sim/JsonPointer.h"

class UIWindow;
class UIAlertController;

struct SnapshotApp {
    std::string bundle;
    bool icon = true;
    Json badge;   // null, a number or a text
};

struct SnapshotScene {
    double width = 375, height = 667;
    double time = 0;             // the run loop's clock, for presentation values
    bool off = false;            // not booted: a dark screen
    bool locked = false;
    bool siriVisible = false;
    bool controlCenter = false;
    std::string frontApp;        // empty: the home screen
    long orientation = 1;        // the front-most orientation: the app in front is drawn as it is held
    std::vector<SnapshotApp> apps;
    std::vector<std::shared_ptr<UIWindow>> windows;
    std::shared_ptr<UIAlertController> alert;
};

std::string renderSnapshot(const SnapshotScene& scene);

// A text as SVG's text and attribute values take it.
std::string escapeXml(const std::string& text);

// The generated look of an app's icon: a colour hashed from the bundle
// identifier, a darker shade of it, and initials from its last component.
struct AppIconStyle {
    std::string light;     // "#rrggbb"
    std::string dark;
    std::string initials;  // one or two letters
    std::string name;      // a short display name
};
AppIconStyle appIconStyle(const std::string& bundleIdentifier);
