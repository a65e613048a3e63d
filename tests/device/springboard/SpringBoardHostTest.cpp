#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include <unistd.h>

#include "foundation/DevicePaths.h"
#include "foundation/Foundation.h"
#include "foundation/NSBundle.h"
#include "runtime/Process.h"
#include "springboard/SBApplication.h"
#include "springboard/SpringBoard.h"
#include "springboard/SpringBoardHost.h"
#include "uikit/UIApplication.h"
#include "uikit/UIImage.h"
#include "uikit/UIScreen.h"

namespace fs = std::filesystem;

namespace {

class SpringBoardHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("sb-host-test-" + std::to_string(::getpid()));
        fs::create_directories(root_);
        DevicePaths::setRoot(root_.string());
        UIScreen::configure(375, 667, 2);
        config_.apps = {{"com.example.mail", true, NSNumber::numberWithInt(3), 1},
                        {"com.example.maps", false, nullptr, 4}};
    }
    void TearDown() override {
        Process::terminate();
        fs::remove_all(root_);
    }
    SpringBoardHost& boot() {
        auto& host = SpringBoardHost::current();
        host.install(config_, [this](const std::string& line) { trace_.push_back(line); });
        return host;
    }
    bool traced(const std::string& line) const { return std::find(trace_.begin(), trace_.end(), line) != trace_.end(); }

    fs::path root_;
    DeviceConfiguration config_;
    std::vector<std::string> trace_;
};

// Tests that the host's classes answer by name, with the host's state.
TEST_F(SpringBoardHostTest, ClassesAnswerThroughTheRuntime) {
    auto& host = boot();
    EXPECT_TRUE(SpringBoardHost::isBooted());
    id lsm = msg(NSClassFromString("SBLockScreenManager"), "sharedInstance").object();
    ASSERT_TRUE(lsm);
    EXPECT_FALSE(msg(lsm, "isUILocked").boolValue());
    host.setUILocked(true);
    EXPECT_TRUE(msg(lsm, "isUILocked").boolValue());
    EXPECT_TRUE(traced("host-impl SBLockScreenManager isUILocked"));
    msg(lsm, "lockScreenViewControllerRequestsUnlock");
    EXPECT_TRUE(traced("unlock-request"));
    EXPECT_EQ(host.state().unlockRequests, 1);

    host.setLockState(3);
    id aggregator = host.lockStateAggregator();
    EXPECT_EQ(msg(aggregator, "lockState").uintValue(), 3u);

    id server = msg(NSClassFromString("AXSpringBoardServer"), "server").object();
    ASSERT_TRUE(server);
    msg(server, "openSiri");
    EXPECT_TRUE(msg(server, "isSiriVisible").boolValue());
    msg(server, "dismissSiri");
    EXPECT_FALSE(host.state().siriVisible);
    EXPECT_TRUE(traced("siri open"));
    EXPECT_TRUE(traced("siri dismiss"));
    EXPECT_FALSE(NSClassFromString("AXPISystemActionHelper"));

    id cc = msg(NSClassFromString("SBControlCenterController"), "sharedInstance").object();
    EXPECT_EQ(cc, host.controlCenterController());
    EXPECT_EQ(msg(NSClassFromString("SBTelephonyManager"), "sharedTelephonyManager").object(), host.telephonyManager());
}

// Tests the apps: the controller's dictionary by bundle identifier, the
// badge kept by the host's implementation, and the kind of the app class.
TEST_F(SpringBoardHostTest, ApplicationsAndBadges) {
    auto& host = boot();
    Class* controllerClass = NSClassFromString("SBApplicationController");
    id controller = msg(controllerClass, "sharedInstance").object();
    const Ivar* ivar = class_getInstanceVariable(controllerClass, "_applicationsByBundleIdentifer");
    ASSERT_TRUE(ivar);
    auto dict = std::dynamic_pointer_cast<NSDictionary>(object_getIvar(controller, ivar));
    ASSERT_TRUE(dict);
    EXPECT_EQ(dict->allKeys(), (std::vector<std::string>{"com.example.mail", "com.example.maps"}));
    id mail = dict->objectForKey("com.example.mail");
    EXPECT_TRUE(mail->isKindOfClass(NSClassFromString("SBApplication")));
    EXPECT_EQ(msg(mail, "bundleIdentifier").as<NSString>()->UTF8String(), "com.example.mail");
    EXPECT_EQ(msg(mail, "badgeValue").as<NSNumber>()->intValue(), 3);
    msg(mail, "setBadgeValue:", str("9+"));
    EXPECT_TRUE(traced("host-impl SBApplication setBadgeValue:"));
    EXPECT_EQ(msg(mail, "badgeValue").as<NSString>()->UTF8String(), "9+");
    msg(mail, "setBadgeValue:", nullptr);
    EXPECT_TRUE(msg(mail, "badgeValue").isNil());
    msg(mail, "setBadgeValue:", NSNumber::numberWithInt(5));
    // The configuration handed to the next boot carries the badge.
    EXPECT_EQ(std::dynamic_pointer_cast<NSNumber>(host.configuration().app("com.example.mail")->badgeValue)->intValue(), 5);
    EXPECT_FALSE(host.otherDisplay()->isKindOfClass(NSClassFromString("SBApplication")));
}

