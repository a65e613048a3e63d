// The phone around the home screen, with the real home screen as its child
// and a clock the test moves by hand.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>

#include "playground/tests/PhoneFixture.h"

using namespace playground;
using namespace playground::testing;

// Tests that a new phone comes with its first choice of apps, that a
// change of choice waits for the respring, and that a kept device root
// keeps its own choice.
TEST_F(PhoneTest, ChoiceOfAppsTakesEffectAtTheNextStart) {
    Json d = dump();
    EXPECT_EQ(d["files"]["state"], Json({{"FLTTILE-com.apple.MobileSMS", true}, {"FLTTILE-com.apple.mobilemail", true},
                                         {"FLTTILE-com.apple.mobilesafari", true}, {"FLTTILE-com.apple.siri", true}}));
    EXPECT_EQ(d["bubbles"].size(), 4u);
    EXPECT_EQ(meta()["generation"], 1);

    ok({{"type", "choose"}, {"bundle", "com.apple.mobilesafari"}, {"chosen", false}});
    ok({{"type", "choose"}, {"bundle", "com.apple.Maps"}, {"chosen", true}});
    EXPECT_EQ(dump()["files"]["state"]["FLTTILE-com.apple.mobilesafari"], false);
    EXPECT_EQ(dump()["bubbles"].size(), 4u) << "the running home screen keeps its bubbles";

    ok({{"type", "respring"}});
    EXPECT_EQ(meta()["generation"], 2);
    EXPECT_TRUE(bubble("com.apple.Maps").is_object());
    EXPECT_TRUE(bubble("com.apple.mobilesafari").is_null());
    EXPECT_TRUE(traced("home screen started again"));

    // One home screen at a time on a device root, as on the device: the
    // next one copies the plugin into the root the first one runs from.
    phone.reset();
    phone = make();
    EXPECT_EQ(dump()["bubbles"].size(), 4u);
    EXPECT_TRUE(bubble("com.apple.mobilesafari").is_null()) << "a kept root is not given the first choice again";
}

// Tests that the phone's clock runs with the wall clock, so the idle
// dimming comes after eight seconds; that a stall while a timer is set
// moves it on by five seconds at most, as the timers' own catching up would
// flood the home screen; and that a still phone's clock, with nothing set,
// takes all the time that passed.
TEST_F(PhoneTest, TheClockFollowsTheWallClock) {
    double start = meta()["time"];
    pass(1.25);
    EXPECT_NEAR(meta()["time"].get<double>(), start + 1.25, 0.001);
    pass(120);
    EXPECT_NEAR(meta()["time"].get<double>(), start + 6.25, 0.001);
    for (int i = 0; i < 4; ++i) pass(1.0);
    const Json dimmed = dump();
    for (const auto& b : dimmed["bubbles"]) EXPECT_NEAR(b["alpha"].get<double>(), 0.3, 1e-6);
    for (int i = 0; i < 60; ++i) pass(1.0 / 60);
    double before = meta()["time"];
    pass(120);
    EXPECT_NEAR(meta()["time"].get<double>(), before + 120, 0.001);
}

// Tests that the phone asks for steps only while it has something to show:
// taking the steps it asks for, and no others, the bubbles fade to dimmed
// frame by frame, the idle timer's seconds are kept, and then it asks for
// none at all. A finger down is watched frame by frame, still or not.
TEST_F(PhoneTest, AStillPhoneAsksForNoSteps) {
    unlock();
    const double frame = 1.0 / 60;
    double wanted = phone->tick();
    EXPECT_LE(wanted, frame);   // the unlock's picture is new
    int steps = 0, fadeFrames = 0, timerSteps = 0;
    while (wanted != INFINITY && steps < 2000) {
        now += wanted;
        if (wanted > 0.5) {
            ++timerSteps;
            fadeFrames = 0;
        } else {
            ++fadeFrames;
        }
        wanted = phone->tick();
        ++steps;
    }
    EXPECT_EQ(wanted, INFINITY);
    const Json dimmed = dump();
    for (const auto& b : dimmed["bubbles"]) EXPECT_NEAR(b["alpha"].get<double>(), 0.3, 1e-6);
    EXPECT_GE(timerSteps, 5);    // eight ticks of the idle timer, some during the unlock's animations
    EXPECT_GE(fadeFrames, 20);   // after the last tick, 0.45 s of fading at the display's rate
    EXPECT_LT(steps, 400);
    Json c = bubble(kMail)["center"];
    ok({{"type", "touch"}, {"phase", "down"}, {"x", c[0]}, {"y", c[1]}, {"touch", "t1"}, {"seq", 0}});
    for (int i = 0; i < 3; ++i) {
        now += frame;
        EXPECT_LE(phone->tick(), frame);
    }
}

