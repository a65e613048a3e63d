// What the page's typed requests become, and the guard that keeps every
// other line away from the home screen.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <set>
#include <sstream>

#include "playground/server/Commands.h"
#include "playground/server/PluginDescription.h"
#include "playground/server/SimulatorForms.h"

using namespace playground;

namespace {

// The plugin's table, asked once of the simulator.
const std::vector<SettingSpec>& specs() {
    static const auto table = settingsFromDescription(describePlugin(FT_SIM_PROGRAM));
    return table;
}

std::vector<std::string> lines(const std::string& key, const Json& value, std::string* why = nullptr) {
    std::string error;
    auto out = settingLines(specs(), key, value, error);
    if (why) *why = error;
    return out;
}

} // namespace

// Tests that the pane's table is the plugin's own, as springboard-sim
// describes it: every key a switch, a number with its bounds or a colour,
// each with a label, and a row that does not read as a setting left out.
TEST(SettingSpecs, ComeFromThePluginsOwnTable) {
    const auto& all = specs();
    ASSERT_FALSE(all.empty());
    for (const auto& s : all) {
        EXPECT_FALSE(s.label.empty()) << s.key;
        EXPECT_EQ(findSetting(all, s.key), &s);
        if (s.type == SettingType::Number) {
            EXPECT_LT(s.min, s.max) << s.key;
            EXPECT_GE(s.defaultValue.get<double>(), s.min) << s.key;
        }
    }
    EXPECT_EQ(findSetting(all, "FLTTILE-com.apple.siri"), nullptr);
    Json odd = {{"settings", Json::array({{{"key", "x"}, {"type", "mystery"}},
                                          {{"type", "boolean"}},
                                          {{"key", "n"}, {"type", "number"}},
                                          {{"key", "b"}, {"type", "boolean"}}})}};
    auto read = settingsFromDescription(odd);
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].key, "b");
    EXPECT_TRUE(settingsFromDescription(Json("not a description")).empty());
}

// Tests that a change is written and then announced, as the device's pane
// does, and that a value of the wrong type or range writes nothing.
TEST(SettingLines, WriteTheKeyThenPostTheNotification) {
    EXPECT_EQ(lines("isSticky", true), (std::vector<std::string>{"settings isSticky=true", "notify settings"}));
    EXPECT_EQ(lines("isDim", false), (std::vector<std::string>{"settings isDim=false", "notify settings"}));
    EXPECT_EQ(lines("bubbleSize", 70), (std::vector<std::string>{"settings bubbleSize=70.0", "notify settings"}));
    EXPECT_EQ(lines("bubbleSize", 62.5)[0], "settings bubbleSize=62.5");
    EXPECT_EQ(lines("frameColor", "#00FF7f")[0], "settings frameColor=\"#00ff7f\"");
    EXPECT_EQ(lines("badgeColor", nullptr), (std::vector<std::string>{"remove settings badgeColor", "notify settings"}));

    std::string why;
    EXPECT_TRUE(lines("isSticky", "true", &why).empty());
    EXPECT_NE(why.find("switch"), std::string::npos);
    EXPECT_TRUE(lines("isSticky", 1).empty());
    EXPECT_TRUE(lines("bubbleSize", "70").empty());
    EXPECT_TRUE(lines("bubbleSize", 5000).empty());
    EXPECT_TRUE(lines("bubbleSize", -1).empty());
    EXPECT_TRUE(lines("frameColor", "red").empty());
    EXPECT_TRUE(lines("frameColor", "#12345").empty());
    EXPECT_TRUE(lines("frameColor", "#12345g").empty());
    EXPECT_TRUE(lines("frameColor", "#123456\" put settings /etc/passwd").empty());
    EXPECT_TRUE(lines("isSticky=true put", true, &why).empty());
    EXPECT_NE(why.find("no setting"), std::string::npos);
    EXPECT_TRUE(lines("", true).empty());
}

// Tests that a key of either file takes one value as the simulator reads
// one, spaces inside an array included, and nothing that would be a
// second key.
TEST(FileLines, OneValueForOneKey) {
    std::string why;
    EXPECT_EQ(fileLines("settings", "bubbleSize", "[100, 200, 300]", why),
              (std::vector<std::string>{"settings \"bubbleSize\"=[100, 200, 300]", "notify settings"}));
    EXPECT_EQ(fileLines("state", "k", "{a: [1, \"x y\"], b:2}", why).size(), 1u);
    for (const char* bad : {"1 x=2", "[1, 2] x=3", " 1", "1 ", "[1,2]] 3", "\"a\" \"b\""}) {
        EXPECT_TRUE(fileLines("state", "k", bad, why).empty()) << bad;
        EXPECT_NE(why.find("one scenario VALUE"), std::string::npos) << bad;
    }
}

