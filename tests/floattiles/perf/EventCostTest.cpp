// Guards against the cost of an event growing with the state file: every
// handler is driven once on a phone with a small state file and once on a
// phone whose file holds thousands more keys, and the work done, counted as
// dictionary entries walked, must be the same. A count, not a time, so the
// guard is exact on any machine.
#include <map>

#include "DictionaryWalks.h"
#include "hardening/HardeningFixture.h"
#include "springboard/SBApplication.h"

namespace {

class EventCost : public HardeningFixture {
protected:
    // Work counted over one event.
    struct Work {
        uint64_t walked = 0;
        bool operator==(const Work&) const = default;
    };
    using Script = std::vector<std::pair<std::string, std::function<void()>>>;

    // A state file: the three chosen apps, a hide flag for com.hidden, and
    // `filler` keys of every family and shape after them.
    void writeState(int filler) {
        auto d = dict({{"FLTTILE-com.a", NSNumber::numberWithBool(true)},
                       {"FLTTILE-com.b", NSNumber::numberWithBool(true)},
                       {"xFLTTILE-com.c", NSNumber::numberWithBool(true)},
                       {"HIDAPPS-com.hidden", NSNumber::numberWithBool(true)}});
        for (int i = 0; i < filler; ++i) {
            std::string app = "com.former" + std::to_string(i);
            switch (i % 5) {
            case 0: d->setObjectForKey(NSNumber::numberWithBool(false), "FLTTILE-" + app); break;
            case 1: d->setObjectForKey(NSNumber::numberWithBool(i % 2), "HIDAPPS-" + app); break;
            case 2: d->setObjectForKey(str("YES"), "xxHIDAPPS-" + app + "HIDAPPS-" + app); break;
            case 3: {
                auto a = std::make_shared<NSMutableArray>();
                a->addObject(NSNumber::numberWithFloat(10));
                a->addObject(NSNumber::numberWithFloat(20));
                d->setObjectForKey(a, "POSAPPS-" + app);
                break;
            }
            default: d->setObjectForKey(std::make_shared<NSArray>(), "HIDAPPS-" + app); break;
            }
        }
        writeList(kStatePath, *d);
    }

    void front(const std::string& bundle) {
        auto& host = SpringBoardHost::current();
        if (bundle == "home") host.goHome();
        else EXPECT_TRUE(host.bringToFront(bundle)) << bundle;
    }

    CGPoint bubblePoint(size_t index) {
        auto b = bubbles().at(index);
        return b->superview() ? b->superview()->convertPointToScreen(b->center()) : b->center();
    }

