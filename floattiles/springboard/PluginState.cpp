#include "springboard/PluginState.h"

#include "button/UIButtonFT.h"
#include "overlay/bothVC.h"
#include "settings/StateStore.h"
#include "springboard/HostInterfaces.h"

// Function-local statics: made at first use, destroyed when the plugin is
// unloaded, so nothing depends on the order of static initialisation
// against the module initialisers.
FTSettings& settingsVariables() {
    static FTSettings s;
    return s;
}

FTOverlayState& overlayState() {
    static FTOverlayState s;
    return s;
}

FTVisibilityState& visibilityState() {
    static FTVisibilityState s;
    return s;
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