TEST(ChoiceLine, WritesTheAppsKeyIntoTheStateFile) {
    std::string why;
    EXPECT_EQ(choiceLine("com.apple.Maps", true, why), "state FLTTILE-com.apple.Maps=true");
    EXPECT_EQ(choiceLine("com.apple.Maps", false, why), "state FLTTILE-com.apple.Maps=false");
    for (const char* bad : {"", "com apple", "../../etc", "a=b", "x\"y", "a#b", "com.apple.siri\nboot"})
        EXPECT_FALSE(choiceLine(bad, true, why)) << bad;
    EXPECT_FALSE(choiceLine(std::string(129, 'a'), true, why));
}

// Tests that a badge is a count, a text in quotes with its own quotes
// escaped, or none.
TEST(BadgeLine, CountsTextsAndNone) {
    std::string why;
    EXPECT_EQ(badgeLine("com.apple.Maps", 7, why), "badge com.apple.Maps 7");
    EXPECT_EQ(badgeLine("com.apple.Maps", "12", why), "badge com.apple.Maps 12");
    // A count typed as text is the count sent as a number.
    EXPECT_EQ(badgeLine("com.apple.Maps", "-3", why), badgeLine("com.apple.Maps", -3, why));
    EXPECT_EQ(badgeLine("com.apple.Maps", "007", why), "badge com.apple.Maps 7");
    EXPECT_EQ(badgeLine("com.apple.Maps", " 7", why), "badge com.apple.Maps \" 7\"");
    EXPECT_EQ(badgeLine("com.apple.Maps", "1234567", why), "badge com.apple.Maps \"1234567\"");
    EXPECT_EQ(badgeLine("com.apple.Maps", "New", why), "badge com.apple.Maps \"New\"");
    EXPECT_EQ(badgeLine("com.apple.Maps", "say \"hi\" \\o/", why), "badge com.apple.Maps \"say \\\"hi\\\" \\\\o/\"");
    EXPECT_EQ(badgeLine("com.apple.Maps", nullptr, why), "badge com.apple.Maps none");
    EXPECT_EQ(badgeLine("com.apple.Maps", "", why), "badge com.apple.Maps none");
    // The word none in a text is a text, not the absence of a badge.
    EXPECT_EQ(badgeLine("com.apple.Maps", "none", why), "badge com.apple.Maps \"none\"");

    EXPECT_FALSE(badgeLine("com.apple.Maps", "two\nlines", why));
    EXPECT_FALSE(badgeLine("com.apple.Maps", std::string(25, 'x'), why));
    EXPECT_FALSE(badgeLine("com.apple.Maps", 10000000, why));
    EXPECT_FALSE(badgeLine("com.apple.Maps", true, why));
    EXPECT_FALSE(badgeLine("com.apple.Maps", Json::array({1}), why));
    EXPECT_FALSE(badgeLine("not an app", 1, why));
}

// Tests that a pointer past the screen's edge touches the glass at the
// edge, and that only the four phases are touches.
TEST(TouchLine, KeepsTheFingerOnTheGlass) {
    std::string why;
    EXPECT_EQ(touchLine("down", 100, 200, 375, 667, why), "touch down 100.00,200.00");
    EXPECT_EQ(touchLine("move", -20, 1000, 375, 667, why), "touch move 0.00,666.99");
    EXPECT_EQ(touchLine("up", 375, 0, 375, 667, why), "touch up 374.99,0.00");
    EXPECT_EQ(touchLine("cancel", NAN, NAN, 375, 667, why), "touch cancel");
    EXPECT_FALSE(touchLine("down", NAN, 1, 375, 667, why));
    EXPECT_FALSE(touchLine("down", INFINITY, 1, 375, 667, why));
    EXPECT_FALSE(touchLine("tap", 1, 1, 375, 667, why));
}

