// A test plugin whose filter names another process: it must never be
// opened in the home-screen process. If it is, its initialiser says so.
#include "runtime/Runtime.h"

namespace {

__attribute__((constructor)) void initialise() { msg(NSClassFromString("FTPluginProbe"), "pluginLoaded:", 2); }

} // namespace
