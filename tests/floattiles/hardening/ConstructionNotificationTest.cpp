// Notifications and host events arriving while the overlay is being built.
// A scenario cannot reach inside the launch, so the host's badgeValue is
// replaced here: the first bubble's badge lookup, in the middle of
// construction, changes the settings file and posts the settings
// notification, sets another app's badge (the badge hook runs) and posts
// the orientation notifications.
#include "HardeningFixture.h"
#include "foundation/NSUserDefaults.h"
#include "springboard/HostNotifications.h"

namespace {

// The host's own badgeValue and what the replacement does, for one test.
IMP hostBadgeValue = nullptr;
int interruptions = 0;
bool overlayExistedDuringInterruption = true;

Value badgeValueThatInterrupts(const id& self, const SEL& sel, const Args& args) {
    if (interruptions++ == 0) {
        overlayExistedDuringInterruption = overlayState().isOverlayCreated || bothVC::sharedInstanceExist();
        NSUserDefaults::initWithSuiteName(kSettingsPath)->setObjectForKey(NSNumber::numberWithInteger(70), "bubbleSize");
        CFNotificationCenterPostNotification(CFNotificationCenterGetDarwinNotifyCenter(), kSettingsChangedNotification,
                                             nullptr, nullptr, true);
        auto other = SpringBoardHost::current().applicationWithBundleIdentifier("com.example.other");
        msg(std::static_pointer_cast<NSObject>(other), "setBadgeValue:", NSNumber::numberWithInteger(9));
        SpringBoardHost::current().setFrontMostOrientation(UIInterfaceOrientationLandscapeRight);
        CFNotificationCenterPostNotification(CFNotificationCenterGetDarwinNotifyCenter(), kScreenChangedNotification,
                                             nullptr, nullptr, true);
        CFNotificationCenterPostNotification(CFNotificationCenterGetLocalCenter(), kWindowDidRotateNotification,
                                             nullptr, nullptr, true);
    }
    return hostBadgeValue ? hostBadgeValue(self, sel, args) : Value();
}

class ConstructionNotification : public HardeningFixture {};

// Tests that a settings notification during construction sets the
// variables and pushes nothing (there is no overlay yet): the bubbles made
// after it take the new size, the one being made keeps the size it was
// given, and the next notification makes them all alike. The badge change
// and the orientation notifications in the middle find no overlay and
// change nothing; the overlay is whole afterwards and a single one.
TEST_F(ConstructionNotification, SettingsAndHostEventsInTheMiddleOfTheLaunch) {
    installHost({"com.example.a", "com.example.b", "com.example.other"});
    writeList(kStatePath, *dict({{"FLTTILE-com.example.a", NSNumber::numberWithBool(true)},
                                 {"FLTTILE-com.example.b", NSNumber::numberWithBool(true)}}));
    loadPlugin();
    interruptions = 0;
    MSHookMessageEx(NSClassFromString("SBApplication"), "badgeValue", badgeValueThatInterrupts, &hostBadgeValue);
    launch();

    EXPECT_GE(interruptions, 1);
    EXPECT_FALSE(overlayExistedDuringInterruption);
    EXPECT_EQ(settingsVariables().bubbleSize, 70.0f);
    ASSERT_EQ(bubbles().size(), 2u);
    EXPECT_EQ(bubbles()[0]->frame().size.width, 50.0) << "made before the notification";
    EXPECT_EQ(bubbles()[1]->frame().size.width, 70.0) << "made after it";
    EXPECT_EQ(overlayState().oldOrientation, 0) << "no orientation observer before the overlay exists";
    EXPECT_TRUE(overlayState().isOverlayCreated);
    EXPECT_EQ(WindowServer::shared().windows().size(), 2u) << "one host window, one bubble window";

    postSettingsChanged();
    for (const auto& b : bubbles()) EXPECT_EQ(b->frame().size.width, 70.0);
    // The orientation notifications work from now on.
    CFNotificationCenterPostNotification(CFNotificationCenterGetDarwinNotifyCenter(), kScreenChangedNotification,
                                         nullptr, nullptr, true);
    EXPECT_EQ(overlayState().oldOrientation, 3);
}

} // namespace
