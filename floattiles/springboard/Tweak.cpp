// The plugin's entry: two module initialisers, run by the dynamic loader
// when the host loads the library, before the host's application object
// finishes launching. The priorities keep their order whatever the link
// order; they are the only code that runs at load.
#include "foundation/NotificationCenter.h"
#include "settings/Settings.h"
#include "settings/StateStore.h"
#include "springboard/Hooks.h"

__attribute__((constructor(101))) static void floatTilesStartup() {
    loadSettings();
    CFNotificationCenterAddObserver(CFNotificationCenterGetDarwinNotifyCenter(), nullptr, settingsChangedCallback,
                                    kSettingsChangedNotification, nullptr, CFNotificationSuspensionBehaviorCoalesce);
    installHooks();
}

__attribute__((constructor(102))) static void floatTilesLoadStateStore() { stateStore().load(); }
