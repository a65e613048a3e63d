#include "springboard/HostInterfaces.h"

namespace host {

namespace {

struct KeptClasses {
    Class* applicationController = nullptr;
    Class* accessibilityServer = nullptr;
    Class* systemActionHelper = nullptr;
    Class* application = nullptr;
};

KeptClasses& kept() {
    static KeptClasses k;
    return k;
}

// Looks a class up until it is found, then keeps it.
Class* keptClass(Class*& slot, const char* name) {
    if (!slot) slot = NSClassFromString(name);
    return slot;
}

} // namespace

id applicationForBundleIdentifier(const std::string& bundleID) {
    id controller = msg(keptClass(kept().applicationController, "SBApplicationController"), "sharedInstance").object();
    if (!controller) return nullptr;
    const Ivar* ivar = class_getInstanceVariable(object_getClass(controller.get()), "_applicationsByBundleIdentifer");
    auto apps = std::dynamic_pointer_cast<NSDictionary>(object_getIvar(controller, ivar));
    return apps ? apps->valueForKey(bundleID) : nullptr;
}

id lockScreenManager() { return msg(NSClassFromString("SBLockScreenManager"), "sharedInstance").object(); }

id accessibilityServer() {
    return msg(keptClass(kept().accessibilityServer, "AXSpringBoardServer"), "server").object();
}

id systemActionHelper() {
    return msg(keptClass(kept().systemActionHelper, "AXPISystemActionHelper"), "sharedInstance").object();
}

Class* applicationClass() { return keptClass(kept().application, "SBApplication"); }

void resetHostLookups() { kept() = KeptClasses{}; }

} // namespace host
