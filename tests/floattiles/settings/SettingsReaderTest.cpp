#include <gtest/gtest.h>

#include <vector>

#include "PluginFixture.h"
#include "settings/Settings.h"

namespace {

class SettingsReaderTest : public PluginFixture {
protected:
    void writeSettings(const std::vector<std::pair<std::string, id>>& entries) {
        auto prefs = NSUserDefaults::initWithSuiteName(kSettingsPath);
        for (const auto& [k, v] : entries) ASSERT_TRUE(prefs->setObjectForKey(v, k));
        NSUserDefaults::waitForPendingWrites();
    }
};

// Tests that a reading hands the overlay each key's push right after that
// key, in the table's order, then the pushes every reading ends with; a
// push sees the keys read before it and none read after.
TEST_F(SettingsReaderTest, PushesFollowTheirKeysInTheTablesOrder) {
    writeSettings({{"bubbleSize", NSNumber::numberWithInteger(80)},
                   {"isDim", NSNumber::numberWithBool(false)},
                   {"isCircle", NSNumber::numberWithBool(false)}});
    FTSettings s;
    std::vector<OverlayPush> pushes;
    std::vector<float> sizeSeen;
    readSettingsFile(s, [&](OverlayPush p) {
        pushes.push_back(p);
        sizeSeen.push_back(s.bubbleSize);
    });
    EXPECT_EQ(pushes, (std::vector<OverlayPush>{OverlayPush::Circle, OverlayPush::Dim, OverlayPush::BubbleSize,
                                                OverlayPush::FrameColour, OverlayPush::BadgeColour}));
    ASSERT_EQ(sizeSeen.size(), 5u);
    EXPECT_EQ(sizeSeen[0], 50.0f) << "the size comes after the shape in the table";
    EXPECT_EQ(sizeSeen[2], 80.0f);
    EXPECT_FALSE(s.isCircle);
    EXPECT_FALSE(s.isDim);
}

// Tests that a key absent from the file pushes nothing of its own, and that
// a reading without a receiver (no overlay yet) still reads every key.
TEST_F(SettingsReaderTest, AbsentKeysAndNoReceiverPushNothing) {
    writeSettings({{"isLocked", NSNumber::numberWithBool(true)}});
    FTSettings s;
    std::vector<OverlayPush> pushes;
    readSettingsFile(s, [&](OverlayPush p) { pushes.push_back(p); });
    EXPECT_EQ(pushes, (std::vector<OverlayPush>(std::begin(kPushesAfterReading), std::end(kPushesAfterReading))));

    FTSettings quiet;
    readSettingsFile(quiet, nullptr);
    EXPECT_TRUE(quiet.isLocked);
}

} // namespace
