#include "overlay/FTCustomViewController.h"

#include "PluginFixture.h"
#include "overlay/bothVC.h"
#include "settings/StateStore.h"
#include "uikit/UIScreen.h"

namespace {

class ControllerTest : public PluginFixture {
protected:
    // Chooses the apps in the state file, loads the store and builds the
    // overlay as the launch does.
    std::shared_ptr<FTCustomViewController> build(const std::vector<std::string>& apps) {
        installHost(apps);
        auto prefs = NSUserDefaults::initWithSuiteName(kStatePath);
        for (const auto& a : apps) prefs->setObjectForKey(NSNumber::numberWithBool(true), "FLTTILE-" + a);
        stateStore().load();
        auto instance = bothVC::sharedInstance();
        overlayState().objSharedInstance = instance;
        return instance->mainView;
    }
};

// Tests that saving positions writes one key per bubble, each an array of
// two single-precision numbers, and leaves the in-memory store as loaded.
TEST_F(ControllerTest, SavePositionsWritesEveryBubble) {
    auto controller = build({"com.a", "com.b", "com.c"});
    ASSERT_EQ(controller->getbuttons().size(), 3u);
    controller->getbuttons()[0]->setCenter(CGPointMake(100.1, 200.2));
    controller->getbuttons()[1]->setCenter(CGPointMake(-5, 700));
    controller->savePosInPlist();

    EXPECT_EQ(stateStore().objectForKey("POSAPPS-com.a"), nullptr) << "memory keeps what was loaded";
    auto saved = std::dynamic_pointer_cast<NSArray>(NSUserDefaults::initWithSuiteName(kStatePath)->objectForKey("POSAPPS-com.a"));
    ASSERT_TRUE(saved);
    ASSERT_EQ(saved->count(), 2u);
    auto x = std::dynamic_pointer_cast<NSNumber>(saved->objectAtIndex(0));
    ASSERT_TRUE(x);
    EXPECT_EQ(x->doubleValue(), static_cast<double>(100.1f));

    auto out = python("import plistlib,struct;d=plistlib.load(open(\"" + hostPath(kStatePath) +
                      "\",\"rb\"));ks=sorted(k for k in d if k.startswith(\"POSAPPS-\"));"
                      "print(len(ks), all(len(d[k])==2 and all(struct.unpack(\"f\",struct.pack(\"f\",v))[0]==v for v in d[k]) for k in ks), d[\"POSAPPS-com.b\"])");
    if (!out) GTEST_SKIP() << "python3 not available";
    EXPECT_EQ(*out, "3 True [-5.0, 700.0]\n");
}

// Tests the stacking of new bubbles on a 667-point screen: 90, 140, ... 590,
// then 640 for every later one.
TEST_F(ControllerTest, StackingStopsNearTheBottom) {
    std::vector<std::string> apps;
    for (int i = 0; i < 14; ++i) apps.push_back("com.app" + std::to_string(100 + i));
    auto controller = build(apps);
    ASSERT_EQ(controller->getbuttons().size(), 14u);
    for (size_t i = 0; i < 14; ++i) {
        double expected = i < 11 ? 90.0 + 50.0 * static_cast<double>(i) : 640.0;
        EXPECT_DOUBLE_EQ(controller->getbuttons()[i]->frame().origin.y, expected) << i;
        EXPECT_DOUBLE_EQ(controller->getbuttons()[i]->frame().origin.x, 600.0);
    }
    EXPECT_EQ(overlayState().nextBubbleY, 640);
}

// Tests that the rotation angle table maps codes outside 1 to 4 to none.
TEST(OrientationArithmetic, AngleTable) {
    EXPECT_DOUBLE_EQ(bothVC::rotationAngleForOrientation(2), 3.141592653589793);
    EXPECT_DOUBLE_EQ(bothVC::rotationAngleForOrientation(3), 1.5707963267948966);
    EXPECT_DOUBLE_EQ(bothVC::rotationAngleForOrientation(4), -1.5707963267948966);
    for (int64_t other : {0, 1, 5, -1, 1000}) EXPECT_EQ(bothVC::rotationAngleForOrientation(other), 0.0) << other;
}

} // namespace
