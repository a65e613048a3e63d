// The host's answers that a scenario cannot give: badge values of every
// object type, an app with an empty bundle identifier.
#include "HardeningFixture.h"
#include "foundation/NSUserDefaults.h"

namespace {

class HostAnswers : public HardeningFixture {};

// Tests badges of types a badge is not meant to be. The count is the
// leading integer of the value's "%@" text: a Boolean prints as 1 or 0, a
// collection, data, a date or the null object print without a leading
// digit and count 0.
TEST_F(HostAnswers, BadgeValuesOfEveryType) {
    installHost({"com.example.a"});
    writeList(kStatePath, *dict({{"FLTTILE-com.example.a", NSNumber::numberWithBool(true)}}));
    loadPlugin();
    launch();
    ASSERT_EQ(bubbles().size(), 1u);
    auto bubble = bubbles()[0];

    struct Case {
        const char* what;
        id value;
        int32_t count;
    };
    const Case cases[] = {
        {"a number", NSNumber::numberWithInteger(4), 4},
        {"an array holding a count", std::make_shared<NSArray>(std::vector<id>{NSNumber::numberWithInteger(12)}), 0},
        {"a Boolean true", NSNumber::numberWithBool(true), 1},
        {"a dictionary", dict({{"count", NSNumber::numberWithInteger(7)}}), 0},
        {"a real", NSNumber::numberWithDouble(8.9), 8},
        {"data", std::make_shared<NSData>(std::vector<uint8_t>{'5'}), 0},
        {"a huge unsigned number", NSNumber::numberWithUnsignedLongLong(UINT64_MAX), 9999},
        {"a date", std::make_shared<NSDate>(5.0), 0},
        {"NaN", NSNumber::numberWithDouble(std::nan("")), 0},
        {"the null object", NSNull::null(), 0},
        {"a count again", NSNumber::numberWithInteger(3), 3},
        {"a Boolean false", NSNumber::numberWithBool(false), 0},
    };
    auto app = SpringBoardHost::current().applicationWithBundleIdentifier("com.example.a");
    for (const Case& c : cases) {
        setBadge("com.example.a", c.value);
        EXPECT_EQ(app->badgeValue(), c.value) << "the host keeps " << c.what;
        EXPECT_EQ(bubble->getCurrentBadgeValue(), c.count) << c.what;
        auto label = bubble->getBadgeLabel();
        ASSERT_NE(label, nullptr);
        if (c.count >= 1) {
            EXPECT_EQ(label->superview(), bubble->getBadgeView().get()) << c.what;
            EXPECT_EQ(label->alpha(), 1.0) << c.what;
        } else {
            EXPECT_EQ(label->superview(), nullptr) << c.what;
        }
    }
}

// Tests an app whose bundle identifier is empty: the key "FLTTILE-" chooses
// it, its bubble launches it, "HIDAPPS-" hides it, and its saved position
// is "POSAPPS-".
TEST_F(HostAnswers, EmptyBundleIdentifier) {
    installHost({"", "com.example.b"});
    writeList(kStatePath, *dict({{"FLTTILE-", NSNumber::numberWithBool(true)},
                                 {"FLTTILE-com.example.b", NSNumber::numberWithBool(true)}}));
    loadPlugin();
    launch();
    ASSERT_EQ(bubbles().size(), 2u);
    EXPECT_EQ(bubbles()[0]->getButtonBundleID()->UTF8String(), "");
    setBadge("", NSNumber::numberWithInteger(6));
    EXPECT_EQ(bubbles()[0]->getCurrentBadgeValue(), 6);

    auto& host = SpringBoardHost::current();
    msg(std::static_pointer_cast<NSObject>(host.application()), "frontDisplayDidChange:",
        id(host.applicationWithBundleIdentifier("")));
    ASSERT_NE(visibilityState().currentBundle, nullptr);
    EXPECT_EQ(visibilityState().currentBundle->UTF8String(), "");
    ASSERT_TRUE(longPressAndPick(1, "Add Current App To Blacklist"));
    auto state = std::dynamic_pointer_cast<NSDictionary>(PropertyList::readFile(hostPath(kStatePath)));
    ASSERT_NE(state, nullptr);
    EXPECT_EQ(readBool(state->objectForKey("HIDAPPS-").get()), true);
    EXPECT_TRUE(visibilityState().isCurrentlyHidden);

    resetPluginState();
    Process::terminate();
    installHost({"", "com.example.b"});
    loadPlugin();
    launch();
    ASSERT_EQ(bubbles().size(), 2u);
    msg(std::static_pointer_cast<NSObject>(SpringBoardHost::current().application()), "frontDisplayDidChange:",
        id(SpringBoardHost::current().applicationWithBundleIdentifier("")));
    EXPECT_TRUE(visibilityState().isCurrentlyHidden) << "the empty identifier's hide flag is kept";
}

} // namespace
