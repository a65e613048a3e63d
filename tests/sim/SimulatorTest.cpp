#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "foundation/NSUserDefaults.h"
#include "foundation/RunLoop.h"
#include "sim/Runner.h"
#include "sim/Simulator.h"
#include "uikit/UIWindow.h"

namespace fs = std::filesystem;

namespace {

const std::string kHookTest = std::string(FT_BINARY_DIR) + "/tests/scenarios/plugins/HookTest.so";

struct Device {
    std::vector<std::string> out;
    std::unique_ptr<Simulator> sim;
    // A device root made from `deviceTemplate`, when given (the build's
    // holds FloatTiles).
    explicit Device(std::string deviceTemplate = {}) {
        Simulator::Options o;
        o.deviceTemplate = std::move(deviceTemplate);
        o.output = [this](const std::string& line) { out.push_back(line); };
        sim = std::make_unique<Simulator>(std::move(o));
    }
    void run(const std::string& line) { ASSERT_EQ(sim->execute(line), "") << line; }
    bool printed(const std::string& text) const {
        for (const auto& l : out)
            if (l.find(text) != std::string::npos) return true;
        return false;
    }
};

// Tests that every member the dump promises is there, before boot too.
TEST(Simulator, DumpHasEveryMember) {
    Device d;
    for (bool booted : {false, true}) {
        if (booted) d.run("boot");
        Json j = d.sim->dump();
        for (const char* member :
             {"time", "screen", "host", "windows", "bubbles", "alert", "timers", "plugin", "readings", "files"})
            EXPECT_TRUE(j.contains(member)) << member << " booted=" << booted;
        for (const char* member :
             {"front", "orientation", "uiLocked", "lockState", "siriVisible", "siriFramework", "call"})
            EXPECT_TRUE(j["host"].contains(member)) << member;
        EXPECT_TRUE(j["files"].contains("settings"));
        EXPECT_TRUE(j["files"].contains("state"));
        // The host alone, as the whole dump has it, on one line.
        d.out.clear();
        d.run("dump host");
        ASSERT_EQ(d.out.size(), 1u);
        EXPECT_EQ(Json::parse(d.out[0]), Json({{"host", j["host"]}}));
    }
}

// Tests that "-" means standard output for a dump as for a snapshot: one
// line each, and no file named "-".
TEST(Simulator, DashWritesToStandardOutput) {
    Device d;
    d.run("plugin none");
    d.run("boot");
    fs::path cwd = fs::current_path();
    fs::current_path(d.sim->root());
    d.run("dump -");
    d.run("snapshot -");
    fs::current_path(cwd);
    ASSERT_EQ(d.out.size(), 3u);
    // Without a file, the dump is printed indented by two.
    d.run("dump");
    ASSERT_EQ(d.out.size(), 4u);
    EXPECT_EQ(d.out[3].rfind("{\n  \"time\": ", 0), 0u) << d.out[3].substr(0, 40);
    d.out.pop_back();
    EXPECT_TRUE(Json::parse(d.out[1])["host"]["booted"].get<bool>());
    EXPECT_EQ(d.out[2].rfind("<svg", 0), 0u);
    EXPECT_FALSE(fs::exists(fs::path(d.sim->root()) / "-"));
    // Quoted, host and - are only files' names, and ones without .json.
    EXPECT_EQ(d.sim->execute("dump \"host\""), "dump writes JSON: name the file PATH.json, not host");
    EXPECT_EQ(d.sim->execute("dump \"-\""), "dump writes JSON: name the file PATH.json, not -");
    // A file named .json gets the whole dump, indented, and nothing printed.
    const fs::path file = fs::path(d.sim->root()) / "kept.json";
    d.run("dump \"" + file.string() + "\"");
    std::ifstream kept(file);
    const std::string text((std::istreambuf_iterator<char>(kept)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text.rfind("{\n  \"time\": ", 0), 0u) << text.substr(0, 40);
    EXPECT_TRUE(Json::parse(text)["host"]["booted"].get<bool>());
    EXPECT_EQ(d.out.size(), 3u);
}

// Tests that the plugin's description of its settings is what the plugin
// does: each described default is what its variable holds with no settings
// file, and a value written under each described key reaches the variable
// described beside it after the settings-changed notification.
TEST(Simulator, DescribedSettingsAreTheOnesThePluginReads) {
    {
        // Without a plugin there is nothing to describe.
        Device bare;
        EXPECT_TRUE(bare.sim->describePlugin().is_null());
    }
    Device d(FT_DEVICE_TEMPLATE);
    Json description = d.sim->describePlugin();
    ASSERT_TRUE(description.is_object());
    EXPECT_EQ(description["files"]["settings"], kSettingsPath);
    EXPECT_EQ(description["files"]["state"], kStatePath);
    const Json& settings = description["settings"];
    ASSERT_EQ(settings.size(), 17u);
    d.run("launch");
    Json before = d.sim->dump()["plugin"];
    std::vector<std::pair<std::string, Json>> written;
    for (const Json& s : settings) {
        const std::string key = s["key"], variable = s["variable"], type = s["type"];
        EXPECT_EQ(before[variable], s["default"]) << key;
        EXPECT_FALSE(s["label"].get<std::string>().empty()) << key;
        if (type == "boolean") {
            written.emplace_back(variable, !s["default"].get<bool>());
            d.run("settings " + key + "=" + (s["default"].get<bool>() ? "false" : "true"));
        } else if (type == "number") {
            EXPECT_LT(s["min"].get<double>(), s["max"].get<double>()) << key;
            written.emplace_back(variable, s["max"]);
            d.run("settings " + key + "=" + std::to_string(s["max"].get<double>()));
        } else {
            ASSERT_EQ(type, "colour");
            EXPECT_TRUE(s["fallback"].is_string()) << key;
            written.emplace_back(variable, "#0a0b0c");
            d.run("settings " + key + "=\"#0a0b0c\"");
        }
    }
    d.run("notify settings");
    Json after = d.sim->dump()["plugin"];
    for (const auto& [variable, value] : written) EXPECT_EQ(after[variable], value) << variable;
}

// Tests that the scenario's own file set-up is not traced but a write made
// by anyone else through the preferences store is, with its JSON value.
TEST(Simulator, OnlyForeignWritesAreTraced) {
    Device d;
    d.run("plugin none");
    d.run("settings isLocked=false");
    d.run("remove settings isLocked");
    EXPECT_TRUE(d.sim->trace().empty());
    auto defaults = NSUserDefaults::initWithSuiteName(kSettingsPath);
    defaults->setObjectForKey(NSNumber::numberWithBool(true), "isLocked");
    NSUserDefaults::initWithSuiteName(kStatePath)->setObjectForKey(str("x"), "POSAPPS-a");
    // Written by the preferences daemon; traced once they are in the files.
    NSUserDefaults::synchronize();
    ASSERT_EQ(d.sim->trace().size(), 2u);
    EXPECT_EQ(d.sim->trace()[0], "[0.000] write settings isLocked=true");
    EXPECT_EQ(d.sim->trace()[1], "[0.000] write state POSAPPS-a=\"x\"");
}

// Tests that a command starts with every write handed to the preferences
// daemon before it, as a settings app writes and then posts: the plugin
// reads them at boot and at a settings notification, and the dump shows
// them.
TEST(Simulator, CommandsSeeWritesMadeBeforeThem) {
    Device d(FT_DEVICE_TEMPLATE);
    auto settings = NSUserDefaults::initWithSuiteName(kSettingsPath);
    settings->setObjectForKey(NSNumber::numberWithBool(true), "isLocked");
    d.run("boot");
    d.run("expect /plugin/isLocked == true");
    settings->setObjectForKey(NSNumber::numberWithBool(false), "isLocked");
    d.run("notify settings");
    d.run("expect /plugin/isLocked == false");
    NSUserDefaults::initWithSuiteName(kStatePath)->setObjectForKey(str("x"), "POSAPPS-a");
    EXPECT_EQ(d.sim->dump()["files"]["state"]["POSAPPS-a"], "x");
}

// Tests expect trace's order and no-trace's window.
TEST(Simulator, TraceExpectationsReadInOrder) {
    Device d;
    d.run("plugin none");
    d.run("boot");
    d.run("front home");
    d.run("cc present");
    d.run("expect trace \"frontDisplayDidChange:\"");
    d.run("expect trace \"_willPresent\"");
    EXPECT_NE(d.sim->execute("expect trace \"_willPresent\""), "");
    EXPECT_NE(d.sim->execute("expect trace \"frontDisplayDidChange:\""), "");
    d.run("cc dismiss");
    EXPECT_NE(d.sim->execute("expect no-trace \"_didDismiss\""), "");
    // A run of no-trace lines shares the commands before it.
    d.run("expect no-trace \"_willPresent\"");
    EXPECT_NE(d.sim->execute("expect no-trace \"_didDismiss\""), "");
    d.run("expect trace \"_didDismiss\"");
    // After another kind of expectation there is nothing to look at.
    EXPECT_NE(d.sim->execute("expect no-trace \"_didDismiss\"").find("nothing to look at"), std::string::npos);
    d.run("cc present");
    d.run("expect no-trace \"_didDismiss\"");
}

// Tests the reasons given for a line that cannot run.
TEST(Simulator, ReasonsForLinesThatCannotRun) {
    Device d;
    EXPECT_NE(d.sim->execute("front home").find("not booted"), std::string::npos);
    EXPECT_NE(d.sim->execute("screen 0x10").find("bad screen size"), std::string::npos);
    EXPECT_NE(d.sim->execute("app com.x icon=maybe").find("icon"), std::string::npos);
    EXPECT_EQ(d.sim->execute("app com.x =yes"), "expected KEY=VALUE, not =yes");
    EXPECT_NE(d.sim->execute("expect /time === 1").find("unknown operator"), std::string::npos);
    EXPECT_NE(d.sim->execute("expect /time == {bad").find("not JSON"), std::string::npos);
    for (const char* word : {"some_text", "frame#2", "a.b-c"})
        EXPECT_NE(d.sim->execute(std::string("expect /time == ") + word)
                      .find("(a text is written in double quotes: \"" + std::string(word) + "\")"),
                  std::string::npos)
            << word;
    EXPECT_NE(d.sim->execute("wait -1").find("seconds"), std::string::npos);
    // A day at most, to the fraction.
    EXPECT_NE(d.sim->execute("wait 86400.5").find("seconds"), std::string::npos);
    EXPECT_NE(d.sim->execute("drag 1,1 2,2").find("usage"), std::string::npos);
    EXPECT_NE(d.sim->execute("longpress 20,20 for=0.1 more").find("usage"), std::string::npos);
    EXPECT_NE(d.sim->execute("dump a.json b").find("usage"), std::string::npos);
    EXPECT_NE(d.sim->execute("put settings /no/such/file").find("no file"), std::string::npos);
    EXPECT_NE(d.sim->execute("plugin /no/such.so").find("no plugin"), std::string::npos);
    EXPECT_EQ(d.sim->execute(""), "");
    EXPECT_EQ(d.sim->execute("   # only a comment"), "");
    d.run("plugin none");
    d.run("boot");
    EXPECT_NE(d.sim->execute("boot").find("already booted"), std::string::npos);
    EXPECT_NE(d.sim->execute("call 99999999999").find("32-bit"), std::string::npos);
    EXPECT_NE(d.sim->execute("orientation 2 notify=sometimes").find("notify"), std::string::npos);
    EXPECT_EQ(d.sim->execute("orientation code=2147483648"), "code is a 32-bit integer");
    EXPECT_EQ(d.sim->execute("orientation code=-2147483648 notify=none"), "");
    EXPECT_NE(d.sim->execute("tap bubble#0").find("0 bubbles"), std::string::npos);
    EXPECT_NE(d.sim->execute("tap nowhere").find("bad target"), std::string::npos);
    EXPECT_EQ(d.sim->execute("drag 10,10 to 20,20 steps=100001"), "steps is a positive integer");
    // A press held for no time is a press all the same.
    EXPECT_EQ(d.sim->execute("longpress 20,20 for=0"), "");
}

// Tests what a failing expectation shows of a large object around the
// value: three members either side of it, or of where a missing one would
// stand by name, and "..." for the rest; an object of 12 members whole.
TEST(Simulator, AFailingValueShowsItsNeighbours) {
    Device d;
    d.run("plugin none");
    d.run("settings a=1 b=2 c=3 d=4 e=5 f=6 g=7 h=8 i=9 j=10 k=11 l=12");
    EXPECT_NE(d.sim->execute("expect /files/settings/g == 99").find("\n  in /files/settings: {\"a\":1,"),
              std::string::npos);
    d.run("settings m=13 n=14 o=15");
    EXPECT_NE(d.sim->execute("expect /files/settings/g == 99")
                  .find("\n  beside it in /files/settings (15 members): {..., \"d\": 4, \"e\": 5, \"f\": 6, \"g\": 7, "
                        "\"h\": 8, \"i\": 9, \"j\": 10, ...}"),
              std::string::npos);
    EXPECT_NE(
        d.sim->execute("expect /files/settings/gg == 99")
            .find("(15 members): {..., \"e\": 5, \"f\": 6, \"g\": 7, \"h\": 8, \"i\": 9, \"j\": 10, \"k\": 11, ...}"),
        std::string::npos);
    EXPECT_NE(d.sim->execute("expect /files/settings/0 == 99")
                  .find("(15 members): {\"a\": 1, \"b\": 2, \"c\": 3, \"d\": 4, ...}"),
              std::string::npos);
    EXPECT_NE(
        d.sim->execute("expect /files/settings/o == 99").find("{..., \"l\": 12, \"m\": 13, \"n\": 14, \"o\": 15}"),
        std::string::npos);
    EXPECT_NE(d.sim->execute("expect /files/settings/b == 99")
                  .find("(15 members): {\"a\": 1, \"b\": 2, \"c\": 3, \"d\": 4, \"e\": 5, ...}"),
              std::string::npos);
}

// Tests the order of the checks made before a command runs: extra words
// to a command without arguments first, then the boot it needs (or the
// boot that came too early for a set-up command), then its own words.
TEST(Simulator, ChecksBeforeACommandRuns) {
    Device d;
    EXPECT_EQ(d.sim->execute("launch now"), "launch takes no arguments");
    EXPECT_EQ(d.sim->execute("respring"), "the device has not booted (boot first)");
    EXPECT_EQ(d.sim->execute("cc"), "the device has not booted (boot first)");
    EXPECT_EQ(d.sim->execute("screen"), "usage: screen WxH [scale=S]");
    EXPECT_EQ(d.sim->execute("boot load now"), "usage: boot [load]");
    d.run("plugin none");
    d.run("boot load");
    EXPECT_EQ(d.sim->execute("cc"), "usage: cc present|dismiss");
    EXPECT_EQ(d.sim->execute("screen"), "screen is set before boot");
    EXPECT_EQ(d.sim->execute("boot load now"), "usage: boot [load]");
    d.run("launch");
    EXPECT_EQ(d.sim->execute("launch"), "already launched");
}

// Tests that a respring keeps the clock, the files and the apps, and
// drops the windows of the old process.
TEST(Simulator, RespringKeepsTheDevice) {
    Device d;
    d.run("plugin none");
    d.run("app com.example.a badge=1");
    d.run("boot");
    d.run("badge com.example.a 4");
    d.run("state kept=1");
    d.run("wait 2.5");
    // A window kept by someone outside the process (the test) is still
    // dropped from the screen by the respring.
    auto window = UIWindow::initWithFrame(CGRectMake(0, 0, 10, 10));
    window->setHidden(false);
    EXPECT_EQ(d.sim->dump()["windows"].size(), 1u);
    d.run("respring");
    Json j = d.sim->dump();
    EXPECT_NEAR(j["time"].get<double>(), 2.5, 1e-9);
    EXPECT_EQ(j["windows"].size(), 0u);
    EXPECT_TRUE(window->isHidden());
    window.reset();
    EXPECT_EQ(j["files"]["state"]["kept"], 1);
    EXPECT_EQ(j["host"]["apps"][0]["badge"], 4);
    EXPECT_TRUE(d.printed("[2.500] respring"));
    EXPECT_TRUE(d.printed("[2.500] host-impl SpringBoard applicationDidFinishLaunching:"));
}

// Tests that a touch nobody claims goes through, and one a window claims
// does not.
TEST(Simulator, TouchThrough) {
    Device d;
    d.run("plugin none");
    d.run("boot");
    d.run("tap 12.5,40");
    EXPECT_TRUE(d.printed("touch-through 12.5,40"));
    auto window = UIWindow::initWithFrame(CGRectMake(0, 0, 100, 100));
    window->setHidden(false);
    size_t before = d.sim->trace().size();
    d.run("tap 50,50");
    d.run("drag 50,50 to 300,300 steps=4");
    d.run("longpress 20,20 for=0.1");
    EXPECT_EQ(d.sim->trace().size(), before);
    d.run("touch down 200,200");
    d.run("touch move 10,10");
    d.run("touch up 10,10");
    EXPECT_TRUE(d.printed("touch-through 200,200"));
}

// Tests that a file put where it cannot land says why and leaves no copy
// of itself beside the place.
TEST(Simulator, PutThatCannotLandLeavesNothingBehind) {
    Device d;
    const fs::path target = fs::path(d.sim->root()) / "var/mobile/Library/Preferences/com.vorlak.floattilesprefs.plist";
    fs::create_directories(target / "in-the-way");
    const fs::path source = fs::path(d.sim->root()) / "new.plist";
    std::ofstream(source) << "<plist version=\"1.0\"><dict/></plist>";
    EXPECT_NE(d.sim->execute("put settings \"" + source.string() + "\"").find("cannot copy"), std::string::npos);
    EXPECT_TRUE(fs::is_directory(target / "in-the-way"));
    EXPECT_FALSE(fs::exists(fs::path(target.string() + ".put")));
}

// Tests that the dump's animating is any shown window's animation: one in
// a hidden window does not count, and a still window after a moving one
// does not hide it.
TEST(Simulator, AnimatingIsAnyShownWindow) {
    Device d;
    d.run("plugin none");
    d.run("boot");
    auto hidden = UIWindow::initWithFrame(CGRectMake(0, 0, 100, 100));
    auto moving = UIWindow::initWithFrame(CGRectMake(0, 0, 100, 100));
    auto still = UIWindow::initWithFrame(CGRectMake(0, 200, 100, 100));
    moving->setHidden(false);
    still->setHidden(false);
    UIView::animateWithDuration(1.0, [&] { hidden->setAlpha(0.5); });
    EXPECT_EQ(d.sim->dump()["animating"], false);
    UIView::animateWithDuration(1.0, [&] { moving->setAlpha(0.5); });
    EXPECT_EQ(d.sim->dump()["animating"], true);
    d.run("wait 1");
    EXPECT_EQ(d.sim->dump()["animating"], false);
}

// Tests the plugin command: a library without a filter beside it gets one
// naming the home screen; "plugin none" empties the folder.
TEST(Simulator, PluginCommandInstallsIntoTheRoot) {
    Device d;
    fs::path dir = fs::path(d.sim->root()) / "Library/MobileSubstrate/DynamicLibraries";
    d.run("plugin none");
    EXPECT_TRUE(fs::is_directory(dir));
    EXPECT_TRUE(fs::is_empty(dir));
    ASSERT_TRUE(fs::exists(kHookTest)) << "build the HookTest target";
    setenv("FT_SIM_TEST_PLUGIN_DIR", fs::path(kHookTest).parent_path().c_str(), 1);
    d.run("plugin ${FT_SIM_TEST_PLUGIN_DIR}/HookTest.so");
    EXPECT_TRUE(fs::exists(dir / "HookTest.so"));
    std::ifstream filter(dir / "HookTest.plist");
    std::string text((std::istreambuf_iterator<char>(filter)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("com.apple.springboard"), std::string::npos);
    d.run("boot");
    EXPECT_EQ(d.sim->dump()["plugins"], Json::array({"HookTest.so"}));
    ASSERT_EQ(d.sim->bubbles().size(), 1u);
    EXPECT_EQ(d.sim->bubbles()[0].bundle, "com.test.one");
    EXPECT_NE(d.sim->execute("plugin none").find("before boot"), std::string::npos);
    EXPECT_NE(d.sim->execute("tap bubble#first").find("no bubble bubble#first (1 bubbles)"), std::string::npos);
    // A device without the folder yet, as a bare root is, gets it made.
    Device bare;
    bare.run("plugin ${FT_SIM_TEST_PLUGIN_DIR}/HookTest.so");
    EXPECT_TRUE(fs::exists(fs::path(bare.sim->root()) / "Library/MobileSubstrate/DynamicLibraries/HookTest.so"));
}

// Tests that a bubble is on screen while a finger can reach any of it: a
// strip along any one of its four edges, as thin as the space between two
// of the points tried across it, is enough; a bubble wholly outside its
// window is not.
TEST(Simulator, OnScreenByAnyEdge) {
    Device d;
    d.run("plugin none");
    d.run("plugin " + kHookTest);
    d.run("boot");
    ASSERT_EQ(d.sim->bubbles().size(), 1u);
    auto button = d.sim->bubbles()[0].view;
    // The button is 60 points square in a window of 200: 2 points of it
    // are inside, left, right, top or bottom.
    for (auto [x, y] : {std::pair{198.0, 50.0}, {-58.0, 50.0}, {50.0, 198.0}, {50.0, -58.0}}) {
        button->setFrame(CGRectMake(x, y, 60, 60));
        EXPECT_EQ(d.sim->execute("expect onscreen bubble:com.test.one"), "") << x << "," << y;
    }
    button->setFrame(CGRectMake(200, 50, 60, 60));
    EXPECT_EQ(d.sim->execute("expect offscreen bubble:com.test.one"), "");
    // The screen's edges bound it too: a window reaching past the right or
    // the bottom edge holds a button there that no finger can reach.
    button->setFrame(CGRectMake(50, 50, 60, 60));
    UIWindow* window = button->window();
    ASSERT_NE(window, nullptr);
    for (auto [x, y] : {std::pair{330.0, 100.0}, {100.0, 620.0}}) {
        window->setFrame(CGRectMake(x, y, 200, 200));
        EXPECT_EQ(d.sim->execute("expect offscreen bubble:com.test.one"), "") << x << "," << y;
    }
    window->setFrame(CGRectMake(270, 100, 200, 200));
    EXPECT_EQ(d.sim->execute("expect onscreen bubble:com.test.one"), "");
    // Under a window that takes touches, it is out of a finger's reach.
    window->setFrame(CGRectMake(50, 50, 200, 200));
    auto cover = UIWindow::initWithFrame(CGRectMake(0, 0, 375, 667));
    cover->setWindowLevel(window->windowLevel() + 1);
    cover->setHidden(false);
    EXPECT_EQ(d.sim->execute("expect offscreen bubble:com.test.one"), "");
    cover->setHidden(true);
    EXPECT_EQ(d.sim->execute("expect onscreen bubble:com.test.one"), "");
}

// Tests that a plugin's own filter, beside it, is the one installed with
// it: the home screen loads the plugin when the filter names the home
// screen, and not when it names another app.
TEST(Simulator, PluginKeepsItsOwnFilter) {
    fs::path dir = fs::temp_directory_path() / "sim-own-filter";
    fs::create_directories(dir);
    fs::copy_file(kHookTest, dir / "HookTest.so", fs::copy_options::overwrite_existing);
    for (auto [bundle, loaded] : {std::pair{"com.apple.springboard", 1u}, {"com.apple.mobilemail", 0u}}) {
        std::ofstream(dir / "HookTest.plist")
            << "<plist version=\"1.0\"><dict><key>Filter</key><dict><key>Bundles</key>"
               "<array><string>"
            << bundle << "</string></array></dict></dict></plist>\n";
        Device d;
        d.run("plugin none");
        d.run("plugin " + (dir / "HookTest.so").string());
        d.run("boot");
        EXPECT_EQ(d.sim->dump()["plugins"].size(), loaded) << bundle;
    }
    fs::remove_all(dir);
}

// Tests the interactive protocol: each command's trace lines, then "ok"
// or "error: REASON"; a dump on one line.
TEST(Runner, InteractiveProtocol) {
    std::istringstream in("plugin none\nboot\nfront home\ndump\nexpect /host/front == 1\nnonsense\n# a comment\nsnapshot -\n");
    std::ostringstream out;
    runInteractive(in, RunOptions{}, out);
    std::vector<std::string> lines;
    std::istringstream split(out.str());
    for (std::string l; std::getline(split, l);) lines.push_back(l);
    ASSERT_EQ(lines.size(), 12u) << out.str();
    EXPECT_EQ(lines[0], "ok");
    EXPECT_EQ(lines[1], "[0.000] host-impl SpringBoard applicationDidFinishLaunching:");
    EXPECT_EQ(lines[2], "ok");
    EXPECT_EQ(lines[3], "[0.000] host-impl SpringBoard frontDisplayDidChange:");
    EXPECT_EQ(lines[4], "ok");
    Json dumped = Json::parse(lines[5]);
    EXPECT_TRUE(dumped["host"]["booted"].get<bool>());
    EXPECT_EQ(lines[6], "ok");
    EXPECT_EQ(lines[7].rfind("error: expect failed: /host/front is null", 0), 0u) << lines[7];
    EXPECT_EQ(lines[8].rfind("error: unknown command nonsense", 0), 0u) << lines[8];
    EXPECT_EQ(lines[9], "ok");
    EXPECT_EQ(lines[10].rfind("<svg", 0), 0u);
    EXPECT_EQ(lines[11], "ok");
}

// Tests that a scenario file run reports each failing line with its
// number, runs the lines after it, and counts the failures.
TEST(Runner, FileRunReportsLines) {
    fs::path dir = fs::temp_directory_path() / "sim-runner-test";
    fs::create_directories(dir);
    fs::path file = dir / "t.scenario";
    std::ofstream(file)
        << "plugin none\nsettings n=1 m=0\nexpect /files/settings/n == 2\nbogus\nexpect /files/settings/n == 1\n";
    std::ostringstream out, err;
    RunOptions options;
    options.dumpOnFail = (dir / "kept").string();
    EXPECT_EQ(runScenarioFiles({file.string()}, options, out, err), 2);
    EXPECT_NE(err.str().find(file.string() + ":3: expect failed"), std::string::npos) << err.str();
    EXPECT_NE(err.str().find(file.string() + ":4: unknown command bogus"), std::string::npos);
    // In the trace too, where it happened, with the value's neighbours.
    EXPECT_NE(out.str().find("[0.000] failed " + file.string() +
                             ":3: expect failed: /files/settings/n is 1, "
                             "expected == 2\n  in /files/settings: {\"m\":0,\"n\":1}"),
              std::string::npos)
        << out.str();
    EXPECT_TRUE(fs::exists(dir / "kept" / "t-line3.json"));
    EXPECT_TRUE(fs::exists(dir / "kept" / "t-line4.svg"));
    std::ostringstream out2, err2;
    EXPECT_EQ(runScenarioFiles({(dir / "missing.scenario").string()}, RunOptions{}, out2, err2), 1);
    fs::remove_all(dir);
}

// Tests that the demo's failing lines are reported by their number, and
// that on a phone without the plugin a line that needs it is passed over,
// said so, and not counted.
TEST(Runner, DemoReportsLinesAndPassesOverThePluginsOwn) {
    std::ostringstream out, err;
    EXPECT_EQ(runDemo("plugin none\nsettings n=1\nbogus\n", RunOptions{}, out, err), 1);
    EXPECT_NE(err.str().find("demo:3: unknown command bogus"), std::string::npos) << err.str();
    std::ostringstream out2, err2;
    EXPECT_EQ(runDemo("plugin none\nboot\nexpect /plugin/isSticky == true\n", RunOptions{}, out2, err2), 0);
    EXPECT_NE(out2.str().find("-- (skipped without a plugin: expect failed"), std::string::npos) << out2.str();
    EXPECT_EQ(err2.str(), "");
}

// Tests that describing a phone whose plugins say nothing of themselves
// fails with a reason, as a program's failure: status 1.
TEST(Runner, DescribeWithoutAPluginFails) {
    std::ostringstream out, err;
    EXPECT_EQ(runDescribe(RunOptions{}, out, err), 1);
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(err.str(), "springboard-sim: no loaded plugin describes itself\n");
}

// Tests that each scenario file of a run gets a phone of its own: the
// screen one file set up is not the next one's.
TEST(Runner, EachFileOnAPhoneOfItsOwn) {
    fs::path dir = fs::temp_directory_path() / "sim-runner-phones";
    fs::create_directories(dir);
    std::ofstream(dir / "a.scenario") << "plugin none\nscreen 320x480 scale=3\nboot\n";
    std::ofstream(dir / "b.scenario") << "plugin none\nboot\nexpect /screen/bounds == [0, 0, 375, 667]\n";
    std::ostringstream out, err;
    EXPECT_EQ(runScenarioFiles({(dir / "a.scenario").string(), (dir / "b.scenario").string()}, RunOptions{}, out, err),
              0)
        << err.str();
    fs::remove_all(dir);
}

// Tests that --root keeps the device root and a temporary one goes away.
TEST(Runner, DeviceRootKeptOnlyWhenAsked) {
    std::string temporary;
    {
        Device d;
        temporary = d.sim->root();
        EXPECT_TRUE(fs::is_directory(temporary));
    }
    EXPECT_FALSE(fs::exists(temporary));
    fs::path kept = fs::temp_directory_path() / "sim-kept-root";
    fs::remove_all(kept);
    {
        Simulator::Options o;
        o.root = kept.string();
        Simulator sim(std::move(o));
        ASSERT_EQ(sim.execute("settings a=1"), "");
    }
    EXPECT_TRUE(fs::exists(kept / "var/mobile/Library/Preferences/com.vorlak.floattilesprefs.plist"));
    fs::remove_all(kept);
}

} // namespace

namespace {

// Tests that malformed lines, before and after boot, are refused with a
// reason and never bring the device down.
TEST(Simulator, BadLinesNeverCrash) {
    Simulator::Options o;
    Simulator sim(std::move(o));
    const std::vector<std::string> bad = {
        "screen 1e400x5", "screen x", "screen 10x10 scale=0", "app", "app \"\"", "app a orientation=up",
        "absent", "settings", "settings =1", "settings a", "settings a=[" + std::string(100, '[') + "]",
        "state a=" + std::string(5000, '['), "remove settings", "delete everything", "put state",
        "wait nan", "wait 1e9", "wait -0.5", "touch", "touch down", "touch down 1", "touch sideways 1,1",
        "tap", "drag 1,1 to", "drag 1,1 to 2,2 steps=0", "longpress 1,1 for=-1", "menu", "expect",
        "expect /time", "expect /time ==", "expect / == [" + std::string(3000, '[') + "]", "dump a b",
        "snapshot", "siri", "siri visible maybe", "siri wings yes", "notify nobody", "query nothing"};
    for (const auto& line : bad) EXPECT_NE(sim.execute(line), "") << line;
    ASSERT_EQ(sim.execute("plugin none"), "");
    ASSERT_EQ(sim.execute("boot"), "");
    for (const auto& line : bad) EXPECT_NE(sim.execute(line), "") << line;
    for (const char* line :
         {"front", "cc sideways", "lockstate many", "call", "call 1 2", "badge nobody 1", "passcode wave",
          "lockscreen raise", "orientation", "orientation 5", "orientation sideways", "uilocked perhaps", "phone",
          "phone answers maybe", "phone starts sideways", "press", "press lock", "unlock now"})
        EXPECT_NE(sim.execute(line), "") << line;
    // Odd but well-formed lines run.
    for (const char* line : {"touch up 5,5", "touch move 5,5", "touch cancel", "lockstate -1", "call -7",
                             "orientation code=99 notify=none", "wait 0", "tap -10,-10", "tap 1e6,1e6"})
        EXPECT_EQ(sim.execute(line), "") << line;
    ASSERT_EQ(sim.execute("respring"), "");
    ASSERT_EQ(sim.execute("respring"), "");
    // A second boot while booted is refused; the device runs on.
    EXPECT_NE(sim.execute("boot"), "");
    EXPECT_TRUE(sim.dump()["host"]["booted"].get<bool>());
}

} // namespace
