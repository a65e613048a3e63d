// The eleven replacements of the host's methods, and their installation.
#pragma once

#include "runtime/Runtime.h"
#include "springboard/PluginState.h"

// The visibility settings under which the first front display without an
// app after a start (on a phone, the lock screen it comes up on) hides the
// bubbles once, whatever they say of the home screen.
inline constexpr bool FTSettings::*kFirstHomeHidingFlags[] = {&FTSettings::isInAppOnly, &FTSettings::isSBOnly,
                                                              &FTSettings::isHiddenInLS};

// The host's own implementations, one slot per replaced method, in the
// order of installation. A slot stays empty when the host lacks the class
// or the method; its replacement then never runs.
struct FTHostImplementations {
    IMP applicationDidFinishLaunching = nullptr;
    IMP frontDisplayDidChange = nullptr;
    IMP controlCenterWillPresent = nullptr;
    IMP controlCenterDidDismiss = nullptr;
    IMP isUILocked = nullptr;
    IMP lockScreenViewControllerWillDismiss = nullptr;
    IMP updateLockState = nullptr;
    IMP setBadgeValue = nullptr;
    IMP passcodeViewDidAppear = nullptr;
    IMP passcodeViewDidDisappear = nullptr;
    IMP callEventHandler = nullptr;
};

FTHostImplementations& hostImplementation();

// Replaces the eleven methods with MSHookMessageEx, each class looked up by
// name once.
void installHooks();
