#include "springboard/Startup.h"

#include "foundation/NotificationCenter.h"
#include "settings/Settings.h"
#include "settings/StateStore.h"
#include "springboard/Hooks.h"

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
