// HookTest.so: a tiny plugin for the simulator's own scenarios. It proves
// what the host promises a plugin, without FloatTiles:
// - its module initialiser runs at boot (and again after a respring, with
//   its memory fresh): "hooktest loaded";
// - hooks installed with MSHookMessageEx see the host's events, log them
//   and forward to the host's implementation, whose host-impl line follows;
//   a hook on an absent class is simply not in effect;
// - at launch it shows one window with one button, exported as a "bubble",
//   with a badge; a tap launches "com.test.one", a long press opens a menu
//   whose actions reach the host (Siri, the unlock request, a state write);
// - with hooktestCrashAtLaunch in the state file, its launch crashes; with
//   hooktestBounce, each app that comes to the front launches the other;
//   with hooktestLaunchOnCall, a call event launches com.test.one first;
// - a repeating timer ticks every 2 s;
// - its answer to isUILocked leaves a block for the end of the run loop's
//   turn, which logs when it runs.
#include <memory>
#include <string>

#include "foundation/Foundation.h"
#include "foundation/NSBundle.h"
#include "foundation/NSLog.h"
#include "foundation/NSUserDefaults.h"
#include "foundation/RunLoop.h"
#include "interfaces/PluginInspection.h"
#include "interfaces/PublicNames.h"
#include "runtime/Runtime.h"
#include "uikit/UIAlertController.h"
#include "uikit/UIApplication.h"
#include "uikit/UIButton.h"
#include "uikit/UIColor.h"
#include "uikit/UIGestureRecognizer.h"
#include "uikit/UIImage.h"
#include "uikit/UILabel.h"
#include "uikit/UIWindow.h"