// Tests that the pane's change is written and announced: the plugin
// resizes its bubbles, and a refused value leaves the file alone.
TEST_F(PhoneTest, ASettingIsWrittenAndAnnounced) {
    ok({{"type", "setting"}, {"key", "bubbleSize"}, {"value", 70}});
    Json d = dump();
    EXPECT_EQ(d["files"]["settings"]["bubbleSize"], 70.0);
    EXPECT_EQ(d["plugin"]["bubbleSize"], 70.0);
    for (const auto& b : d["bubbles"]) EXPECT_EQ(b["frame"][2], 70.0);
    EXPECT_TRUE(traced("settings bubbleSize=70.0"));

    ok({{"type", "setting"}, {"key", "frameColor"}, {"value", "#00FF00"}});
    EXPECT_EQ(dump()["bubbles"][0]["borderColor"], "#00ff00");
    ok({{"type", "setting"}, {"key", "frameColor"}, {"value", nullptr}});
    EXPECT_FALSE(dump()["files"]["settings"].contains("frameColor"));

    Json refused = act({{"type", "setting"}, {"key", "bubbleSize"}, {"value", "huge"}});
    EXPECT_EQ(refused["ok"], false);
    EXPECT_EQ(dump()["files"]["settings"]["bubbleSize"], 70.0);
}

// Tests the way to an app through the lock screen: the tap asks for the
// unlock, the passcode view comes up, and the app opens after the unlock.
TEST_F(PhoneTest, ABubbleTappedWhileLockedOpensItsAppAfterTheUnlock) {
    ok({{"type", "lock"}});
    EXPECT_EQ(dump()["host"]["uiLocked"], true);
    EXPECT_EQ(meta()["phone"]["locked"], true);

    tapBubble(kMail);
    EXPECT_EQ(dump()["host"]["unlockRequests"], 1);
    EXPECT_EQ(dump()["host"]["passcode"], true);
    EXPECT_EQ(meta()["phone"]["passcode"], true);
    EXPECT_TRUE(dump()["host"]["launches"].empty());

    // The home button takes the passcode view away, and brings it back.
    ok({{"type", "home"}});
    EXPECT_EQ(dump()["host"]["passcode"], false);
    ok({{"type", "home"}});
    EXPECT_EQ(dump()["host"]["passcode"], true);

    ok({{"type", "unlock"}});
    Json host = dump()["host"];
    EXPECT_EQ(host["uiLocked"], false);
    EXPECT_EQ(host["passcode"], false);
    EXPECT_EQ(host["launches"], Json::array({kMail}));
    EXPECT_EQ(host["front"], kMail);
    EXPECT_EQ(meta()["phone"]["front"], kMail);

    ok({{"type", "home"}});
    EXPECT_TRUE(dump()["host"]["front"].is_null());
}

// Tests that a start is locked, and that an unlock is the phone's own line
// (the simulator keeps the phone's order, tested beside the host lines it
// sends): the passcode view goes after the waiting app came to the front,
// so it does not show the bubbles Home screen only hid.
TEST_F(PhoneTest, AStartIsLockedAndAnUnlockKeepsThePhonesOrder) {
    EXPECT_EQ(dump()["host"]["uiLocked"], true);
    EXPECT_EQ(dump()["host"]["lockState"], 3);
    tapBubble(kMail);
    ok({{"type", "setting"}, {"key", "isSBOnly"}, {"value", true}});
    size_t from = trace().size();
    unlock();
    // The lines sent, and the home screen's own question at the end.
    std::string seen;
    auto t = trace();
    for (size_t i = from; i < t.size(); ++i)
        if (t[i][0] != '[' || t[i].find("isUILocked") != std::string::npos) seen += (t[i][0] == '[' ? "query" : t[i]) + "|";
    EXPECT_EQ(seen, "unlock|query|");
    EXPECT_EQ(dump()["host"]["front"], kMail);
    EXPECT_TRUE(hidden(kMessages));
}

