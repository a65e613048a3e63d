#include "springboard/SpringBoardHost.h"

#include <filesystem>

#include "foundation/DevicePaths.h"
#include "foundation/Foundation.h"
#include "foundation/NSBundle.h"
#include "springboard/HostObject.h"
#include "springboard/SBApplication.h"
#include "springboard/SpringBoard.h"
#include "uikit/UIApplication.h"
#include "uikit/UIScreen.h"
#include "uikit/WindowServer.h"

namespace {

SpringBoardHost& host() { return SpringBoardHost::current(); }

// The host's own implementation of a method a plugin may replace announces
// itself, so a driver can see whether a replacement forwarded.
void traceImpl(const char* cls, const char* sel) { host().trace(std::string("host-impl ") + cls + " " + sel); }

std::shared_ptr<HostObject> hostObject(const id& self) { return std::dynamic_pointer_cast<HostObject>(self); }

// ---- SpringBoard ----

Value sbApplicationDidFinishLaunching(const id&, const SEL&, const Args&) {
    traceImpl("SpringBoard", "applicationDidFinishLaunching:");
    return {};
}
Value sbFrontDisplayDidChange(const id&, const SEL&, const Args&) {
    traceImpl("SpringBoard", "frontDisplayDidChange:");
    return {};
}
Value sbSharedApplication(const id&, const SEL&, const Args&) { return Value(host().application()); }

// ---- SBApplication ----

Value appBundleIdentifier(const id& self, const SEL&, const Args&) {
    auto app = std::dynamic_pointer_cast<SBApplication>(self);
    return app ? Value(str(app->bundleIdentifier())) : Value();
}
Value appBadgeValue(const id& self, const SEL&, const Args&) {
    auto app = std::dynamic_pointer_cast<SBApplication>(self);
    return app ? Value(app->badgeValue()) : Value();
}
Value appSetBadgeValue(const id& self, const SEL&, const Args& args) {
    traceImpl("SBApplication", "setBadgeValue:");
    if (auto app = std::dynamic_pointer_cast<SBApplication>(self)) app->setBadgeValue(args.empty() ? nullptr : args[0].object());
    return {};
}

// ---- SBApplicationController ----

Value controllerSharedInstance(const id&, const SEL&, const Args&) { return Value(host().applicationController()); }
Value controllerApplicationWithBundleIdentifier(const id&, const SEL&, const Args& args) {
    auto bundle = args.empty() ? nullptr : args[0].as<NSString>();
    return bundle ? Value(host().applicationWithBundleIdentifier(bundle->UTF8String())) : Value();
}

// ---- SBControlCenterController ----

Value ccSharedInstance(const id&, const SEL&, const Args&) { return Value(host().controlCenterController()); }
Value ccWillPresent(const id&, const SEL&, const Args&) {
    traceImpl("SBControlCenterController", "_willPresent");
    return {};
}
Value ccDidDismiss(const id&, const SEL&, const Args&) {
    traceImpl("SBControlCenterController", "_didDismiss");
    return {};
}

// ---- SBLockScreenManager ----

Value lsmSharedInstance(const id&, const SEL&, const Args&) { return Value(host().lockScreenManager()); }
Value lsmIsUILocked(const id&, const SEL&, const Args&) {
    traceImpl("SBLockScreenManager", "isUILocked");
    return Value(host().state().uiLocked);
}
Value lsmRequestsUnlock(const id&, const SEL&, const Args&) {
    host().requestUnlock();
    return {};
}
Value lsmWillDismiss(const id&, const SEL&, const Args&) {
    traceImpl("SBLockScreenManager", "lockScreenViewControllerWillDismiss");
    return {};
}

// ---- SBLockStateAggregator ----

Value aggregatorSharedInstance(const id&, const SEL&, const Args&) { return Value(host().lockStateAggregator()); }
Value aggregatorUpdateLockState(const id&, const SEL&, const Args&) {
    traceImpl("SBLockStateAggregator", "_updateLockState");
    return {};
}
Value aggregatorLockState(const id&, const SEL&, const Args&) { return Value(static_cast<unsigned long long>(host().state().lockState)); }

// ---- CSPasscodeViewController ----

Value passcodeViewDidAppear(const id&, const SEL&, const Args&) {
    traceImpl("CSPasscodeViewController", "viewDidAppear:");
    return {};
}
Value passcodeViewDidDisappear(const id&, const SEL&, const Args&) {
    traceImpl("CSPasscodeViewController", "viewDidDisappear:");
    return {};
}

// ---- SBTelephonyManager and its call events ----

Value telephonySharedManager(const id&, const SEL&, const Args&) { return Value(host().telephonyManager()); }
Value telephonyCallEventHandler(const id&, const SEL&, const Args&) {
    traceImpl("SBTelephonyManager", "callEventHandler:");
    return {};
}
Value callEventObject(const id& self, const SEL&, const Args&) {
    auto o = hostObject(self);
    return o ? Value(o->object) : Value();
}
Value callStatus(const id& self, const SEL&, const Args&) {
    auto o = hostObject(self);
    return o ? Value(static_cast<int>(o->status)) : Value();
}

// ---- accessibility ----

Value axServer(const id&, const SEL&, const Args&) { return Value(host().accessibilityServer()); }
Value axIsSiriVisible(const id&, const SEL&, const Args&) { return Value(host().state().siriVisible); }
Value axDismissSiri(const id&, const SEL&, const Args&) {
    host().setSiriVisible(false);
    host().trace("siri dismiss");
    return {};
}
Value axOpenSiri(const id&, const SEL&, const Args&) {
    host().setSiriVisible(true);
    host().trace("siri open");
    return {};
}
Value axpiSharedInstance(const id&, const SEL&, const Args&) { return Value(host().systemActionHelper()); }
Value axpiActivateSiri(const id&, const SEL&, const Args&) {
    host().setSiriVisible(true);
    host().trace("siri activate");
    return {};
}

} // namespace

