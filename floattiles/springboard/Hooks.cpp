#include "springboard/Hooks.h"

#include "foundation/NSLog.h"
#include "overlay/bothVC.h"
#include "settings/StateStore.h"
#include "springboard/HostInterfaces.h"
#include "springboard/PluginState.h"
#include "uikit/UIApplication.h"

FTHostImplementations& hostImplementation() {
    static FTHostImplementations slots;
    return slots;
}

namespace {

// The overlay controller, or nil while no overlay exists: then hide, show
// and the badge refresh do nothing, while the rules still keep their flags.
FTCustomViewController* overlay() {
    const auto& instance = overlayState().objSharedInstance;
    return instance ? instance->mainView.get() : nullptr;
}

void hide() {
    if (auto* c = overlay()) c->setHidden(YES);
}

void show() {
    if (auto* c = overlay()) c->setHidden(NO);
}

Value callHost(IMP imp, const id& self, const SEL& sel, const Args& args) {
    return imp ? imp(self, sel, args) : Value();
}

id firstArgument(const Args& args) { return args.empty() ? nullptr : args[0].object(); }

// ---- launch ----

Value applicationDidFinishLaunching(const id& self, const SEL& sel, const Args& args) {
    callHost(hostImplementation().applicationDidFinishLaunching, self, sel, args);
    FTOverlayState& o = overlayState();
    if (settingsVariables().isEnabled) {
        o.objSharedInstance = bothVC::sharedInstance();
        if (o.objSharedInstance->mainView) o.objSharedInstance->mainView->setInitialPos();
        o.isOverlayCreated = true;
    } else {
        o.objSharedInstance = nullptr;
    }
    return {};
}

// ---- visibility rules ----

// The front display changed. Cases are tried in order; the first that
// applies ends the rule.
Value frontDisplayDidChange(const id& self, const SEL& sel, const Args& args) {
    const FTSettings& s = settingsVariables();
    FTVisibilityState& v = visibilityState();
    if (!overlayState().objSharedInstance) return {};
    id display = firstArgument(args);

    if (v.isCCPresented || (!display && v.isPasscodeVisible)) {
        v.isFrontDisplayHandled = false;
        return {};
    }

    if (!display) {
        bool hidesAtFirstHome = false;
        for (bool FTSettings::*flag : kFirstHomeHidingFlags) hidesAtFirstHome = hidesAtFirstHome || s.*flag;
        if (hidesAtFirstHome && !v.isFirstHomeHandled) {
            hide();
            v.isFirstHomeHandled = true;
            return {};
        }
        if (s.isSBOnly) {
            show();
            v.isFrontDisplayHandled = true;
            return {};
        }
        if (!s.isInAppOnly && !s.isLSOnly) {
            show();
            v.isFrontDisplayHandled = true;
            return {};
        }
        if (s.isInAppOnly) {
            hide();
            v.isFrontDisplayHandled = true;
            return {};
        }
        return callHost(hostImplementation().frontDisplayDidChange, self, sel, args);
    }

    bool isApp = display->isKindOfClass(host::applicationClass());
    if (s.isSBOnly && isApp) {
        hide();
        v.isFrontDisplayHandled = true;
        return {};
    }
    if (!isApp) return callHost(hostImplementation().frontDisplayDidChange, self, sel, args);

    v.isFrontDisplayHandled = true;
    if (s.isAppsOnly || s.isLSOnly) {
        hide();
        return {};
    }
    v.currentBundle = host::send(display, "bundleIdentifier").as<NSString>();
    if (v.currentBundle && stateStore().isHiddenApp(v.currentBundle->UTF8String())) {
        hide();
        return callHost(hostImplementation().frontDisplayDidChange, self, sel, args);
    }
    show();
    return callHost(hostImplementation().frontDisplayDidChange, self, sel, args);
}

Value controlCenterWillPresent(const id& self, const SEL& sel, const Args& args) {
    callHost(hostImplementation().controlCenterWillPresent, self, sel, args);
    FTVisibilityState& v = visibilityState();
    v.isCCPresented = true;
    v.isHiddenBeforeCC = v.isCurrentlyHidden;
    if (settingsVariables().isHiddenInCC) {
        // This hide belongs to Control Center alone: the state to come back
        // to stays recorded as it was.
        v.isHidingForCC = true;
        hide();
        v.isHidingForCC = false;
    }
    return {};
}

Value controlCenterDidDismiss(const id& self, const SEL& sel, const Args& args) {
    FTVisibilityState& v = visibilityState();
    if (settingsVariables().isHiddenInCC) {
        if (auto* c = overlay()) c->setHidden(v.isHiddenBeforeCC);
    }
    v.isCCPresented = false;
    return callHost(hostImplementation().controlCenterDidDismiss, self, sel, args);
}

Value isUILocked(const id& self, const SEL& sel, const Args& args) {
    Value answer = callHost(hostImplementation().isUILocked, self, sel, args);
    const FTSettings& s = settingsVariables();
    const FTVisibilityState& v = visibilityState();
    if (v.isPasscodeVisible || v.isCCPresented) return answer;
    if (!answer.boolValue()) return answer;
    if (s.isHiddenInLS || s.isSBOnly) {
        hide();
        return answer;
    }
    if (s.isInAppOnly && !s.isLSOnly) return answer;
    if (v.isInCall) return answer;
    show();
    return answer;
}

Value lockScreenViewControllerWillDismiss(const id& self, const SEL& sel, const Args& args) {
    callHost(hostImplementation().lockScreenViewControllerWillDismiss, self, sel, args);
    FTOverlayState& o = overlayState();
    if (o.pendingLaunchBundleID) {
        // Taken out first: the launch may come back into the plugin.
        auto pending = std::move(o.pendingLaunchBundleID);
        o.pendingLaunchBundleID = nullptr;
        host::launchApplication(pending->UTF8String());
    }
    if (settingsVariables().isLSOnly) hide();
    visibilityState().isInCall = false;
    return {};
}

Value updateLockState(const id& self, const SEL& sel, const Args& args) {
    callHost(hostImplementation().updateLockState, self, sel, args);
    const FTSettings& s = settingsVariables();
    FTVisibilityState& v = visibilityState();
    // The stored state is compared sign-extended to the width of the host's
    // unsigned answer.
    uint64_t last = static_cast<uint64_t>(static_cast<int64_t>(v.lastLockState));
    if (host::send(self, "lockState").uintValue() == last) return {};
    uint64_t state = host::send(self, "lockState").uintValue();
    if (state == 1 || state == 3) {
        if (s.isHiddenInLS || s.isSBOnly || s.isInAppOnly) hide();
        else show();
    } else if (state == 0) {
        if (s.isSBOnly) show();
        else if (s.isLSOnly || s.isInAppOnly) hide();
        else show();
    }
    v.lastLockState =
        static_cast<int32_t>(static_cast<uint32_t>(host::send(self, "lockState").uintValue() & 0xffffffffu));
    return {};
}

Value setBadgeValue(const id& self, const SEL& sel, const Args& args) {
    callHost(hostImplementation().setBadgeValue, self, sel, args);
    if (auto* c = overlay()) c->updateBadgesButton();
    return {};
}

Value passcodeViewDidAppear(const id& self, const SEL& sel, const Args& args) {
    visibilityState().isPasscodeVisible = true;
    hide();
    return callHost(hostImplementation().passcodeViewDidAppear, self, sel, args);
}

Value passcodeViewDidDisappear(const id& self, const SEL& sel, const Args& args) {
    callHost(hostImplementation().passcodeViewDidDisappear, self, sel, args);
    const FTSettings& s = settingsVariables();
    FTVisibilityState& v = visibilityState();
    if (!s.isLSOnly && !s.isInAppOnly && !v.isFrontDisplayHandled) show();
    v.isFrontDisplayHandled = false;
    v.isPasscodeVisible = false;
    return {};
}

Value callEventHandler(const id& self, const SEL& sel, const Args& args) {
    FTVisibilityState& v = visibilityState();
    id event = firstArgument(args);
    id call = host::send(event, "object").object();
    if (event && call) {
        auto status = [&] { return static_cast<int32_t>(host::send(call, "status").intValue()); };
        NSLog("zefran call status :%d", status());
        if ((status() == 3 || status() == 4 || status() == 5) && !v.isCurrentlyHidden) {
            v.isInCall = true;
            hide();
        } else if (v.isInCall && status() != 1) {
            v.isInCall = false;
            show();
        }
    }
    return callHost(hostImplementation().callEventHandler, self, sel, args);
}

} // namespace