// Tests Home screen only and Hide on lock screen through a respring, an
// unlock, an app, the home button and a cancelled passcode view.
TEST_F(PhoneTest, VisibilitySettingsFollowTheLockScreen) {
    ok({{"type", "setting"}, {"key", "isSBOnly"}, {"value", true}});
    ok({{"type", "respring"}});
    EXPECT_TRUE(hidden(kMail));
    unlock();
    EXPECT_FALSE(hidden(kMail));
    ok({{"type", "front"}, {"bundle", "com.apple.mobilesafari"}});
    EXPECT_TRUE(hidden(kMail));
    ok({{"type", "home"}});
    EXPECT_FALSE(hidden(kMail)) << "the first Home press after a respring shows them";

    ok({{"type", "setting"}, {"key", "isHiddenInLS"}, {"value", true}});
    ok({{"type", "lock"}});
    ok({{"type", "passcode"}, {"show", true}});
    ok({{"type", "passcode"}, {"show", false}});
    EXPECT_TRUE(hidden(kMail)) << "back on the lock screen";
}

// Tests that the passcode view exists only on the lock screen.
TEST_F(PhoneTest, NoPasscodeViewWhileUnlocked) {
    unlock();
    Json r = act({{"type", "passcode"}, {"show", true}});
    EXPECT_NE(r.value("error", "").find("lock screen"), std::string::npos) << r.dump();
    EXPECT_EQ(dump()["host"]["passcode"], false);
}

// Tests that an app launched by a tap comes to the front, that the Siri
// bubble opens and closes Siri, and that a tap no window takes is the
// phone's own: an app's icon opens it, and a drag away from the icon does not.
TEST_F(PhoneTest, TheRestOfThePhoneAnswersTheHomeScreen) {
    unlock();
    tapBubble(kMessages);
    EXPECT_EQ(dump()["host"]["front"], kMessages);
    ok({{"type", "front"}, {"bundle", nullptr}});

    tapBubble(kSiri);
    EXPECT_EQ(dump()["host"]["siriVisible"], true);
    EXPECT_EQ(meta()["phone"]["siri"], true);
    tapBubble(kSiri);
    EXPECT_EQ(dump()["host"]["siriVisible"], false);

    // The first icon on the home screen, the first app installed.
    const std::string first = dump()["host"]["apps"][0]["bundle"];
    ok({{"type", "touch"}, {"phase", "down"}, {"x", 40}, {"y", 80}});
    ok({{"type", "touch"}, {"phase", "up"}, {"x", 70}, {"y", 80}});
    EXPECT_TRUE(dump()["host"]["front"].is_null()) << "a drag is not a tap";
    ok({{"type", "touch"}, {"phase", "down"}, {"x", 40}, {"y", 80}});
    ok({{"type", "touch"}, {"phase", "up"}, {"x", 42}, {"y", 81}});
    EXPECT_EQ(dump()["host"]["front"], first);
    EXPECT_EQ(meta()["phone"]["front"], first);
}

// Tests the host controls: each reaches the home screen and shows in the
// facts the page is sent.
TEST_F(PhoneTest, HostControlsReachTheHomeScreen) {
    ok({{"type", "controlCenter"}, {"open", true}});
    EXPECT_EQ(dump()["host"]["controlCenter"], true);
    ok({{"type", "controlCenter"}, {"open", false}});
    EXPECT_EQ(dump()["host"]["controlCenter"], false);

    ok({{"type", "call"}, {"status", 4}});
    EXPECT_EQ(meta()["phone"]["call"], 4);
    EXPECT_TRUE(traced("call status :4"));
    ok({{"type", "call"}, {"status", nullptr}});
    EXPECT_TRUE(meta()["phone"]["call"].is_null());

    ok({{"type", "orientation"}, {"value", 3}});
    EXPECT_EQ(dump()["host"]["orientation"], 3);
    EXPECT_EQ(meta()["phone"]["orientation"], 3);

    ok({{"type", "badge"}, {"bundle", kMessages}, {"value", 9}});
    EXPECT_EQ(bubble(kMessages)["currentBadgeValue"], 9);
    ok({{"type", "siri"}, {"visible", true}});
    EXPECT_EQ(dump()["host"]["siriVisible"], true);
}