// ---- DeviceConfiguration ----

InstalledApp* DeviceConfiguration::app(const std::string& bundleIdentifier) {
    for (auto& a : apps)
        if (a.bundleIdentifier == bundleIdentifier) return &a;
    return nullptr;
}

const InstalledApp* DeviceConfiguration::app(const std::string& bundleIdentifier) const {
    return const_cast<DeviceConfiguration*>(this)->app(bundleIdentifier);
}

// ---- SpringBoard ----

long SpringBoard::_frontMostAppOrientation() { return SpringBoardHost::current().state().frontMostOrientation; }

bool SpringBoard::launchApplicationWithIdentifier(const std::string& bundleIdentifier, bool suspended) {
    SpringBoardHost::current().launchApplication(bundleIdentifier, suspended);
    return true;
}

std::shared_ptr<UIImage> SpringBoard::iconForBundleIdentifier(const std::string& bundleIdentifier, int, double scale) {
    auto& h = SpringBoardHost::current();
    const InstalledApp* app = h.bootConfiguration().app(bundleIdentifier);
    if (!app || !app->hasIcon) return nullptr;
    return std::make_shared<UIImage>(bundleIdentifier, CGSize{60, 60}, scale);
}

// ---- SpringBoardHost ----

SpringBoardHost& SpringBoardHost::current() { return Process::current().get<SpringBoardHost>(); }

bool SpringBoardHost::isBooted() { return Process::exists() && current().installed_; }

void SpringBoardHost::trace(const std::string& line) const {
    if (trace_) trace_(line);
}

