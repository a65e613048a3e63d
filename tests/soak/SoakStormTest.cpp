// The storm's own machinery: the generator answers only commands that can
// run in the state it is shown, and a seed replays exactly.
#include <gtest/gtest.h>

#include <sstream>

#include "sim/Simulator.h"
#include "soak/Soak.h"
#include "soak/SoakEvents.h"

namespace {

bool startsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

} // namespace

// Tests that with no bubbles and no alert nothing names a bubble or picks
// from a menu, and that a finger that is not down is never moved or lifted.
TEST(SoakEvents, NothingAimsAtWhatIsNotThere) {
    SoakEventGenerator generator(3, describedSettingKeys(FT_DEVICE_TEMPLATE));
    SoakView empty;
    for (int i = 0; i < 20000; ++i) {
        SoakEvent e = generator.next(empty);
        EXPECT_EQ(e.line.find("bubble#"), std::string::npos) << e.line;
        EXPECT_FALSE(startsWith(e.line, "menu ")) << e.line;
        EXPECT_FALSE(startsWith(e.line, "touch move") || startsWith(e.line, "touch up")) << e.line;
        EXPECT_EQ(e.directFile.empty(), e.directValue == nullptr) << e.line;
    }
}

// Tests that with an alert up the menu picks name its actions, that bubble
// targets stay within the list, and that a finger that is down moves on.
TEST(SoakEvents, AimsAtWhatIsThere) {
    SoakEventGenerator generator(4, describedSettingKeys(FT_DEVICE_TEMPLATE));
    SoakView view;
    view.bubbles = {{100, 100, false}, {200, 300, false}};
    view.alertActions = {"Cancel", "Lock \"Float\" Tiles"};
    view.touchActive = true;
    int menus = 0, moves = 0, bubbles = 0;
    for (int i = 0; i < 5000; ++i) {
        SoakEvent e = generator.next(view);
        if (startsWith(e.line, "menu ")) {
            ++menus;
            EXPECT_TRUE(e.line == "menu \"Cancel\"" || e.line == "menu \"Lock \\\"Float\\\" Tiles\"") << e.line;
        }
        if (startsWith(e.line, "touch move") || startsWith(e.line, "touch up")) ++moves;
        size_t at = e.line.find("bubble#");
        if (at != std::string::npos) {
            ++bubbles;
            char index = e.line[at + 7];
            EXPECT_TRUE(index == '0' || index == '1') << e.line;
        }
    }
    EXPECT_GT(menus, 1000);
    EXPECT_GT(moves, 500);
    EXPECT_GT(bubbles, 100);
}

// Tests that a seed replays: two storms of one seed see the same events
// (the same counts, picks and boots), and another seed sees others.
TEST(SoakStorm, SeedReplays) {
    SoakOptions options;
    options.deviceTemplate = FT_DEVICE_TEMPLATE;
    options.events = 3000;
    options.fullCheckEvery = 500;
    options.seed = 11;
    std::ostringstream out;
    SoakReport first = runSoak(options, out);
    SoakReport second = runSoak(options, out);
    options.seed = 12;
    SoakReport other = runSoak(options, out);
    ASSERT_TRUE(first.passed) << out.str();
    ASSERT_TRUE(second.passed) << out.str();
    ASSERT_TRUE(other.passed) << out.str();
    EXPECT_EQ(first.steps, 3000u);
    EXPECT_EQ(first.counts, second.counts);
    EXPECT_EQ(first.menuPicks, second.menuPicks);
    EXPECT_EQ(first.boots, second.boots);
    EXPECT_EQ(first.pluginWrites, second.pluginWrites);
    EXPECT_EQ(first.stepsWithVisibleBubbles, second.stepsWithVisibleBubbles);
    EXPECT_NE(first.counts, other.counts);
    EXPECT_EQ(first.fullChecks, 7u) << "six on the way and one at the end";
}

// Tests that a printed replay names each event with its step from the
// step asked for.
TEST(SoakStorm, PrintsEventsFromAStep) {
    SoakOptions options;
    options.deviceTemplate = FT_DEVICE_TEMPLATE;
    options.events = 60;
    options.printFrom = 50;
    std::ostringstream out;
    ASSERT_TRUE(runSoak(options, out).passed) << out.str();
    std::string text = out.str();
    EXPECT_EQ(text.find("49: "), std::string::npos);
    EXPECT_NE(text.find("50: "), std::string::npos);
    EXPECT_NE(text.find("\n59: "), std::string::npos);
}

// Tests that a simulator told not to keep its trace still hands every line
// to its output (the storm's memory stays flat over a million events).
TEST(SoakStorm, TraceGoesToOutputOnly) {
    std::vector<std::string> lines;
    Simulator::Options o;
    o.keepTrace = false;
    o.output = [&](const std::string& line) { lines.push_back(line); };
    Simulator sim(std::move(o));
    ASSERT_EQ(sim.execute("plugin none"), "");
    ASSERT_EQ(sim.execute("boot"), "");
    ASSERT_EQ(sim.execute("front home"), "");
    EXPECT_TRUE(sim.trace().empty());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[1].find("frontDisplayDidChange:"), std::string::npos);
}