// Tests that the lock and Siri outlive a respring, as the host last held
// them, and what only the old process held (Control Center, the app in
// front, the orientation) does not.
TEST_F(PhoneTest, TheLockAndSiriOutliveARespring) {
    unlock();
    ok({{"type", "front"}, {"bundle", kMail}});
    ok({{"type", "orientation"}, {"value", 3}});
    ok({{"type", "siri"}, {"visible", true}});
    ok({{"type", "controlCenter"}, {"open", true}});
    ok({{"type", "lock"}});
    Json before = meta()["phone"];
    EXPECT_EQ(before["front"], kMail);
    EXPECT_EQ(before["controlCenter"], false) << "locking closes Control Center";
    EXPECT_EQ(before["locked"], true);
    ok({{"type", "respring"}});
    Json after = meta()["phone"];
    EXPECT_EQ(after["locked"], true);
    EXPECT_EQ(after["siri"], true);
    EXPECT_TRUE(after["front"].is_null());
    EXPECT_EQ(after["orientation"], 1);
    EXPECT_EQ(dump()["host"]["lockState"], 3);
}

// Tests that badges belong to the device: a respring starts the home
// screen with them, texts exactly as they were set.
TEST_F(PhoneTest, BadgesOutliveARespring) {
    ok({{"type", "badge"}, {"bundle", "com.apple.Maps"}, {"value", "say \"hi\""}});
    ok({{"type", "badge"}, {"bundle", kMail}, {"value", nullptr}});
    ok({{"type", "badge"}, {"bundle", kMessages}, {"value", "7"}});
    ok({{"type", "respring"}});
    std::map<std::string, Json> badges;
    Json d = dump();
    for (const auto& a : d["host"]["apps"]) badges[a["bundle"]] = a["badge"];
    EXPECT_EQ(badges["com.apple.Maps"], "say \"hi\"");
    EXPECT_TRUE(badges[kMail].is_null());
    EXPECT_EQ(badges[kMessages], 7);
}

// Tests that requests that do not fit are refused with a reason, and the
// home screen goes on as before.
TEST_F(PhoneTest, RequestsThatDoNotFitAreRefused) {
    const Json bad[] = {
        Json::object(),
        {{"type", "explode"}},
        {{"type", "touch"}, {"phase", "down"}},
        {{"type", "touch"}, {"phase", "hover"}, {"x", 1}, {"y", 1}},
        {{"type", "setting"}, {"key", "isSticky"}, {"value", "yes"}},
        {{"type", "setting"}, {"key", "notAKey"}, {"value", true}},
        {{"type", "choose"}, {"bundle", "com.example.notinstalled"}, {"chosen", true}},
        {{"type", "choose"}, {"bundle", kMail}},
        {{"type", "front"}, {"bundle", "../../etc/passwd"}},
        {{"type", "front"}, {"bundle", 7}},
        {{"type", "call"}, {"status", 12}},
        {{"type", "call"}, {"status", "4"}},
        {{"type", "orientation"}, {"value", 0}},
        {{"type", "badge"}, {"bundle", kMail}, {"value", "line\nbreak"}},
        {{"type", "badge"}, {"bundle", "nope"}, {"value", 1}},
        {{"type", "siri"}, {"visible", "yes"}},
        {{"type", "passcode"}},
        {{"type", "controlCenter"}, {"open", 1}},
        {{"type", "hold"}, {"t", 5}, {"touch", "a"}, {"seq", -1}},
        {{"type", "hold"}, {"t", 5}, {"touch", "a"}, {"seq", 0}},
        {{"type", "touch"}, {"phase", "down"}, {"x", 1}, {"y", 1}, {"touch", "a"}, {"seq", 2}},
        {{"type", "hold"}, {"t", 5}, {"touch", Json::array()}, {"seq", 1}},
    };
    for (const auto& r : bad) {
        Json answer = act(r);
        EXPECT_EQ(answer["ok"], false) << r.dump();
        EXPECT_FALSE(answer.value("error", "").empty()) << r.dump();
    }
    EXPECT_EQ(meta()["generation"], 1);
    EXPECT_EQ(dump()["bubbles"].size(), 4u);
    EXPECT_FALSE(std::filesystem::exists(root / "etc"));
}

// Tests that a home screen that dies is started again with the files kept,
// as the device restarts a crashed home screen.
TEST_F(PhoneTest, AHomeScreenThatDiesIsStartedAgain) {
    ok({{"type", "setting"}, {"key", "isSticky"}, {"value", true}});
    // Find the child among this process's children, and end it hard.
    pid_t child = -1;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream in(task.path() / "children");
        pid_t pid;
        while (in >> pid) child = pid;
    }
    ASSERT_GT(child, 0);
    ::kill(child, SIGKILL);
    pass(0.1);
    EXPECT_EQ(meta()["generation"], 2);
    EXPECT_EQ(meta()["running"], true);
    EXPECT_TRUE(traced("the home screen stopped"));
    EXPECT_EQ(dump()["bubbles"].size(), 4u);
    EXPECT_EQ(dump()["plugin"]["isSticky"], true);
}

