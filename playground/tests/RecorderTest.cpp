// The recording: how lines are kept and composed, and a visit recorded on
// the real home screen that springboard-sim replays to the same dump.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

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
    r.files({{"settings", {{"bubbleSize", 60.0}, {"isSticky", true}, {"frameColor", "#00ff00"}}},
             {"state", {{"POSAPPS-com.apple.Maps", {12.5, 300.0}}, {"odd key", 1}, {"nested", Json::object()}}}},
            {{"settings", "ok"}, {"state", "ok"}});
    r.sent("boot");
    for (int i = 0; i < 3; ++i) r.sent("wait 0.0333");
    r.sent("wait 0.0000");
    r.sent("touch down 10.00,20.00");
    r.sent("wait 5.0000");
    r.sent("wait 0.0001");
    EXPECT_EQ(texts(r), (std::vector<std::string>{
                            "settings bubbleSize=60.0", "settings frameColor=\"#00ff00\"", "settings isSticky=true",
                            "state POSAPPS-com.apple.Maps=[12.5,300.0]",
                            "# the state file's key nested cannot be written inline: the replay starts without it",
                            "state \"odd key\"=1", "boot", "wait 0.0999", "touch down 10.00,20.00", "wait 5.0001"}));

    // A line taken out is gone from the export; a respring's start begins
    // the recording again.
    ASSERT_TRUE(r.remove(r.lines()[4].id));
    EXPECT_FALSE(r.remove(12345));
    EXPECT_EQ(r.scenario().find("cannot be written"), std::string::npos);
    EXPECT_NE(r.scenario().find("\nwait 5.0001\n"), std::string::npos);
    r.end();
    r.sent("boot");
    EXPECT_EQ(r.lines().size(), 9u) << "stopped, nothing more is kept";
    r.files({{"settings", nullptr}}, {{"settings", "unreadable"}});
    EXPECT_EQ(r.lines().size(), 9u);

    EXPECT_EQ(waitLine(20000), "wait 2.0");
    EXPECT_EQ(waitTicks("wait 0.00049"), 5);
    EXPECT_FALSE(waitTicks("wait x"));
    EXPECT_EQ(fileValueWord(1e20), "1.0e+20");
    EXPECT_EQ(fileValueWord("a \"b\""), "\"a \\\"b\\\"\"");
    EXPECT_FALSE(fileValueWord(Json::array()));
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
    EXPECT_TRUE(fileChecks("other", "x", files).empty());
    EXPECT_EQ(hostChecks({{"front", "com.apple.Maps"}, {"uiLocked", false}}),
              (std::vector<std::string>{"expect /host/front == \"com.apple.Maps\"", "expect /host/uiLocked == false"}));
    EXPECT_EQ(traceCheck("[1.250] launch com.apple.Maps suspended=NO"), "expect trace \"launch com.apple.Maps suspended=NO\"");
    EXPECT_EQ(echoLine("a \"quoted\" # note"), "echo \"a \\\"quoted\\\" # note\"");
    for (const char* bad : {"", "two\nlines", "   "}) EXPECT_FALSE(echoLine(bad)) << bad;
    EXPECT_FALSE(traceCheck("[1.0] \x1b[2J"));
    EXPECT_EQ(echoLine("x\" put settings /etc/passwd"), "echo \"x\\\" put settings /etc/passwd\"");
}

namespace {

class RecordedVisit : public ::testing::Test {
protected:
    void SetUp() override {
        Phone::Options o;
        o.simProgram = FT_SIM_PROGRAM;
        o.root = root / "device";
        std::filesystem::create_directories(o.root);
        o.clock = [this] { return now; };
        phone = std::make_unique<Phone>(o, hub);
        phone->start();
    }
    void ok(Json request) {
        Json r = phone->act(request);
        ASSERT_EQ(r["ok"], true) << request.dump() << ": " << r.dump();
    }
    void pass(double seconds) {
        now += seconds;
        phone->tick();
    }
    void touch(const char* phase, double x, double y, double t) {
        ok({{"type", "touch"}, {"phase", phase}, {"x", x}, {"y", y}, {"t", t}});
    }
    Json center(const std::string& bundle) {
        Json d = phone->lastDump();
        for (const auto& b : d["bubbles"])
            if (b["bundle"] == bundle) return b["center"];
        return nullptr;
    }
    // Runs a scenario file through springboard-sim on a fresh device:
    // its exit status, and what it printed.
    int replay(const std::string& scenario, std::string& output) {
        std::string file = root / "visit.scenario", out = root / "out.txt";
        std::ofstream(file) << scenario;
        int status = std::system((std::string(FT_SIM_PROGRAM) + " run " + file + " >" + out + " 2>&1").c_str());
        std::stringstream s;
        s << std::ifstream(out).rdbuf();
        output = s.str();
        return status;
    }

    TempDir root;
    FrameHub hub;
    double now = 1000;
    std::unique_ptr<Phone> phone;
};

} // namespace