void SpringBoardHost::install(const DeviceConfiguration& configuration, TraceHandler trace, const HostState& initial) {
    configuration_ = configuration;
    trace_ = std::move(trace);
    state_ = initial;
    WindowServer::shared().setLockScreenShowing(state_.uiLocked);
    // The home screen comes up the way the device is held; its interface
    // keeps that orientation for the life of the process (see fidelity.md).
    UIScreen::setInterfaceOrientation(state_.frontMostOrientation);
    defineClasses();
    // A private framework's classes arrive when its bundle is loaded.
    NSBundle::setLoadObserver([](const std::string& path) {
        if (SpringBoardHost::isBooted()) SpringBoardHost::current().bundleLoaded(path);
    });

    application_ = std::make_shared<SpringBoard>();
    UIApplication::setSharedApplication(application_);

    removeAbsentMethods();

    auto controller = std::make_shared<HostObject>("SBApplicationController");
    auto byBundle = std::make_shared<NSMutableDictionary>();
    for (const auto& app : configuration_.apps) {
        auto sbApp = std::make_shared<SBApplication>(app.bundleIdentifier, app.badgeValue);
        applications_.push_back(sbApp);
        byBundle->setObjectForKey(sbApp, app.bundleIdentifier);
    }
    controller->ivars["_applicationsByBundleIdentifer"] = byBundle;
    applicationController_ = controller;
    controlCenter_ = std::make_shared<HostObject>("SBControlCenterController");
    lockScreenManager_ = std::make_shared<HostObject>("SBLockScreenManager");
    lockStateAggregator_ = std::make_shared<HostObject>("SBLockStateAggregator");
    passcodeViewController_ = std::make_shared<HostObject>("CSPasscodeViewController");
    telephonyManager_ = std::make_shared<HostObject>("SBTelephonyManager");
    accessibilityServer_ = std::make_shared<HostObject>("AXSpringBoardServer");
    otherDisplay_ = std::make_shared<HostObject>("SBWidgetDisplay");
    installed_ = true;
}

void SpringBoardHost::defineClasses() {
    Runtime& rt = Runtime::current();
    // A class the device lacks is simply never defined, so every message to
    // it, or to an instance of it, meets the nil rule.
    auto define = [&](const char* name, const char* super) -> Class* {
        if (isAbsent(name)) return nullptr;
        return rt.defineClass(name, rt.classNamed(super) ? super : "NSObject");
    };

    if (Class* c = define("SpringBoard", "UIApplication")) {
        c->addMethod("applicationDidFinishLaunching:", sbApplicationDidFinishLaunching);
        c->addMethod("frontDisplayDidChange:", sbFrontDisplayDidChange);
        c->addClassMethod("sharedApplication", sbSharedApplication);
    }
    if (Class* c = define("SBApplication", "NSObject")) {
        c->addMethod("bundleIdentifier", appBundleIdentifier);
        c->addMethod("badgeValue", appBadgeValue);
        c->addMethod("setBadgeValue:", appSetBadgeValue);
    }
    if (Class* c = define("SBApplicationController", "NSObject")) {
        c->addClassMethod("sharedInstance", controllerSharedInstance);
        c->addMethod("applicationWithBundleIdentifier:", controllerApplicationWithBundleIdentifier);
        c->addIvar("_applicationsByBundleIdentifer", [](NSObject& o) -> id {
            auto* h = dynamic_cast<HostObject*>(&o);
            if (!h) return nullptr;
            auto it = h->ivars.find("_applicationsByBundleIdentifer");
            return it == h->ivars.end() ? nullptr : it->second;
        });
    }
    if (Class* c = define("SBControlCenterController", "NSObject")) {
        c->addClassMethod("sharedInstance", ccSharedInstance);
        c->addMethod("_willPresent", ccWillPresent);
        c->addMethod("_didDismiss", ccDidDismiss);
    }
    if (Class* c = define("SBLockScreenManager", "NSObject")) {
        c->addClassMethod("sharedInstance", lsmSharedInstance);
        c->addMethod("isUILocked", lsmIsUILocked);
        c->addMethod("lockScreenViewControllerRequestsUnlock", lsmRequestsUnlock);
        c->addMethod("lockScreenViewControllerWillDismiss", lsmWillDismiss);
    }
    if (Class* c = define("SBLockStateAggregator", "NSObject")) {
        c->addClassMethod("sharedInstance", aggregatorSharedInstance);
        c->addMethod("_updateLockState", aggregatorUpdateLockState);
        c->addMethod("lockState", aggregatorLockState);
    }
    if (Class* c = define("CSPasscodeViewController", "UIViewController")) {
        c->addMethod("viewDidAppear:", passcodeViewDidAppear);
        c->addMethod("viewDidDisappear:", passcodeViewDidDisappear);
    }
    if (Class* c = define("SBTelephonyManager", "NSObject")) {
        c->addClassMethod("sharedTelephonyManager", telephonySharedManager);
        c->addMethod("callEventHandler:", telephonyCallEventHandler);
    }
    if (Class* c = define("SBTelephonyCallEvent", "NSObject")) c->addMethod("object", callEventObject);
    if (Class* c = define("SBTelephonyCall", "NSObject")) c->addMethod("status", callStatus);
    define("SBWidgetDisplay", "NSObject");
    if (Class* c = define("AXSpringBoardServer", "NSObject")) {
        c->addClassMethod("server", axServer);
        c->addMethod("isSiriVisible", axIsSiriVisible);
        c->addMethod("dismissSiri", axDismissSiri);
        c->addMethod("openSiri", axOpenSiri);
    }
}

