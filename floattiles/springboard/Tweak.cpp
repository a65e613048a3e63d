// The plugin's entry: two module initialisers, run by the dynamic loader
// when the host loads the library, before the host's application object
// finishes launching. The priorities keep their order whatever the link
// order; they are the only code that runs at load.
#include "springboard/Startup.h"

__attribute__((constructor(101))) static void floatTilesStartup() { startSettingsAndHooks(); }

__attribute__((constructor(102))) static void floatTilesLoadStateStore() { startStateStore(); }
