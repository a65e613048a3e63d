// The home-screen host's classes and operations that the plugin calls,
// reached only through the runtime: classes by name, messages by selector,
// the private UIKit operations among them. Host versions differ: a class
// may be missing, or one method of a class that is there. On the phone a
// message to a live object that lacks the method raises and the home
// screen restarts, so every operation here asks first (respondsToSelector:)
// and does without a missing one as it does without a missing class: it
// does nothing and answers NO, nil or 0.
#pragma once

#include <memory>
#include <string>

#include "foundation/Foundation.h"
#include "runtime/Runtime.h"

class UIImage;
class UIViewController;
class UIWindow;

namespace host {

// Sends the message if the receiver answers it; otherwise nothing is sent
// and the answer is empty (NO, nil, 0).
Value send(const id& receiver, const SEL& sel, const Args& args = {});
Value send(Class* receiver, const SEL& sel, const Args& args = {});

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

// The shared application's `_frontMostAppOrientation` (0 without it) and
// `launchApplicationWithIdentifier:suspended:` with NO.
long frontMostAppOrientation();
void launchApplication(const std::string& bundleID);
// `_applicationIconImageForBundleIdentifier:format:scale:` of UIImage.
std::shared_ptr<UIImage> applicationIconImage(const std::string& bundleID, int format, double scale);
// `setAutorotates:` and `_setSecure:` of a window, `_setAllowsAutorotation:`
// of a controller.
void setAutorotates(UIWindow& window, bool autorotates);
void setSecure(UIWindow& window, bool secure);
void setAllowsAutorotation(UIViewController& controller, bool allows);

// Forgets the kept classes (a fresh process state for tests).
void resetHostLookups();

} // namespace host