TEST(Words, QuoteAndNumbers) {
    EXPECT_EQ(quoteWord("plain"), "\"plain\"");
    EXPECT_EQ(quoteWord("a\"b\\c"), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(realWord(50), "50.0");
    EXPECT_EQ(realWord(0.0333), "0.0333");
    EXPECT_EQ(realWord(1.5), "1.5");
    EXPECT_TRUE(isColourString("#A0b1C2"));
    EXPECT_FALSE(isColourString("A0b1C2#"));
    EXPECT_TRUE(isBundleIdentifier("com.example.my-app_2"));
    EXPECT_FALSE(isBundleIdentifier("com/example"));
}

// Tests that the guard passes every line the playground composes and
// refuses every command that names a path or is not the playground's.
TEST(IsAllowedLine, OnlyThePlaygroundsCommands) {
    for (const char* ok : {"screen 375.0x667.0 scale=2.0",
                           "app com.apple.siri icon=yes badge=3",
                           "boot",
                           "settings isSticky=true",
                           "state FLTTILE-com.apple.siri=true",
                           "remove settings badgeColor",
                           "delete state",
                           "notify settings",
                           "front home",
                           "front com.apple.Maps",
                           "orientation 3",
                           "cc present",
                           "lockstate 3",
                           "uilocked yes",
                           "query uilocked",
                           "lockscreen dismiss",
                           "passcode appear",
                           "badge com.apple.Maps \"a b\"",
                           "call 4",
                           "call none",
                           "siri visible yes",
                           "touch down 1.00,2.00",
                           "touch cancel",
                           "wait 0.0330",
                           "dump",
                           "dump host",
                           "snapshot -",
                           "respring",
                           "expect /a == 1",
                           "expect trace \"launch a\""})
        EXPECT_TRUE(isAllowedLine(ok)) << ok;
    for (const char* bad : {"",
                            "# comment",
                            "put settings /etc/passwd",
                            "put state ../x.plist",
                            "plugin /tmp/x.so",
                            "plugin none",
                            "dump /tmp/out.json",
                            "dump host x",
                            "snapshot /tmp/x.svg",
                            "snapshot \"-\"x",
                            "expect bytes settings /etc/passwd",
                            "expect / == 1",
                            "expect /a is 1",
                            "echo hi",
                            "absent SBApplication",
                            "remove settings",
                            "delete /etc/passwd",
                            "remove other key",
                            "notify other",
                            "touch down here",
                            "siri framework yes",
                            "front home\nput settings /etc/passwd",
                            "front \"unterminated",
                            "tap 1,1",
                            "longpress bubble#0",
                            "drag bubble#0 to 1,1",
                            "menu \"Cancel\""})
        EXPECT_FALSE(isAllowedLine(bad)) << bad;

    // Whatever a request holds, what it composes passes the guard.
    std::string why;
    for (const auto& s : specs()) {
        Json value = s.type == SettingType::Boolean ? Json(true) : s.type == SettingType::Number ? Json(s.min) : Json("#abcdef");
        for (const auto& line : settingLines(specs(), s.key, value, why)) EXPECT_TRUE(isAllowedLine(line)) << line;
        for (const auto& line : settingLines(specs(), s.key, nullptr, why)) EXPECT_TRUE(isAllowedLine(line)) << line;
    }
    for (Json badge : {Json(3), Json("x\"; put a /etc/pw"), Json(nullptr), Json("# not a comment")}) {
        auto line = badgeLine("com.apple.Maps", badge, why);
        ASSERT_TRUE(line) << badge;
        EXPECT_TRUE(isAllowedLine(*line)) << *line;
    }
    EXPECT_TRUE(isAllowedLine(*touchLine("down", -1e9, 1e9, 375, 667, why)));
}

// Tests that the guard's commands are the simulator's own: the server was
// built with the forms the simulator lists now, everything the playground
// refuses by hand is a command or a form of that list, and every form of
// plain words passes the guard, written as a person first would (the first
// of each a|b, no [option]), unless the playground refuses it.
TEST(IsAllowedLine, TakesTheSimulatorsOwnForms) {
    std::string help;
    FILE* pipe = popen((std::string(FT_SIM_PROGRAM) + " help 2>/dev/null").c_str(), "r");
    ASSERT_TRUE(pipe);
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) help.append(buffer, n);
    ASSERT_EQ(pclose(pipe), 0);
    const auto forms = formsFromHelp(help);
    ASSERT_GT(forms.size(), 30u);
    EXPECT_EQ(forms, simulatorForms());
    std::set<std::string> names;
    for (const auto& form : forms) names.insert(form.substr(0, form.find(' ')));
    for (const auto& command : refusedCommands()) EXPECT_TRUE(names.count(command)) << command;
    for (const auto& form : refusedForms()) EXPECT_NE(std::find(forms.begin(), forms.end(), form), forms.end()) << form;

    int plain = 0;
    for (const auto& form : forms) {
        if (std::any_of(form.begin(), form.end(), [](char c) { return std::isupper(static_cast<unsigned char>(c)); }) ||
            form.find('"') != std::string::npos || form.find("...") != std::string::npos)
            continue;
        std::istringstream words(form);
        std::string word, line;
        bool inAlternatives = false;
        while (words >> word) {
            bool alternatives = word.find('|') != std::string::npos;
            // "portrait|upside down|landscape left": the words after the
            // first alternative belong to the others.
            if (word.front() == '[' || (alternatives && inAlternatives)) continue;
            inAlternatives = alternatives;
            line += (line.empty() ? "" : " ") + word.substr(0, word.find('|'));
        }
        bool refused = refusedCommands().count(form.substr(0, form.find(' '))) || refusedForms().count(form);
        EXPECT_EQ(isAllowedLine(line), !refused) << form << ", written " << line;
        ++plain;
    }
    EXPECT_GT(plain, 15);
}