void SpringBoardHost::bundleLoaded(const std::string& devicePath) {
    trace("bundle-load " + devicePath);
    std::string path = devicePath;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    if (path != kAccessibilityPhysicalInteractionPath || !frameworkPresent()) return;
    if (isAbsent("AXPISystemActionHelper")) return;
    Runtime& rt = Runtime::current();
    if (rt.classNamed("AXPISystemActionHelper")) return;
    Class* c = rt.defineClass("AXPISystemActionHelper", "NSObject");
    c->addClassMethod("sharedInstance", axpiSharedInstance);
    c->addMethod("activateSiri", axpiActivateSiri);
    systemActionHelper_ = std::make_shared<HostObject>("AXPISystemActionHelper");
    removeAbsentMethods();
}

void SpringBoardHost::removeAbsentMethods() {
    Runtime& rt = Runtime::current();
    for (const auto& [cls, sel] : configuration_.absentMethods) rt.removeMethod(cls, sel);
}

void SpringBoardHost::send(const id& receiver, const SEL& sel, const Args& args) const {
    if (receiver && receiver->respondsToSelector(sel)) objc_msgSend(receiver, sel, args);
}

bool SpringBoardHost::frameworkPresent() {
    std::error_code ec;
    std::string mapped = DevicePaths::map(kAccessibilityPhysicalInteractionPath);
    return !mapped.empty() && std::filesystem::is_directory(mapped, ec);
}

void SpringBoardHost::finishLaunching() {
    if (!installed_) return;
    send(application_, "applicationDidFinishLaunching:", {Value(application_)});
}

// ---- events ----

bool SpringBoardHost::bringToFront(const std::string& bundleIdentifier) {
    auto app = applicationWithBundleIdentifier(bundleIdentifier);
    if (!app) return false;
    state_.frontKind = FrontDisplayKind::App;
    state_.frontBundle = bundleIdentifier;
    const InstalledApp* installed = configuration_.app(bundleIdentifier);
    if (installed && installed->hasOrientation) {
        state_.frontMostOrientation = installed->orientation;
        state_.orientationFromApp = true;
    }
    send(application_, "frontDisplayDidChange:", {Value(id(app))});
    return true;
}

void SpringBoardHost::goHome() {
    state_.frontKind = FrontDisplayKind::Home;
    state_.frontBundle.clear();
    if (state_.orientationFromApp) state_.frontMostOrientation = UIInterfaceOrientationPortrait;
    state_.orientationFromApp = false;
    send(application_, "frontDisplayDidChange:", {Value(id())});
}

void SpringBoardHost::bringOtherDisplayToFront() {
    state_.frontKind = FrontDisplayKind::Other;
    state_.frontBundle.clear();
    send(application_, "frontDisplayDidChange:", {Value(otherDisplay_)});
}

void SpringBoardHost::setControlCenterPresented(bool presented) {
    state_.controlCenterPresented = presented;
    send(controlCenter_, presented ? "_willPresent" : "_didDismiss");
}

