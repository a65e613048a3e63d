#include "springboard/HostInterfaces.h"

#include "uikit/UIApplication.h"
#include "uikit/UIImage.h"
#include "uikit/UIWindow.h"

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

Value send(const id& receiver, const SEL& sel, const Args& args) {
    if (!receiver || !receiver->respondsToSelector(sel)) return {};
    return objc_msgSend(receiver, sel, args);
}

Value send(Class* receiver, const SEL& sel, const Args& args) {
    return send(receiver ? receiver->self() : nullptr, sel, args);
}

id applicationForBundleIdentifier(const std::string& bundleID) {
    id controller = send(keptClass(kept().applicationController, "SBApplicationController"), "sharedInstance").object();
    if (!controller) return nullptr;
    const Ivar* ivar = class_getInstanceVariable(object_getClass(controller.get()), "_applicationsByBundleIdentifer");
    auto apps = std::dynamic_pointer_cast<NSDictionary>(object_getIvar(controller, ivar));
    return apps ? apps->valueForKey(bundleID) : nullptr;
}

id lockScreenManager() { return send(NSClassFromString("SBLockScreenManager"), "sharedInstance").object(); }

id accessibilityServer() {
    return send(keptClass(kept().accessibilityServer, "AXSpringBoardServer"), "server").object();
}

id systemActionHelper() {
    return send(keptClass(kept().systemActionHelper, "AXPISystemActionHelper"), "sharedInstance").object();
}

Class* applicationClass() { return keptClass(kept().application, "SBApplication"); }

long frontMostAppOrientation() {
    return static_cast<long>(send(UIApplication::sharedApplication(), "_frontMostAppOrientation").intValue());
}

void launchApplication(const std::string& bundleID) {
    send(UIApplication::sharedApplication(),
         "launchApplicationWithIdentifier:suspended:", {Value(str(bundleID)), Value(NO)});
}

std::shared_ptr<UIImage> applicationIconImage(const std::string& bundleID, int format, double scale) {
    return send(NSClassFromString("UIImage"), "_applicationIconImageForBundleIdentifier:format:scale:",
                {Value(str(bundleID)), Value(format), Value(scale)})
        .as<UIImage>();
}

void setAutorotates(UIWindow& window, bool autorotates) {
    send(window.self(), "setAutorotates:", {Value(autorotates)});
}

void setSecure(UIWindow& window, bool secure) { send(window.self(), "_setSecure:", {Value(secure)}); }

void setAllowsAutorotation(UIViewController& controller, bool allows) {
    send(controller.self(), "_setAllowsAutorotation:", {Value(allows)});
}

void resetHostLookups() { kept() = KeptClasses{}; }

} // namespace host