// Tests the application object: orientation, launches and icons.
TEST_F(SpringBoardHostTest, ApplicationObject) {
    auto& host = boot();
    auto app = UIApplication::sharedApplication();
    ASSERT_EQ(app, std::static_pointer_cast<UIApplication>(host.application()));
    host.setFrontMostOrientation(UIInterfaceOrientationLandscapeRight);
    EXPECT_EQ(app->_frontMostAppOrientation(), 3);
    EXPECT_EQ(msg(std::static_pointer_cast<NSObject>(app), "_frontMostAppOrientation").intValue(), 3);
    EXPECT_TRUE(app->launchApplicationWithIdentifier("com.example.mail", false));
    EXPECT_TRUE(traced("launch com.example.mail suspended=NO"));
    msg(std::static_pointer_cast<NSObject>(app), "launchApplicationWithIdentifier:suspended:", str("com.x"), true);
    EXPECT_TRUE(traced("launch com.x suspended=YES"));
    EXPECT_EQ(host.state().launches, (std::vector<std::string>{"com.example.mail", "com.x"}));
    // Nothing comes to the front by itself.
    EXPECT_EQ(host.state().frontKind, FrontDisplayKind::Home);

    auto icon = UIImage::_applicationIconImageForBundleIdentifier("com.example.mail", 2, 3);
    ASSERT_TRUE(icon);
    EXPECT_EQ(icon->bundleIdentifier(), "com.example.mail");
    EXPECT_EQ(icon->size(), (CGSize{60, 60}));
    EXPECT_EQ(icon->scale(), 3);
    EXPECT_FALSE(UIImage::_applicationIconImageForBundleIdentifier("com.example.maps", 2, 2));
    EXPECT_FALSE(UIImage::_applicationIconImageForBundleIdentifier("com.example.unknown", 2, 2));
}

// Tests the nil rule for an absent class: never defined, so messages to
// its instances and to the class reach nobody; other classes are there.
TEST_F(SpringBoardHostTest, AbsentClassesAreNeverDefined) {
    config_.absentClasses = {"SBLockScreenManager", "SBApplication"};
    auto& host = boot();
    EXPECT_FALSE(NSClassFromString("SBLockScreenManager"));
    EXPECT_FALSE(NSClassFromString("SBApplication"));
    EXPECT_TRUE(NSClassFromString("SpringBoard"));
    host.setUILocked(true);
    EXPECT_FALSE(msg(host.lockScreenManager(), "isUILocked").boolValue());
    EXPECT_TRUE(msg(std::static_pointer_cast<NSObject>(host.applications()[0]), "bundleIdentifier").isNil());
    EXPECT_TRUE(trace_.empty());
}

// Tests that a replacement installed with MSHookMessageEx sees the event
// the host sends and can forward it to the host's implementation.
Value (*hostFront)(const id&, const SEL&, const Args&) = nullptr;
int replacementCalls = 0;
Value frontReplacement(const id& self, const SEL& sel, const Args& args) {
    ++replacementCalls;
    return hostFront(self, sel, args);
}

TEST_F(SpringBoardHostTest, HostEventsReachReplacements) {
    auto& host = boot();
    replacementCalls = 0;
    MSHookMessageEx(NSClassFromString("SpringBoard"), "frontDisplayDidChange:", frontReplacement, &hostFront);
    ASSERT_TRUE(hostFront);
    msg(std::static_pointer_cast<NSObject>(host.application()), "frontDisplayDidChange:", nullptr);
    EXPECT_EQ(replacementCalls, 1);
    EXPECT_TRUE(traced("host-impl SpringBoard frontDisplayDidChange:"));
    host.finishLaunching();
    EXPECT_TRUE(traced("host-impl SpringBoard applicationDidFinishLaunching:"));
}

// Tests the front display as drivers ask for it: an app with an orientation
// of its own brings it and the home screen is upright again after it, an
// app without one leaves the orientation alone, an app that is not
// installed changes nothing; each change is sent through the runtime.
TEST_F(SpringBoardHostTest, FrontDisplayAndTheOrientationItBrings) {
    config_.apps[1].hasOrientation = true;
    auto& host = boot();
    auto app = std::static_pointer_cast<NSObject>(host.application());
    host.setFrontMostOrientation(3);
    ASSERT_TRUE(host.bringToFront("com.example.mail"));
    EXPECT_EQ(host.state().frontBundle, "com.example.mail");
    EXPECT_EQ(msg(app, "_frontMostAppOrientation").intValue(), 3) << "mail has no orientation of its own";
    ASSERT_TRUE(host.bringToFront("com.example.maps"));
    EXPECT_EQ(msg(app, "_frontMostAppOrientation").intValue(), 4);
    host.bringOtherDisplayToFront();
    EXPECT_EQ(host.state().frontKind, FrontDisplayKind::Other);
    EXPECT_EQ(host.state().frontMostOrientation, 4) << "another display leaves the app's orientation";
    host.goHome();
    EXPECT_EQ(host.state().frontKind, FrontDisplayKind::Home);
    EXPECT_EQ(host.state().frontMostOrientation, 1);
    host.setFrontMostOrientation(2);
    host.goHome();
    EXPECT_EQ(host.state().frontMostOrientation, 2) << "an orientation set by hand stays";
    auto sent = [&] { return std::count(trace_.begin(), trace_.end(), "host-impl SpringBoard frontDisplayDidChange:"); };
    EXPECT_EQ(sent(), 5);
    EXPECT_FALSE(host.bringToFront("com.example.absent"));
    EXPECT_EQ(host.state().frontKind, FrontDisplayKind::Home);
    EXPECT_EQ(sent(), 5) << "nothing is sent for an app that is not installed";
}

