#include "springboard/PluginState.h"

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
