// The recording: how lines are kept and composed, and a visit recorded on
// the real home screen that springboard-sim replays to the same dump.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "playground/server/Phone.h"
#include "playground/server/Recorder.h"
#include "playground/tests/TestSupport.h"

using namespace playground;
using playground::testing::TempDir;

namespace {

std::vector<std::string> texts(const Recorder& r) {
    std::vector<std::string> out;
    for (const auto& l : r.lines()) out.push_back(l.text);
    return out;
}

// Two dumps alike, numbers within a millionth: the replay's clock is the
// sum of fewer, longer steps.
void expectAlike(const Json& a, const Json& b, const std::string& at = "") {
    if (a.is_number() && b.is_number()) {
        EXPECT_NEAR(a.get<double>(), b.get<double>(), 1e-6) << at;
    } else if (a.is_object() && b.is_object()) {
        EXPECT_EQ(a.size(), b.size()) << at;
        for (const auto& [k, v] : a.items()) expectAlike(v, b.contains(k) ? b[k] : Json("(missing)"), at + "/" + k);
    } else if (a.is_array() && b.is_array() && a.size() == b.size()) {
        for (size_t i = 0; i < a.size(); ++i) expectAlike(a[i], b[i], at + "/" + std::to_string(i));
    } else {
        EXPECT_EQ(a, b) << at;
    }
}

} // namespace

// Tests that a recording keeps lines only from a start on, joins the clock's
// steps into one wait with their exact sum, and writes the files it found
// as lines that set them again.
TEST(Recorder, KeepsTheLinesOfAStartWithTheClocksStepsJoined) {
    Recorder r;
    r.sent("touch down 1.00,2.00");
    r.begin();
    r.sent("app com.apple.Maps icon=yes");
    EXPECT_TRUE(r.lines().empty()) << "armed, a recording waits for a start";
    r.started();
    auto word = [](const std::string& entry) { return Json{{"entry", entry}}; };
    r.files({{"settings", "ok"}, {"state", "ok"}},
            {{"settings", {{"bubbleSize", word("bubbleSize=60.0")}, {"isSticky", word("isSticky=true")}}},
             {"state", {{"odd key", word("\"odd key\"=date:2024-05-01T12:30:00Z")}, {"nested", word("nested={}")}}}});
    r.sent("boot");
    for (int i = 0; i < 3; ++i) r.sent("wait 0.0333");
    r.sent("wait 0.0000");
    r.sent("touch down 10.00,20.00");
    r.sent("wait 5.0000");
    r.sent("wait 0.0001");
    EXPECT_EQ(texts(r), (std::vector<std::string>{"settings bubbleSize=60.0", "settings isSticky=true",
                                                  "state nested={}", "state \"odd key\"=date:2024-05-01T12:30:00Z",
                                                  "boot", "wait 0.0999", "touch down 10.00,20.00", "wait 5.0001"}));

    // A line taken out is gone from the export; a new start begins the
    // recording again.
    ASSERT_TRUE(r.remove(r.lines()[2].id));
    EXPECT_EQ(r.scenario().find("nested"), std::string::npos);
    r.started();
    r.files({{"settings", "unreadable"}}, Json::object());
    EXPECT_EQ(texts(r), std::vector<std::string>{"# the settings file was not a property list: the replay starts without it"});
    r.end();
    r.sent("boot");
    EXPECT_EQ(r.lines().size(), 1u) << "stopped, nothing more is kept";
    r.begin();
    r.started();
    for (int i = 0; i < 60000 && r.recording(); ++i) r.sent("touch up 1.00,1.00");
    EXPECT_EQ(r.lines().size(), 50000u) << "a recording left running stops";

    EXPECT_EQ(waitLine(20000), "wait 2.0");
}

// Tests the checks composed from a dump: what a bubble shows, a file's key
// (there or not), the host, a trace line; and that page text never becomes
// more than one quoted word.
TEST(Recorder, ChecksSayWhatThePersonPointsAt) {
    Json bubble = {{"bundle", "com.apple.mobilemail"}, {"hidden", false}, {"center", {350.0, 115.5}}, {"alpha", 0.5},
                   {"badge", {{"label", {{"text", "12"}}}}}};
    EXPECT_EQ(bubbleChecks(bubble), (std::vector<std::string>{
                                        "expect /bubbles/com.apple.mobilemail/hidden == false",
                                        "expect /bubbles/com.apple.mobilemail/center ~ [350.0,115.5]",
                                        "expect /bubbles/com.apple.mobilemail/alpha ~ 0.5",
                                        "expect /bubbles/com.apple.mobilemail/badge/label/text == \"12\""}));
    bubble["hidden"] = true;
    EXPECT_EQ(bubbleChecks(bubble).size(), 1u) << "a hidden bubble's place says nothing";
    Json files = {{"settings", {{"isSticky", true}, {"a/b", 2.5}}}, {"state", nullptr}};
    EXPECT_EQ(fileChecks("settings", "isSticky", files)[0], "expect /files/settings/isSticky == true");
    EXPECT_EQ(fileChecks("settings", "a/b", files)[0], "expect /files/settings/a~1b ~ 2.5");
    EXPECT_EQ(fileChecks("state", "x", files)[0], "expect /files/state/x == null");
    EXPECT_EQ(traceCheck("[1.250] launch com.apple.Maps suspended=NO"), "expect trace \"launch com.apple.Maps suspended=NO\"");
    EXPECT_EQ(echoLine("x\" put settings /etc/passwd"), "echo \"x\\\" put settings /etc/passwd\"");
    for (const char* bad : {"", "two\nlines", "   "}) EXPECT_FALSE(echoLine(bad)) << bad;
}