// Tests the round trip: a visit by hand (a drag with snap, a long press and
// its menu, a respring while recording, a lock and an unlock with a bubble
// tapped while locked) replays in springboard-sim to the dump the phone
// ended in, times and files included; and an edited check fails on its line.
TEST_F(RecordedVisit, TheExportReplaysToTheSameDump) {
    ok({{"type", "setting"}, {"key", "bubbleSize"}, {"value", 60}});
    pass(2.5);
    ok({{"type", "record"}, {"op", "start"}});
    EXPECT_EQ(phone->recording()["lines"][0]["text"], "screen 375.0x667.0 scale=2.0");
    pass(0.7);
    ok({{"type", "unlock"}});
    ok({{"type", "setting"}, {"key", "isSticky"}, {"value", true}});
    pass(1.3);
    Json c = center("com.apple.mobilemail");
    touch("down", c[0], c[1], 5000);
    Json path = Json::array();
    for (int i = 1; i <= 23; ++i) path.push_back({c[0].get<double>() - 10 * i, c[1].get<double>() + 6 * i, 5000 + 8 * i});
    ok({{"type", "moves"}, {"points", path}});
    touch("up", 120, 308, 5200);
    Json dragged = center("com.apple.mobilemail");
    EXPECT_EQ(dragged[0], 0.0) << "snapped to the left edge";
    pass(0.4);
    c = center("com.apple.MobileSMS");
    touch("down", c[0], c[1], 7000);
    for (double t = 7040; t <= 7640; t += 40) ok({{"type", "hold"}, {"t", t}});
    touch("up", c[0], c[1], 7660);
    // The menu's button, where the picture draws it.
    std::string picture = Json::parse(hub.full())["svg"];
    std::smatch m;
    ASSERT_TRUE(std::regex_search(picture, m, std::regex("<line x1=\"([0-9.]+)\" y1=\"([0-9.]+)\" x2=\"([0-9.]+)\"[^>]*/>"
                                                         "<text[^>]*>Save Current Position<")));
    double bx = (std::stod(m[1]) + std::stod(m[3])) / 2, by = std::stod(m[2]) + 20;
    pass(0.3);
    touch("down", bx, by, 8000);
    touch("up", bx, by, 8060);
    ASSERT_TRUE(phone->lastDump()["alert"].is_null());
    ok({{"type", "record"}, {"op", "check"}, {"host", true}});
    pass(1.0);
    ok({{"type", "respring"}});
    pass(0.9);
    ok({{"type", "lock"}});
    c = center("com.apple.mobilemail");
    touch("down", c[0], c[1], 9000);
    touch("up", c[0], c[1], 9050);
    ok({{"type", "unlock"}});
    pass(2.2);
    ok({{"type", "record"}, {"op", "check"}, {"bubble", "com.apple.mobilemail"}});
    ok({{"type", "record"}, {"op", "check"}, {"file", "state"}, {"key", "POSAPPS-com.apple.mobilemail"}});
    ok({{"type", "record"}, {"op", "echo"}, {"text", "the end"}});
    pass(0.5);
    ok({{"type", "record"}, {"op", "stop"}});
    Json atStop = phone->lastDump();
    double stopTime = Json::parse(hub.full())["meta"]["time"];
    pass(3.0);   // not recorded
    EXPECT_EQ(atStop["host"]["front"], "com.apple.mobilemail");
    EXPECT_EQ(atStop["files"]["settings"]["isSticky"], true);
    EXPECT_EQ(atStop["files"]["state"]["POSAPPS-com.apple.mobilemail"], dragged);
    std::string scenario = phone->recordedScenario();
    EXPECT_NE(scenario.find("\nrespring\n"), std::string::npos) << scenario;
    EXPECT_NE(scenario.find("\nsettings bubbleSize=60"), std::string::npos) << "the files as recording found them";

    // The replay's dump, at the instant the recording stopped.
    std::string output;
    int status = replay(scenario + "dump " + (root / "replayed.json") + "\n", output);
    EXPECT_EQ(status, 0) << output;
    Json replayed = Json::parse(std::ifstream(root / "replayed.json"), nullptr, false);
    ASSERT_TRUE(replayed.is_object()) << output;
    EXPECT_NEAR(replayed["time"].get<double>(), stopTime, 0.001);
    replayed.erase("time");
    expectAlike(atStop, replayed);
    EXPECT_NE(output.find("-- the end"), std::string::npos);

    // Replayed in the playground, on a new phone and at ten times the pace,
    // the phone ends where the visit did, its checks holding.
    ok({{"type", "record"}, {"op", "replay"}, {"speed", 10}});
    for (int i = 0; i < 200 && phone->recording()["replaying"] == true; ++i) pass(0.25);
    EXPECT_EQ(phone->recording()["replaying"], false);
    expectAlike(atStop, phone->lastDump());
    EXPECT_NEAR(Json::parse(hub.full())["meta"]["time"].get<double>(), stopTime, 0.001);
    for (const auto& t : Json::parse(hub.full())["trace"]) EXPECT_EQ(t["text"].get<std::string>().find("check failed"), std::string::npos);

    // One expected value changed: the run fails on that line.
    std::regex front("expect /host/front == null");
    std::string edited = std::regex_replace(scenario, front, "expect /host/front == \"com.apple.Maps\"");
    ASSERT_NE(edited, scenario);
    size_t line = 1 + std::count(scenario.begin(), scenario.begin() + scenario.find("expect /host/front"), '\n');
    EXPECT_NE(replay(edited, output), 0);
    EXPECT_NE(output.find("visit.scenario:" + std::to_string(line) + ": "), std::string::npos) << output;
}
