// The plugin's process-wide variables, gathered in a few plain structs.
// Each lives as long as the plugin is loaded: a new home-screen process
// loads the plugin afresh and so starts from these initial values. Tests
// that link the plugin's code directly call resetPluginState()
// (springboard/Startup.h) instead.
#pragma once

#include <cstdint>
#include <memory>

#include "foundation/Foundation.h"
#include "foundation/RunLoop.h"
#include "uikit/UIApplication.h"
#include "uikit/UIView.h"

class bothVC;
class UIButtonFT;

// The user's settings, named after their keys in the settings file (the
// colours after what they colour). Their defaults and how each is read are
// in settings/SettingsTable.h.
struct FTSettings {
    // The defaults of the settings table, as a freshly loaded plugin holds them.
    FTSettings();

    bool isEnabled;
    bool isCircle;
    bool isAppsOnly;
    bool isInAppOnly;
    bool isLSOnly;
    bool isSticky;
    bool isLocked;
    bool isDim;
    bool isAlwaysDim;
    bool isHiddenInCC;
    bool isSBOnly;
    bool isHiddenInLS;
    bool isBadgeEnabled;
    float bubbleSize;
    // The colour texts as found in the file; empty until a load sets them.
    std::shared_ptr<NSString> globalBoundColor;
    std::shared_ptr<NSString> globalBadgeColor;
    std::shared_ptr<NSString> globalBadgeTextColor;
};

// What the overlay, its bubbles and their handlers share.
struct FTOverlayState {
    std::shared_ptr<bothVC> objSharedInstance;
    bool isOverlayCreated = false;
    float screenWidth = 0;
    float screenHeight = 0;
    int64_t oldOrientation = UIInterfaceOrientationUnknown;
    int32_t nextBubbleY = 90;
    std::shared_ptr<NSString> myfinalbundle;
    std::shared_ptr<NSTimer> mytimer;
    bool isDragged = false;
    int32_t idleCounter = 0;
    std::shared_ptr<NSString> pendingLaunchBundleID;
    std::shared_ptr<UIButtonFT> AVChosenButton;
};

// The visibility rules' shared flags.
struct FTVisibilityState {
    bool isCurrentlyHidden = false;
    bool isHiddenBeforeCC = false;
    bool isHidingForCC = false;
    bool isCCPresented = false;
    bool isPasscodeVisible = false;
    bool isFrontDisplayHandled = false;
    bool isFirstHomeHandled = false;
    bool isInCall = false;
    int32_t lastLockState = 3;
    std::shared_ptr<NSString> currentBundle;
};

FTSettings& settingsVariables();
FTOverlayState& overlayState();
FTVisibilityState& visibilityState();

// Durations and alphas that the overlay writes as single-precision literals
// reach the platform widened to double.
inline constexpr double kFadeDuration045 = static_cast<double>(0.45f);
inline constexpr double kMoveDuration03 = static_cast<double>(0.3f);
inline constexpr double kTapDuration015 = static_cast<double>(0.15f);
inline constexpr double kDimAlpha03 = static_cast<double>(0.3f);
// Every overlay animation lays out subviews and lets the bubbles take
// touches while it runs.
inline constexpr unsigned long kAnimationOptions =
    UIViewAnimationOptionLayoutSubviews | UIViewAnimationOptionAllowUserInteraction;