// A playground phone on the real home screen, with a wall clock the test
// moves by hand.
class RecordedVisit : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(root / "device");
        Phone::Options o;
        o.simProgram = FT_SIM_PROGRAM;
        o.root = root / "device";
        o.clock = [this] { return now; };
        phone = std::make_unique<Phone>(o, hub);
        phone->start();
    }
    void ok(const Json& request) { EXPECT_EQ(phone->act(request)["ok"], true) << request.dump(); }
    void pass(double seconds) {
        now += seconds;
        phone->tick();
    }
    void touch(const char* phase, const Json& at, double t) {
        ok({{"type", "touch"}, {"phase", phase}, {"x", at[0]}, {"y", at[1]}, {"t", t}});
    }
    Json center(const std::string& bundle) {
        Json d = phone->lastDump();
        for (const auto& b : d["bubbles"])
            if (b["bundle"] == bundle) return b["center"];
        return Json();
    }
    double clock() { return Json::parse(hub.full())["meta"]["time"].get<double>(); }

    TempDir root;
    FrameHub hub;
    double now = 1000;
    std::unique_ptr<Phone> phone;
};

// Tests the round trip: a visit by hand (a drag with snap, a respring while
// recording, a lock and an unlock with a bubble tapped while
// locked) replays in springboard-sim, and in the playground, to the dump the
// phone ended in: times, timers, frames, alphas and files.
TEST_F(RecordedVisit, TheReplayEndsInTheSameDump) {
    ok({{"type", "setting"}, {"key", "bubbleSize"}, {"value", 60}});
    // Values of every kind a person can put in the files, kept by the
    // recording and set again by its replay (the dumps compared below hold
    // both files, each value with its type).
    for (const auto& [key, value] :
         std::vector<std::pair<std::string, std::string>>{{"  spaced key", "\"  two leading spaces\\n and a line\""},
                                                          {"when", "date:2024-05-01T12:30:00.25Z"},
                                                          {"blob", "data:SGVsbG8="},
                                                          {"nested", "{a:[1,2.5,{b:false}],\"c d\":real:inf}"}})
        ok({{"type", "file"}, {"file", "state"}, {"key", key}, {"value", value}});
    ok({{"type", "file"}, {"file", "settings"}, {"key", "unknownKey"}, {"value", "data:"}});
    EXPECT_EQ(phone->act({{"type", "file"}, {"file", "state"}, {"key", "k"}, {"value", "1 x=2"}})["ok"], false)
        << "a value is one word, never a second key";
    pass(2.5);
    ok({{"type", "record"}, {"op", "start"}});
    pass(0.7);
    ok({{"type", "unlock"}});
    ok({{"type", "setting"}, {"key", "isSticky"}, {"value", true}});
    pass(1.3);
    Json c = center("com.apple.mobilemail");
    touch("down", c, 5000);
    Json path = Json::array();
    for (int i = 1; i <= 23; ++i) path.push_back({c[0].get<double>() - 10 * i, c[1].get<double>() + 6 * i, 5000 + 8 * i});
    ok({{"type", "moves"}, {"points", path}});
    touch("up", {120, 308}, 5200);
    EXPECT_EQ(center("com.apple.mobilemail")[0], 0.0) << "snapped to the left edge";
    pass(1.4);
    ok({{"type", "respring"}});
    pass(0.9);
    ok({{"type", "lock"}});
    touch("down", center("com.apple.mobilemail"), 9000);
    touch("up", center("com.apple.mobilemail"), 9050);
    ok({{"type", "unlock"}});
    pass(2.2);
    ok({{"type", "record"}, {"op", "check"}, {"bubble", "com.apple.mobilemail"}});
    pass(0.5);
    ok({{"type", "record"}, {"op", "stop"}});
    Json atStop = phone->lastDump();
    double stopTime = clock();
    pass(3.0);   // not recorded
    EXPECT_EQ(atStop["host"]["front"], "com.apple.mobilemail");
    std::string scenario = phone->recordedScenario();
    EXPECT_NE(scenario.find("\nrespring\n"), std::string::npos) << "the clock kept across the respring";
    EXPECT_NE(scenario.find("\nsettings bubbleSize=60"), std::string::npos) << "the files as recording found them";
    EXPECT_NE(scenario.find("\nstate when=date:736259400.25\n"), std::string::npos) << scenario;
    EXPECT_EQ(scenario.find("\n#", scenario.find("\n", scenario.find("\n") + 1)), std::string::npos)
        << "no value was left out";

    std::ofstream(root / "visit.scenario") << scenario << "dump " << (root / "replayed.json") << "\n";
    std::string run = std::string(FT_SIM_PROGRAM) + " run " + (root / "visit.scenario") + " >/dev/null";
    EXPECT_EQ(std::system(run.c_str()), 0);
    Json replayed = Json::parse(std::ifstream(root / "replayed.json"), nullptr, false);
    ASSERT_TRUE(replayed.is_object());
    EXPECT_NEAR(replayed["time"].get<double>(), stopTime, 0.001);
    replayed.erase("time");
    expectAlike(atStop, replayed);

    // In the playground, on a new phone and at ten times the pace.
    ok({{"type", "record"}, {"op", "replay"}, {"speed", 10}});
    for (int i = 0; i < 200 && phone->recording()["replaying"] == true; ++i) pass(0.25);
    EXPECT_EQ(phone->recording()["replaying"], false);
    EXPECT_NEAR(clock(), stopTime, 0.001);
    expectAlike(atStop, phone->lastDump());
    EXPECT_EQ(hub.full().find("check failed"), std::string::npos);
}

