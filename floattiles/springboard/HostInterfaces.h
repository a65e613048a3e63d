// The home-screen host's classes and operations that the plugin calls,
// reached only through the runtime: classes by name, messages by selector.
// A missing class or object makes every call here do nothing and answer
// NO, nil or 0.
#pragma once

#include <string>

#include "foundation/Foundation.h"
#include "runtime/Runtime.h"

namespace host {

inline constexpr const char* kSiriBundleID = "com.apple.siri";
inline constexpr const char* kAccessibilityFrameworkPath =
    "/System/Library/PrivateFrameworks/AccessibilityPhysicalInteraction.framework";

// `SBApplicationController`'s application for a bundle identifier, through
// its instance variable `_applicationsByBundleIdentifer`; nil when the
// controller, the variable or the app is missing.
id applicationForBundleIdentifier(const std::string& bundleID);

// `SBLockScreenManager`'s shared instance (looked up by name at every use).
id lockScreenManager();

// `AXSpringBoardServer`'s server and `AXPISystemActionHelper`'s shared
// instance; each class is looked up at first use and kept once found.
id accessibilityServer();
id systemActionHelper();

// The `SBApplication` class, looked up at first use and kept once found.
Class* applicationClass();

// Forgets the kept classes (a fresh process state for tests).
void resetHostLookups();

} // namespace host
