#include "springboard/Startup.h"

#include "button/UIButtonFT.h"
#include "foundation/NotificationCenter.h"
#include "overlay/bothVC.h"
#include "settings/Settings.h"
#include "settings/StateStore.h"
#include "springboard/Hooks.h"
#include "springboard/HostInterfaces.h"
#include "springboard/PluginState.h"

namespace {

// The settings file read afresh. The overlay, when it has been made, is
// told each push as the reading reaches it.
void loadSettings() {
    std::shared_ptr<FTCustomViewController> controller;
    if (overlayState().isOverlayCreated) controller = bothVC::sharedInstance()->mainView;
    std::function<void(OverlayPush)> push;
    if (controller) push = [&controller](OverlayPush p) { controller->applySettingPush(p); };
    readSettingsFile(settingsVariables(), push);
}

// Every settings notification reads the whole file again; its arguments
// say nothing more.
void settingsChangedCallback(CFNotificationCenterRef, void*, CFStringRef, const void*, CFDictionaryRef) {
    loadSettings();
}

} // namespace

void startSettingsAndHooks() {
    loadSettings();
    CFNotificationCenterAddObserver(CFNotificationCenterGetDarwinNotifyCenter(), nullptr, settingsChangedCallback,
                                    kSettingsChangedNotification, nullptr, CFNotificationSuspensionBehaviorCoalesce);
    installHooks();
}

void startStateStore() { stateStore().load(); }

void startPlugin() {
    startSettingsAndHooks();
    startStateStore();
}

void resetPluginState() {
    settingsVariables() = FTSettings{};
    if (auto& timer = overlayState().mytimer) timer->invalidate();
    overlayState() = FTOverlayState{};
    visibilityState() = FTVisibilityState{};
    stateStore().reset();
    bothVC::resetSharedInstance();
    host::resetHostLookups();
}