// Tests Home pressed at many moments of a Replay, mid-drag among them: the
// replay stops there, the phone is locked or unlocked as a whole (never
// half-way), and it answers the person's next unlock and tap.
TEST_F(RecordedVisit, HomeDuringAReplayStopsItAndLeavesAWholePhone) {
    const char* mail = "com.apple.mobilemail";
    // The newest trace line's number, and whether a touch was cancelled after
    // the line numbered `since`.
    auto lastLine = [&] { return Json::parse(hub.full())["trace"].back()["seq"].get<long long>(); };
    auto cancelledAfter = [&](long long since) {
        Json trace = Json::parse(hub.full())["trace"];
        for (const auto& t : trace)
            if (t["seq"].get<long long>() > since && t["text"] == "touch cancel") return true;
        return false;
    };
    pass(1.0);
    ok({{"type", "record"}, {"op", "start"}});
    pass(0.3);
    ok({{"type", "unlock"}});
    pass(0.4);
    Json c = center(mail);
    const double x = c[0].get<double>(), y = c[1].get<double>();
    touch("down", c, 100);
    for (int i = 1; i <= 10; ++i) {
        ok({{"type", "moves"}, {"points", {{x - 12 * i, y + 5 * i, 100 + 40 * i}}}});
        pass(0.04);
    }
    touch("up", {x - 120, y + 50}, 520);
    pass(0.5);
    ok({{"type", "lock"}});
    pass(0.3);
    c = center(mail);
    touch("down", c, 2000);
    touch("up", c, 2050);
    pass(0.3);
    ok({{"type", "unlock"}});
    pass(0.3);
    ok({{"type", "record"}, {"op", "stop"}});

    int stoppedMidTouch = 0;
    for (int steps : {1, 3, 5, 8, 11, 14, 17, 20, 24, 28, 32, 40}) {
        SCOPED_TRACE("Home after " + std::to_string(steps) + " steps of the replay");
        ok({{"type", "record"}, {"op", "replay"}, {"speed", 1}});
        for (int i = 0; i < steps && phone->recording()["replaying"] == true; ++i) pass(0.1);
        long long before = lastLine();
        ok({{"type", "home"}});
        pass(0.1);
        bool midTouch = cancelledAfter(before);
        stoppedMidTouch += midTouch;
        EXPECT_EQ(phone->recording()["replaying"], false);
        Json host = phone->lastDump()["host"];
        bool locked = host["uiLocked"] == true;
        EXPECT_EQ(host["lockState"], locked ? 3 : 0) << host.dump();
        if (!locked) {
            EXPECT_EQ(host["passcode"], false) << host.dump();
        }
        // The phone is the person's again: an unlock, then a tap on Mail's
        // bubble opens Mail. A drag that the stop cancelled ends as any drag
        // not lifted inside its bubble does: the next tap only ends it.
        if (locked) ok({{"type", "unlock"}});
        pass(0.5);
        for (int tap = 0; tap < (midTouch ? 2 : 1); ++tap) {
            c = center(mail);
            touch("down", c, 9000 + 100 * tap);
            touch("up", c, 9050 + 100 * tap);
            pass(0.2);
        }
        EXPECT_EQ(phone->lastDump()["host"]["front"], "com.apple.mobilemail");
    }
    EXPECT_GT(stoppedMidTouch, 0) << "some presses came mid-drag";
    EXPECT_NE(hub.full().find("the replay stopped"), std::string::npos);
}