// Tests that a reset is a new phone: both files gone, the first choice of
// apps and the first badges back.
TEST_F(PhoneTest, ResetGivesANewPhone) {
    ok({{"type", "setting"}, {"key", "isCircle"}, {"value", false}});
    ok({{"type", "choose"}, {"bundle", kMail}, {"chosen", false}});
    ok({{"type", "badge"}, {"bundle", kMessages}, {"value", 99}});
    ok({{"type", "lock"}});
    ok({{"type", "reset"}});
    Json d = dump();
    EXPECT_TRUE(d["files"]["settings"].is_null());
    EXPECT_EQ(d["files"]["state"]["FLTTILE-com.apple.mobilemail"], true);
    EXPECT_EQ(d["host"]["uiLocked"], true) << "a new phone starts on the lock screen";
    EXPECT_EQ(d["bubbles"].size(), 4u);
    for (const auto& a : d["host"]["apps"]) {
        if (a["bundle"] == kMessages) {
            EXPECT_EQ(a["badge"], 2);
        }
    }
}

// Tests that an app put on the blacklist from the menu can be taken off it:
// the state file loses the key at once, the home screen keeps hiding the
// bubbles in front of it until the next respring, and an app not on the
// list is refused.
TEST_F(PhoneTest, AnAppIsTakenOffTheBlacklistFromTheNextRespring) {
    const std::string safari = "com.apple.mobilesafari";
    const std::string key = std::string(kHiddenPrefix) + safari;
    unlock();
    ok({{"type", "front"}, {"bundle", safari}});
    ASSERT_FALSE(hidden(kMail));
    Json c = bubble(kMail)["center"];
    touch("down", c[0], c[1]);
    pass(0.7);
    touch("up", c[0], c[1]);
    tapAlertButton("Add Current App To Blacklist");
    ASSERT_EQ(dump()["files"]["state"][key], true);
    EXPECT_TRUE(hidden(kMail));

    // Every key the plugin reads as naming Safari in the hide family goes,
    // true or not; a key naming another app stays.
    const std::string older = "old " + key, other = key + ".other";
    ok({{"type", "file"}, {"file", "state"}, {"key", older}, {"value", "false"}});
    ok({{"type", "file"}, {"file", "state"}, {"key", other}, {"value", "true"}});
    EXPECT_EQ(act({{"type", "lift"}, {"bundle", kSiri}})["ok"], false);
    ok({{"type", "lift"}, {"bundle", safari}});
    EXPECT_FALSE(dump()["files"]["state"].contains(key));
    EXPECT_FALSE(dump()["files"]["state"].contains(older));
    EXPECT_TRUE(dump()["files"]["state"].contains(other));
    ok({{"type", "home"}});
    ok({{"type", "front"}, {"bundle", safari}});
    EXPECT_TRUE(hidden(kMail));

    ok({{"type", "respring"}});
    unlock();
    ok({{"type", "front"}, {"bundle", safari}});
    EXPECT_FALSE(hidden(kMail));
}

// Tests a screen preset: the phone starts again on the tablet's screen,
// which the page is told of, and a recording begins again with its
// `screen` line; a preset that is not one is refused.
TEST_F(PhoneTest, AScreenPresetRestartsThePhoneOnIt) {
    ok({{"type", "record"}, {"op", "start"}});
    ok({{"type", "screen"}, {"preset", "tablet"}});
    EXPECT_EQ(dump()["screen"]["width"], 768);
    EXPECT_EQ(dump()["screen"]["height"], 1024);
    EXPECT_EQ(phone->config()["screen"]["width"], 768);
    EXPECT_EQ(dump()["host"]["uiLocked"], true) << "a start is on the lock screen";
    const std::string scenario = phone->recordedScenario();
    const size_t screenLine = scenario.find("\nscreen ");
    ASSERT_NE(screenLine, std::string::npos) << scenario;
    EXPECT_EQ(scenario.substr(screenLine + 1, scenario.find('\n', screenLine + 1) - screenLine - 1),
              "screen 768.0x1024.0 scale=2.0");
    EXPECT_LT(screenLine, scenario.find("\nboot"));
    EXPECT_EQ(act({{"type", "screen"}, {"preset", "watch"}})["ok"], false);
    EXPECT_EQ(dump()["screen"]["width"], 768);
}