void SpringBoardHost::setLockState(uint64_t lockState) {
    state_.lockState = lockState;
    send(lockStateAggregator_, "_updateLockState");
}

void SpringBoardHost::setPasscodeVisible(bool visible) {
    state_.passcodeVisible = visible;
    send(passcodeViewController_, visible ? "viewDidAppear:" : "viewDidDisappear:", {Value(true)});
}

void SpringBoardHost::setFrontMostOrientation(long orientation) {
    state_.frontMostOrientation = orientation;
    state_.orientationFromApp = false;
}

void SpringBoardHost::setUILocked(bool locked) {
    state_.uiLocked = locked;
    // The lock screen covers every window but the secure ones.
    WindowServer::shared().setLockScreenShowing(locked);
}

void SpringBoardHost::setSiriVisible(bool visible) { state_.siriVisible = visible; }

void SpringBoardHost::sendCallEvent(const id& event) {
    auto e = std::dynamic_pointer_cast<HostObject>(event);
    auto call = e ? std::dynamic_pointer_cast<HostObject>(e->object) : nullptr;
    state_.callStatus = call ? std::optional<int>(static_cast<int>(call->status)) : std::nullopt;
    send(telephonyManager_, "callEventHandler:", {Value(event)});
}

void SpringBoardHost::askUILocked() { send(lockScreenManager_, "isUILocked"); }

void SpringBoardHost::dismissLockScreen() { send(lockScreenManager_, "lockScreenViewControllerWillDismiss"); }

bool SpringBoardHost::setBadgeValue(const std::string& bundleIdentifier, const id& value) {
    auto app = applicationWithBundleIdentifier(bundleIdentifier);
    if (!app) return false;
    send(app, "setBadgeValue:", {Value(value)});
    return true;
}

void SpringBoardHost::request(const HostRequest& r) const {
    if (requestHandler_) requestHandler_(r);
}

void SpringBoardHost::launchApplication(const std::string& bundleIdentifier, bool suspended) {
    state_.launches.push_back(bundleIdentifier);
    trace("launch " + bundleIdentifier + " suspended=" + (suspended ? "YES" : "NO"));
    request({HostRequest::Kind::Launch, bundleIdentifier, suspended});
}

void SpringBoardHost::requestUnlock() {
    state_.unlockRequests++;
    trace("unlock-request");
    request({HostRequest::Kind::Unlock, {}});
}

std::shared_ptr<SBApplication> SpringBoardHost::applicationWithBundleIdentifier(const std::string& bundleIdentifier) const {
    for (const auto& a : applications_)
        if (a->bundleIdentifier() == bundleIdentifier) return a;
    return nullptr;
}

DeviceConfiguration SpringBoardHost::configuration() const {
    DeviceConfiguration c = configuration_;
    for (auto& app : c.apps)
        if (auto sbApp = applicationWithBundleIdentifier(app.bundleIdentifier)) app.badgeValue = sbApp->badgeValue();
    return c;
}

id SpringBoardHost::makeCallEvent(bool withCall, int status) const {
    auto event = std::make_shared<HostObject>("SBTelephonyCallEvent");
    if (withCall) {
        auto call = std::make_shared<HostObject>("SBTelephonyCall");
        call->status = status;
        event->object = call;
    }
    return event;
}

void SpringBoardHost::shutdown() {
    // Plugins may hold on to nothing of ours, but we may hold plugin values
    // (a badge set by a plugin): drop everything before they are unloaded.
    if (application_) UIApplication::setSharedApplication(nullptr);
    application_.reset();
    applications_.clear();
    applicationController_.reset();
    controlCenter_.reset();
    lockScreenManager_.reset();
    lockStateAggregator_.reset();
    passcodeViewController_.reset();
    telephonyManager_.reset();
    accessibilityServer_.reset();
    systemActionHelper_.reset();
    otherDisplay_.reset();
    trace_ = nullptr;
    requestHandler_ = nullptr;
    installed_ = false;
}