namespace {

// Process-wide state of the plugin: a respring unloads the library, so the
// next process starts from these values again.
IMP hostLaunch = nullptr;
IMP hostFront = nullptr;
IMP hostIsUILocked = nullptr;
IMP hostCall = nullptr;
int frontCount = 0;
int ticks = 0;

struct Overlay {
    std::shared_ptr<UIWindow> window;
    std::shared_ptr<UIViewController> controller;
    std::shared_ptr<UIButton> button;
    std::shared_ptr<UIView> badge;
    std::shared_ptr<UILabel> label;
    std::shared_ptr<NSObject> target;
    std::shared_ptr<NSTimer> timer;
};
Overlay* overlay = nullptr;

constexpr const char* kFramework = "/System/Library/PrivateFrameworks/AccessibilityPhysicalInteraction.framework";

class HookTestTarget : public NSObject {
public:
    std::string className() const override { return "HookTestTarget"; }
};

void pick(const std::string& title) {
    NSLog("hooktest picked %s", title.c_str());
    if (title == "Siri") {
        id server = msg(NSClassFromString("AXSpringBoardServer"), "server").object();
        if (msg(server, "isSiriVisible").boolValue()) msg(server, "dismissSiri");
        else msg(server, "openSiri");
    } else if (title == "Activate") {
        if (auto bundle = NSBundle::bundleWithPath(kFramework)) bundle->load();
        msg(msg(NSClassFromString("AXPISystemActionHelper"), "sharedInstance").object(), "activateSiri");
    } else if (title == "Unlock") {
        msg(msg(NSClassFromString("SBLockScreenManager"), "sharedInstance").object(),
            "lockScreenViewControllerRequestsUnlock");
    } else if (title == "Save") {
        NSUserDefaults::initWithSuiteName(kStatePath)->setObjectForKey(str("saved"), "hooktest");
    }
}

Value tapped(const id&, const SEL&, const Args&) {
    NSLog("hooktest tapped");
    UIView::animateWithDuration(0.25, 0, UIViewAnimationOptionAllowUserInteraction, [] { overlay->button->setAlpha(0.5); });
    if (auto app = UIApplication::sharedApplication()) app->launchApplicationWithIdentifier("com.test.one", false);
    return {};
}

Value pressed(const id&, const SEL&, const Args& args) {
    auto recognizer = args.empty() ? nullptr : args[0].as<UIGestureRecognizer>();
    if (!recognizer || recognizer->state() != UIGestureRecognizerStateBegan) return {};
    auto alert = UIAlertController::alertControllerWithTitle("HookTest", "Pick one", UIAlertControllerStyleAlert);
    for (const char* title : {"Siri", "Activate", "Unlock", "Save"})
        alert->addAction(UIAlertAction::actionWithTitle(title, UIAlertActionStyleDefault,
                                                        [t = std::string(title)](UIAlertAction*) { pick(t); }));
    alert->addAction(UIAlertAction::actionWithTitle("Cancel", UIAlertActionStyleCancel, nullptr));
    overlay->controller->presentViewController(alert, true, nullptr);
    return {};
}

Value tick(const id&, const SEL&, const Args&) {
    NSLog("hooktest tick %d", ++ticks);
    return {};
}

void buildOverlay() {
    overlay = new Overlay;
    Class* cls = objc_lookUpOrDefineClass("HookTestTarget", "NSObject",
                                          {{"tapped:", tapped}, {"pressed:", pressed}, {"tick:", tick}});
    (void)cls;
    overlay->target = std::make_shared<HookTestTarget>();
    overlay->window = UIWindow::initWithFrame(CGRectMake(50, 50, 200, 200));
    overlay->window->setWindowLevel(10);
    overlay->controller = UIViewController::init();
    overlay->window->setRootViewController(overlay->controller);
    overlay->window->setHidden(false);

    auto button = UIButton::buttonWithType(UIButtonTypeCustom);
    button->setFrame(CGRectMake(50, 50, 60, 60));
    button->setImage(UIImage::_applicationIconImageForBundleIdentifier("com.test.one", 2, 2), UIControlStateNormal);
    button->layer()->setCornerRadius(30);
    button->setClipsToBounds(true);
    button->layer()->setBorderWidth(2);
    button->layer()->setBorderColor(UIColor::colorWithRed(1, 0, 0, 1)->CGColor());
    button->addTarget(overlay->target, "tapped:", UIControlEventTouchUpInside);
    button->addGestureRecognizer(UILongPressGestureRecognizer::initWithTarget(overlay->target, "pressed:"));
    overlay->controller->view()->addSubview(button);
    overlay->button = button;

    overlay->badge = UIView::initWithFrame(CGRectMake(40, 0, 20, 20));
    overlay->badge->setBackgroundColor(UIColor::colorWithRed(0, 1, 0, 1));
    overlay->badge->layer()->setCornerRadius(10);
    overlay->label = UILabel::initWithFrame(CGRectMake(0, 0, 20, 20));
    overlay->label->setText("2");
    overlay->label->setFont(UIFont::systemFontOfSize(12));
    overlay->label->setTextColor(UIColor::whiteColor());
    overlay->label->setTextAlignment(NSTextAlignmentCenter);
    overlay->badge->addSubview(overlay->label);
    button->addSubview(overlay->badge);

    overlay->timer = NSTimer::scheduledTimerWithTimeInterval(2.0, overlay->target, "tick:", nullptr, true);
}

Value launchHook(const id& self, const SEL& sel, const Args& args) {
    Value result = hostLaunch ? hostLaunch(self, sel, args) : Value();
    NSLog("hooktest launched");
    // A plugin that crashes the home screen every time it starts, for the
    // scenarios of a home screen that cannot come back.
    if (NSUserDefaults::initWithSuiteName(kStatePath)->objectForKey("hooktestCrashAtLaunch"))
        msg(self, "hooktestNoSuchMethod");
    buildOverlay();
    return result;
}

Value frontHook(const id& self, const SEL& sel, const Args& args) {
    auto app = args.empty() ? nullptr : args[0].object();
    std::string what = "home";
    if (app) {
        // A display that is not an app has no bundleIdentifier: asking it
        // would crash the home screen.
        auto bundle =
            app->respondsToSelector("bundleIdentifier") ? msg(app, "bundleIdentifier").as<NSString>() : nullptr;
        what = bundle ? bundle->UTF8String() : "not-an-app";
    }
    NSLog("hooktest front #%d %s", ++frontCount, what.c_str());
    Value result = hostFront ? hostFront(self, sel, args) : Value();
    // A plugin that never lets the phone rest: each app in front asks for
    // the other.
    if (app && NSUserDefaults::initWithSuiteName(kStatePath)->objectForKey("hooktestBounce"))
        if (auto launcher = UIApplication::sharedApplication())
            launcher->launchApplicationWithIdentifier(what == "com.test.one" ? "com.test.two" : "com.test.one", false);
    return result;
}

Value isUILockedHook(const id& self, const SEL& sel, const Args& args) {
    Value answer = hostIsUILocked ? hostIsUILocked(self, sel, args) : Value();
    NSLog("hooktest isUILocked %s", answer.boolValue() ? "YES" : "NO");
    // Work left for the end of the run loop's turn, as a plugin's
    // dispatch to the main queue is.
    NSRunLoop::mainRunLoop().performBlock(
        [locked = answer.boolValue()] { NSLog("hooktest turn ended after isUILocked %s", locked ? "YES" : "NO"); });
    return answer;
}

Value callHook(const id& self, const SEL& sel, const Args& args) {
    // Asked without looking first, on purpose: a host without these
    // methods crashes the home screen here, which the stage's crash
    // scenarios use.
    id event = args.empty() ? nullptr : args[0].object();
    // A request to the phone just before a crash, for the scenarios of
    // what a crash takes with it.
    if (NSUserDefaults::initWithSuiteName(kStatePath)->objectForKey("hooktestLaunchOnCall"))
        if (auto launcher = UIApplication::sharedApplication())
            launcher->launchApplicationWithIdentifier("com.test.one", false);
    id call = msg(event, "object").object();
    if (call) NSLog("hooktest call status %d", static_cast<int>(msg(call, "status").intValue()));
    else NSLog("hooktest call without a call");
    return hostCall ? hostCall(self, sel, args) : Value();
}

__attribute__((constructor)) void hookTestLoad() {
    NSLog("hooktest loaded");
    Class* springBoard = NSClassFromString("SpringBoard");
    MSHookMessageEx(springBoard, "applicationDidFinishLaunching:", launchHook, &hostLaunch);
    MSHookMessageEx(springBoard, "frontDisplayDidChange:", frontHook, &hostFront);
    MSHookMessageEx(NSClassFromString("SBLockScreenManager"), "isUILocked", isUILockedHook, &hostIsUILocked);
    MSHookMessageEx(NSClassFromString("SBTelephonyManager"), "callEventHandler:", callHook, &hostCall);
}

// The process's objects are gone by the time the library is closed; only
// what we allocated ourselves is left to free.
__attribute__((destructor)) void hookTestUnload() {
    delete overlay;
    overlay = nullptr;
}

} // namespace

extern "C" __attribute__((visibility("default"))) void SimInspectPlugin(PluginInspection* out) {
    auto variables = std::make_shared<NSMutableDictionary>();
    variables->setObjectForKey(NSNumber::numberWithInt(frontCount), "frontCount");
    variables->setObjectForKey(NSNumber::numberWithInt(ticks), "ticks");
    variables->setObjectForKey(NSNumber::numberWithBool(overlay != nullptr), "overlay");
    variables->setObjectForKey(NSNumber::numberWithBool(hostCall != nullptr), "callHooked");
    out->variables = variables;
    out->bubbles.clear();
    if (overlay)
        out->bubbles.push_back({"com.test.one", overlay->button, overlay->badge, overlay->label, NSNumber::numberWithInt(2)});
}
