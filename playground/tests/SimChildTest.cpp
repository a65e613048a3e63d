// The home-screen process as a child: its answers, its end, and the files
// it leaves behind for the next one.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "playground/server/SimChild.h"
#include "playground/tests/TestSupport.h"

using namespace playground;
using playground::testing::TempDir;
using Json = nlohmann::json;

TEST(ReadAnswerLine, SortsTraceDumpPictureAndTheClosingLine) {
    SimAnswer a;
    EXPECT_FALSE(readAnswerLine("[0.500] launch com.apple.Maps suspended=NO", a));
    EXPECT_FALSE(readAnswerLine("<svg xmlns=\"http://www.w3.org/2000/svg\"> </svg>", a));
    EXPECT_FALSE(readAnswerLine("{\"time\":0}", a));
    EXPECT_FALSE(readAnswerLine("-- an echo", a));
    EXPECT_TRUE(readAnswerLine("ok", a));
    EXPECT_TRUE(a.ok());
    EXPECT_EQ(a.trace, (std::vector<std::string>{"[0.500] launch com.apple.Maps suspended=NO", "-- an echo"}));
    EXPECT_EQ(a.svg.rfind("<svg", 0), 0u);
    EXPECT_EQ(a.dump, "{\"time\":0}");

    SimAnswer b;
    EXPECT_TRUE(readAnswerLine("error: no app x is installed", b));
    EXPECT_FALSE(b.ok());
    EXPECT_EQ(b.error, "no app x is installed");
    // "ok" inside a line is not the end of the answer.
    SimAnswer c;
    EXPECT_FALSE(readAnswerLine("[1.000] log ok", c));
    EXPECT_FALSE(readAnswerLine("okay", c));
}

// Tests that each command gets its own answer: trace lines, a dump, a
// picture, or the reason it was refused.
TEST(SimChild, AnswersEachCommand) {
    TempDir root;
    SimChild child(FT_SIM_PROGRAM, root.path());
    EXPECT_TRUE(child.send("app com.apple.Maps badge=4").ok());
    EXPECT_TRUE(child.send("state FLTTILE-com.apple.Maps=true").ok());
    SimAnswer boot = child.send("boot");
    ASSERT_TRUE(boot.ok()) << boot.error;
    ASSERT_FALSE(boot.trace.empty());
    EXPECT_NE(boot.trace[0].find("applicationDidFinishLaunching:"), std::string::npos);

    SimAnswer dump = child.send("dump");
    Json d = Json::parse(dump.dump);
    EXPECT_TRUE(d["host"]["booted"]);
    ASSERT_EQ(d["bubbles"].size(), 1u);
    EXPECT_EQ(d["bubbles"][0]["bundle"], "com.apple.Maps");

    SimAnswer picture = child.send("snapshot -");
    EXPECT_EQ(picture.svg.rfind("<svg", 0), 0u);
    EXPECT_NE(picture.svg.find("com.apple.Maps"), std::string::npos);

    SimAnswer refused = child.send("front com.example.none");
    EXPECT_FALSE(refused.ok());
    EXPECT_NE(refused.error.find("com.example.none"), std::string::npos);
    // And it goes on answering.
    EXPECT_TRUE(child.send("wait 1").ok());

    // Lines sent together are answered each as alone, in order: a refusal
    // in the middle keeps to its own line.
    auto together = child.send(std::vector<std::string>{"touch down 10.00,10.00", "front com.example.none",
                                                        "touch up 10.00,10.00", "snapshot -", "dump host"});
    ASSERT_EQ(together.size(), 5u);
    EXPECT_TRUE(together[0].ok());
    EXPECT_NE(together[1].error.find("com.example.none"), std::string::npos);
    EXPECT_TRUE(together[2].ok());
    EXPECT_EQ(together[3].svg.rfind("<svg", 0), 0u);
    EXPECT_TRUE(together[3].dump.empty());
    EXPECT_TRUE(Json::parse(together[4].dump)["host"]["booted"]);
}

// Tests that the files a home screen wrote are there for the next one on
// the same root: a respring keeps them.
TEST(SimChild, TheNextChildFindsTheFiles) {
    TempDir root;
    {
        SimChild first(FT_SIM_PROGRAM, root.path());
        ASSERT_TRUE(first.send("settings bubbleSize=64.0").ok());
        ASSERT_TRUE(first.send("state FLTTILE-com.apple.Maps=true").ok());
    }
    SimChild second(FT_SIM_PROGRAM, root.path());
    Json d = Json::parse(second.send("dump").dump);
    EXPECT_EQ(d["files"]["settings"]["bubbleSize"], 64.0);
    EXPECT_EQ(d["files"]["state"]["FLTTILE-com.apple.Maps"], true);
}

TEST(SimChild, AChildThatCannotStartOrEndsIsGone) {
    TempDir dir;
    EXPECT_THROW(SimChild(dir / "no-such-program", dir.path()), ChildGone);

    SimChild ends(playground::testing::script(dir / "ends.sh", "exit 0"), dir.path());
    EXPECT_THROW(ends.send("boot"), ChildGone);
    EXPECT_THROW(ends.send("boot"), ChildGone);

    // One that reads and never answers is given up on, and ended.
    SimChild silent(playground::testing::script(dir / "silent.sh", "exec cat > /dev/null"), dir.path(), 200);
    EXPECT_THROW(silent.send("dump"), ChildGone);
    EXPECT_LT(silent.pid(), 0);
}