void installHooks() {
    FTHostImplementations& slots = hostImplementation();

    Class* springBoard = NSClassFromString("SpringBoard");
    MSHookMessageEx(springBoard, "applicationDidFinishLaunching:", applicationDidFinishLaunching,
                    &slots.applicationDidFinishLaunching);
    MSHookMessageEx(springBoard, "frontDisplayDidChange:", frontDisplayDidChange, &slots.frontDisplayDidChange);

    Class* controlCenter = NSClassFromString("SBControlCenterController");
    MSHookMessageEx(controlCenter, "_willPresent", controlCenterWillPresent, &slots.controlCenterWillPresent);
    MSHookMessageEx(controlCenter, "_didDismiss", controlCenterDidDismiss, &slots.controlCenterDidDismiss);

    Class* lockScreen = NSClassFromString("SBLockScreenManager");
    MSHookMessageEx(lockScreen, "isUILocked", isUILocked, &slots.isUILocked);
    MSHookMessageEx(lockScreen, "lockScreenViewControllerWillDismiss", lockScreenViewControllerWillDismiss,
                    &slots.lockScreenViewControllerWillDismiss);

    Class* lockState = NSClassFromString("SBLockStateAggregator");
    MSHookMessageEx(lockState, "_updateLockState", updateLockState, &slots.updateLockState);

    Class* application = NSClassFromString("SBApplication");
    MSHookMessageEx(application, "setBadgeValue:", setBadgeValue, &slots.setBadgeValue);

    Class* passcode = NSClassFromString("CSPasscodeViewController");
    MSHookMessageEx(passcode, "viewDidAppear:", passcodeViewDidAppear, &slots.passcodeViewDidAppear);
    MSHookMessageEx(passcode, "viewDidDisappear:", passcodeViewDidDisappear, &slots.passcodeViewDidDisappear);

    Class* telephony = NSClassFromString("SBTelephonyManager");
    MSHookMessageEx(telephony, "callEventHandler:", callEventHandler, &slots.callEventHandler);
}
