// FloatTiles on hosts that each lack one of the operations it uses. On the
// phone a message to a live object whose class lacks the method crashes the
// home screen; host versions differ, so the plugin must do without any one
// of them as it does without a missing class.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "sim/Simulator.h"

namespace {

const char* const kDevice =
    "app com.apple.MobileSMS badge=2\n"
    "app com.apple.mobilemail\n"
    "app com.apple.siri\n"
    "app com.apple.Maps orientation=3\n"
    "state FLTTILE-com.apple.MobileSMS=true FLTTILE-com.apple.mobilemail=true FLTTILE-com.apple.siri=true\n"
    "settings isSticky=true isDim=true\n"
    "phone answers yes\n";

// A session of what a person does: taps, drags, every menu action, Siri
// both ways, a badge, lock and unlock with a locked tap, a turn, Control
// Center, a call, the idle dimming and a respring.
const char* const kSession =
    "boot\n"
    "tap bubble:com.apple.MobileSMS\n"
    "press home\n"
    "drag bubble:com.apple.mobilemail to 100,300\n"
    "longpress bubble:com.apple.mobilemail\n"
    "menu \"Save Current Position\"\n"
    "longpress bubble:com.apple.mobilemail\n"
    "menu \"Align By This Button (Vertically)\"\n"
    "longpress bubble:com.apple.mobilemail\n"
    "menu \"Lock Float Tiles\"\n"
    "longpress bubble:com.apple.mobilemail\n"
    "menu \"Unlock Float Tiles\"\n"
    "tap bubble:com.apple.siri\n"
    "tap bubble:com.apple.siri\n"
    "siri framework yes\n"
    "tap bubble:com.apple.siri\n"
    "tap bubble:com.apple.siri\n"
    "badge com.apple.mobilemail 5\n"
    "lock\n"
    "tap bubble:com.apple.MobileSMS\n"
    "unlock\n"
    "press home\n"
    "open com.apple.Maps\n"
    "orientation landscape left\n"
    "press home\n"
    "open controlcenter\n"
    "close controlcenter\n"
    "call 4\n"
    "call 6\n"
    "wait 9\n"
    "open com.apple.MobileSMS\n"
    "longpress bubble:com.apple.mobilemail\n"
    "menu \"Hide NOW (Current App Until Respring)\"\n"
    "press home\n"
    "open com.apple.mobilemail\n"
    "longpress bubble:com.apple.MobileSMS\n"
    "menu \"Add Current App To Blacklist\"\n"
    "press home\n"
    "respring\n"
    "tap bubble:com.apple.MobileSMS\n";

struct Session {
    std::vector<std::string> failures; // "line: reason"
    std::vector<std::string> crashes;  // the trace's crash lines
    std::string trace;
};

Session session(const std::string& absent) {
    Simulator::Options o;
    o.deviceTemplate = FT_DEVICE_TEMPLATE;
    Simulator sim(std::move(o));
    Session run;
    std::istringstream in(std::string(kDevice) + absent + "\n" + kSession);
    for (std::string line; std::getline(in, line);) {
        std::string reason = sim.execute(line);
        if (!reason.empty()) run.failures.push_back(line + ": " + reason);
    }
    for (const auto& t : sim.trace()) {
        if (t.find("] crash ") != std::string::npos) run.crashes.push_back(t);
        run.trace += t + "\n";
    }
    return run;
}

// Tests that the session runs whole on a host that has everything: every
// line does what it says, so each run below exercises every operation.
TEST(AbsentOperation, TheSessionRunsWholeOnAFullHost) {
    Session full = session("");
    EXPECT_TRUE(full.failures.empty()) << full.failures.front();
    EXPECT_TRUE(full.crashes.empty());
    for (const char* effect :
         {"launch com.apple.MobileSMS", "siri activate", "siri dismiss", "siri open", "unlock-request",
          "write state POSAPPS-com.apple.mobilemail", "write settings isLocked=true",
          "write state HIDAPPS-com.apple.mobilemail=true", "log zefran call status :4", "respring"})
        EXPECT_NE(full.trace.find(effect), std::string::npos) << effect;
}

// Tests that without any single host operation the plugin uses (the
// methods it replaces among them) the same session never crashes the home
// screen. A line may still fail for what the missing operation takes away
// (no bubble to tap without the launch), never for a crash.
TEST(AbsentOperation, NoSingleMissingOperationCrashesTheHomeScreen) {
    const std::vector<std::pair<const char*, const char*>> operations = {
        {"SpringBoard", "applicationDidFinishLaunching:"},
        {"SpringBoard", "frontDisplayDidChange:"},
        {"SBApplication", "bundleIdentifier"},
        {"SBApplication", "badgeValue"},
        {"SBApplication", "setBadgeValue:"},
        {"SBApplicationController", "sharedInstance"},
        {"SBApplicationController", "_applicationsByBundleIdentifer"},
        {"SBControlCenterController", "_willPresent"},
        {"SBControlCenterController", "_didDismiss"},
        {"SBLockScreenManager", "sharedInstance"},
        {"SBLockScreenManager", "isUILocked"},
        {"SBLockScreenManager", "lockScreenViewControllerRequestsUnlock"},
        {"SBLockScreenManager", "lockScreenViewControllerWillDismiss"},
        {"SBLockStateAggregator", "_updateLockState"},
        {"SBLockStateAggregator", "lockState"},
        {"CSPasscodeViewController", "viewDidAppear:"},
        {"CSPasscodeViewController", "viewDidDisappear:"},
        {"SBTelephonyManager", "callEventHandler:"},
        {"SBTelephonyCallEvent", "object"},
        {"SBTelephonyCall", "status"},
        {"UIApplication", "_frontMostAppOrientation"},
        {"UIApplication", "launchApplicationWithIdentifier:suspended:"},
        {"UIImage", "_applicationIconImageForBundleIdentifier:format:scale:"},
        {"UIWindow", "setAutorotates:"},
        {"UIWindow", "_setSecure:"},
        {"UIViewController", "_setAllowsAutorotation:"},
        {"AXSpringBoardServer", "server"},
        {"AXSpringBoardServer", "isSiriVisible"},
        {"AXSpringBoardServer", "dismissSiri"},
        {"AXSpringBoardServer", "openSiri"},
        {"AXPISystemActionHelper", "sharedInstance"},
        {"AXPISystemActionHelper", "activateSiri"},
    };
    for (const auto& [cls, sel] : operations) {
        const std::string absent = std::string("absent ") + cls + " " + sel;
        Session run = session(absent);
        EXPECT_TRUE(run.crashes.empty()) << absent << ": " << run.crashes.front();
        for (const auto& f : run.failures) EXPECT_EQ(f.find("crashed"), std::string::npos) << absent << ": " << f;
    }
}

} // namespace