// Tests the other events a driver asks for: each sets what the host
// answers and sends the host's method.
TEST_F(SpringBoardHostTest, EventsSetTheStateAndSendTheMethod) {
    auto& host = boot();
    host.setControlCenterPresented(true);
    EXPECT_TRUE(host.state().controlCenterPresented);
    EXPECT_TRUE(traced("host-impl SBControlCenterController _willPresent"));
    host.setControlCenterPresented(false);
    EXPECT_TRUE(traced("host-impl SBControlCenterController _didDismiss"));
    host.setLockState(3);
    EXPECT_EQ(msg(host.lockStateAggregator(), "lockState").uintValue(), 3u);
    EXPECT_TRUE(traced("host-impl SBLockStateAggregator _updateLockState"));
    host.setPasscodeVisible(true);
    EXPECT_TRUE(host.state().passcodeVisible);
    EXPECT_TRUE(traced("host-impl CSPasscodeViewController viewDidAppear:"));
    host.setPasscodeVisible(false);
    EXPECT_TRUE(traced("host-impl CSPasscodeViewController viewDidDisappear:"));
    size_t lines = trace_.size();
    host.setUILocked(true);
    host.setSiriVisible(true);
    EXPECT_EQ(trace_.size(), lines) << "answers only: nothing is sent";
    id server = msg(NSClassFromString("AXSpringBoardServer"), "server").object();
    EXPECT_TRUE(msg(server, "isSiriVisible").boolValue());
}

// Tests call events: an event whose object is a call answering its status,
// or an event without a call.
TEST_F(SpringBoardHostTest, CallEvents) {
    auto& host = boot();
    id event = host.makeCallEvent(true, 4);
    id call = msg(event, "object").object();
    ASSERT_TRUE(call);
    EXPECT_EQ(msg(call, "status").intValue(), 4);
    EXPECT_TRUE(msg(host.makeCallEvent(false, 0), "object").isNil());
    msg(host.telephonyManager(), "callEventHandler:", event);
    EXPECT_TRUE(traced("host-impl SBTelephonyManager callEventHandler:"));
}

// Tests the physical-interaction helper: it arrives with its framework's
// bundle, only if the framework's folder exists, and once.
TEST_F(SpringBoardHostTest, HelperArrivesWithItsBundle) {
    auto& host = boot();
    EXPECT_FALSE(SpringBoardHost::frameworkPresent());
    EXPECT_FALSE(NSBundle::bundleWithPath(kAccessibilityPhysicalInteractionPath));
    EXPECT_FALSE(NSClassFromString("AXPISystemActionHelper"));
    fs::create_directories(DevicePaths::map(kAccessibilityPhysicalInteractionPath));
    EXPECT_TRUE(SpringBoardHost::frameworkPresent());
    auto bundle = NSBundle::bundleWithPath(kAccessibilityPhysicalInteractionPath);
    ASSERT_TRUE(bundle);
    EXPECT_TRUE(bundle->load());
    EXPECT_TRUE(traced(std::string("bundle-load ") + kAccessibilityPhysicalInteractionPath));
    Class* helper = NSClassFromString("AXPISystemActionHelper");
    ASSERT_TRUE(helper);
    id shared = msg(helper, "sharedInstance").object();
    ASSERT_TRUE(shared);
    msg(shared, "activateSiri");
    EXPECT_TRUE(host.state().siriVisible);
    EXPECT_TRUE(traced("siri activate"));
    bundle->load();
    EXPECT_EQ(std::count(trace_.begin(), trace_.end(), std::string("bundle-load ") + kAccessibilityPhysicalInteractionPath), 1);
}

// Tests that a respring drops the host with the process.
TEST_F(SpringBoardHostTest, EndsWithTheProcess) {
    boot();
    Process::terminate();
    EXPECT_FALSE(SpringBoardHost::isBooted());
    EXPECT_FALSE(NSClassFromString("SpringBoard"));
    EXPECT_FALSE(UIApplication::sharedApplication() && UIApplication::sharedApplication()->className() == "SpringBoard");
}

} // namespace
