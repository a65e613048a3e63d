// A test plugin. Its initialiser, as a real plugin's, finds a host class by
// name and replaces one of its methods, keeping the host's implementation;
// then it tells the probe class that it ran (the count lives with the
// test, not here, so that it survives this library being unloaded).
#include "runtime/Runtime.h"

namespace {

IMP hostValue = nullptr;

// Answers the host's value plus 100, so the test sees both ran.
Value hookedValue(const id& self, const SEL& sel, const Args& args) {
    Value base = hostValue ? hostValue(self, sel, args) : Value();
    return Value(base.intValue() + 100);
}

__attribute__((constructor)) void initialise() {
    Class* probe = NSClassFromString("FTPluginProbe");
    MSHookMessageEx(probe, "value", hookedValue, &hostValue);
    msg(probe, "pluginLoaded:", 1);
}

} // namespace

extern "C" int FTTestHookPluginMarker() { return 42; }