    // Every event the plugin handles, in an order that leaves the overlay
    // showing at the end. Checks of what the events did run inside, so a
    // handler that stopped working cannot pass as cheap.
    Script script() {
        auto& host = SpringBoardHost::current();
        auto& ws = WindowServer::shared();
        const auto& v = visibilityState();
        return {
            {"front hidden app", [&] { front("com.hidden"); EXPECT_TRUE(v.isCurrentlyHidden); }},
            {"front other app", [&] { front("com.other"); EXPECT_FALSE(v.isCurrentlyHidden); }},
            {"front home", [&] { front("home"); EXPECT_FALSE(v.isCurrentlyHidden); }},
            {"badge", [&] { setBadge("com.a", NSNumber::numberWithInteger(7)); }},
            {"control center", [&] {
                 host.setControlCenterPresented(true);
                 host.setControlCenterPresented(false);
             }},
            {"passcode", [&] {
                 msg(host.passcodeViewController(), "viewDidAppear:", true);
                 msg(host.passcodeViewController(), "viewDidDisappear:", true);
             }},
            {"lock state", [&] {
                 host.setLockState(3);
                 host.setLockState(0);
             }},
            {"lock screen", [&] {
                 msg(host.lockScreenManager(), "isUILocked");
                 msg(host.lockScreenManager(), "lockScreenViewControllerWillDismiss");
             }},
            {"call", [&] {
                 msg(host.telephonyManager(), "callEventHandler:", host.makeCallEvent(true, 4));
                 msg(host.telephonyManager(), "callEventHandler:", host.makeCallEvent(true, 6));
             }},
            {"settings reload", [&] { postSettingsChanged(); }},
            {"orientation", [&] {
                 host.setFrontMostOrientation(UIInterfaceOrientationLandscapeRight);
                 CFNotificationCenterPostNotification(CFNotificationCenterGetDarwinNotifyCenter(),
                                                      "com.apple.springboard.screenchanged", nullptr, nullptr, true);
                 host.setFrontMostOrientation(UIInterfaceOrientationPortrait);
                 CFNotificationCenterPostNotification(CFNotificationCenterGetDarwinNotifyCenter(),
                                                      "com.apple.springboard.screenchanged", nullptr, nullptr, true);
             }},
            {"idle ticks", [&] { NSRunLoop::mainRunLoop().advance(3.0); }},
            {"drag", [&] {
                 CGPoint p = bubblePoint(0);
                 ws.touchDown(p);
                 ws.touchMove(CGPointMake(150, 300));
                 ws.touchUp(CGPointMake(150, 300));
                 NSRunLoop::mainRunLoop().advance(0.5);
             }},
            {"tap", [&] {
                 size_t launches = host.state().launches.size();
                 CGPoint p = bubblePoint(1);
                 ws.touchDown(p);
                 ws.touchUp(p);
                 EXPECT_EQ(host.state().launches.size(), launches + 1);
             }},
            {"menu: hide now", [&] {
                 front("com.other");
                 EXPECT_TRUE(longPressAndPick(0, "Hide NOW (Current App Until Respring)"));
                 EXPECT_TRUE(v.isCurrentlyHidden);
                 front("com.other");
                 EXPECT_TRUE(v.isCurrentlyHidden) << "the app is marked hidden now";
                 front("home");
             }},
            {"menu: align", [&] { EXPECT_TRUE(longPressAndPick(0, "Align By This Button (Horizontally)")); }},
            {"menu: cancel", [&] { EXPECT_TRUE(longPressAndPick(0, "Cancel")); }},
        };
    }

    // Starts a phone with `filler` extra keys and runs the script, counting
    // the work of each step.
    std::map<std::string, Work> run(int filler) {
        installHost({"com.a", "com.b", "com.c", "com.hidden", "com.other"});
        writeState(filler);
        loadPlugin();
        launch();
        EXPECT_EQ(bubbles().size(), 3u);
        std::map<std::string, Work> work;
        if (bubbles().size() != 3u) return work;
        for (auto& [name, step] : script()) {
            Work before{dictionaryEntriesWalked()};
            step();
            work[name] = Work{dictionaryEntriesWalked() - before.walked};
        }
        return work;
    }

    // A fresh process and device root for the second phone.
    void restart() {
        TearDown();
        SetUp();
    }
};

// Tests that no event walks the state file, so none costs more with more
// keys; the front-app changes in particular answer from the hide-flag
// counts without looking at any key.
TEST_F(EventCost, NoEventGrowsWithTheStateFile) {
    auto small = run(0);
    restart();
    auto large = run(20000);
    ASSERT_EQ(small.size(), large.size());
    for (const auto& [name, work] : small) {
        EXPECT_EQ(work.walked, large[name].walked) << name << ": entries walked";
    }
    for (const char* name : {"front hidden app", "front other app", "front home"}) {
        EXPECT_EQ(large[name].walked, 0u) << name;
    }
}

// Tests that a start walks the file's keys once: the hide flags and the
// chosen apps are found in the same pass, and building the bubbles does
// not walk them again.
TEST_F(EventCost, BootWalksTheFileOnce) {
    installHost({"com.a", "com.b", "com.c"});
    writeState(5000);
    uint64_t before = dictionaryEntriesWalked();
    loadPlugin();
    launch();
    ASSERT_EQ(bubbles().size(), 3u);
    uint64_t walked = dictionaryEntriesWalked() - before;
    EXPECT_GE(walked, 5000u + 4u) << "the start reads every key once";
    EXPECT_LE(walked, (5000u + 4u) + 64u);
}

} // namespace
