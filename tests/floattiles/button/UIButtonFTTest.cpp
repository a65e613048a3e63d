#include "button/UIButtonFT.h"

#include "PluginFixture.h"

namespace {

class BadgeTest : public PluginFixture {
protected:
    void SetUp() override {
        PluginFixture::SetUp();
        installHost({"com.example.mail"});
        button_ = UIButton::buttonWithType<UIButtonFT>(0);
        button_->setFrame(CGRectMake(0, 0, 50, 50));
        button_->setButtonBundleID(std::make_shared<NSString>("com.example.mail"));
    }

    // Sets the app's badge and refreshes as the controller does: the badge
    // view goes back into the bubble after every refresh.
    void refreshWith(id value) {
        setBadge("com.example.mail", std::move(value));
        button_->setAndUpdateBadgeView();
        if (auto badge = button_->getBadgeView()) button_->addSubview(badge);
    }

    CGRect badgeFrame() const { return button_->getBadgeView()->frame(); }

    std::shared_ptr<UIButtonFT> button_;
};

// Tests that the badge's frame follows the count rows, including the
// four-digit row that already starts at 999.
TEST_F(BadgeTest, FrameFollowsCountRows) {
    refreshWith(str("9"));
    EXPECT_EQ(badgeFrame(), CGRectMake(21, 37, 9, 11));
    EXPECT_DOUBLE_EQ(button_->getBadgeView()->layer()->cornerRadius(), 1.5);
    EXPECT_EQ(button_->getBadgeLabel()->text(), "9");

    refreshWith(str("10"));
    EXPECT_EQ(badgeFrame(), CGRectMake(17, 37, 16, 11)) << "two digits: 16 wide, 4 points further left";
    EXPECT_EQ(button_->getBadgeLabel()->text(), "10");

    refreshWith(str("998"));
    EXPECT_DOUBLE_EQ(badgeFrame().size.width, 22);
    refreshWith(str("999"));
    EXPECT_EQ(badgeFrame(), CGRectMake(11, 37, 28, 11));
    EXPECT_EQ(button_->getCurrentBadgeValue(), 999);
}

// Tests that an unchanged count changes nothing on screen, not even a fade.
TEST_F(BadgeTest, UnchangedCountDoesNothing) {
    refreshWith(nullptr);
    EXPECT_EQ(button_->getCurrentBadgeValue(), 0);
    EXPECT_EQ(button_->getBadgeLabel()->superview(), nullptr);
    EXPECT_TRUE(button_->getBadgeLabel()->layer()->animations().empty());

    refreshWith(str("4"));
    size_t fades = button_->getBadgeLabel()->layer()->animations().size();
    refreshWith(NSNumber::numberWithInt(4));
    EXPECT_EQ(button_->getBadgeLabel()->layer()->animations().size(), fades);
}

// Tests that counts of 10000 or more show and store 9999 in the four-digit
// row's frame, whatever came before, and replay the fade on the next
// refresh with the same count.
TEST_F(BadgeTest, HugeCountsCapAt9999) {
    refreshWith(str("10"));
    refreshWith(str("12000"));
    EXPECT_EQ(button_->getBadgeLabel()->text(), "9999");
    EXPECT_EQ(badgeFrame(), CGRectMake(11, 37, 28, 11)) << "laid out as the four digits it shows";
    EXPECT_EQ(button_->getCurrentBadgeValue(), 9999);

    auto& anims = button_->getBadgeLabel()->layer()->animations();
    ASSERT_FALSE(anims.empty());
    double firstBegin = anims.back().beginTime;
    NSRunLoop::mainRunLoop().advance(2.0);
    refreshWith(str("12000"));
    ASSERT_FALSE(button_->getBadgeLabel()->layer()->animations().empty());
    EXPECT_GT(button_->getBadgeLabel()->layer()->animations().back().beginTime, firstBegin)
        << "12000 differs from the stored 9999, so the fade plays again";
    auto fade = std::dynamic_pointer_cast<CATransition>(button_->getBadgeLabel()->layer()->animations().back().animation);
    ASSERT_TRUE(fade);
    EXPECT_EQ(fade->type(), kCATransitionFade);
    EXPECT_DOUBLE_EQ(fade->duration(), 1.0);
    EXPECT_EQ(button_->getBadgeLabel()->layer()->animations().back().key, "kCATransitionFade");
}

// Tests hiding at 0 and showing again: both views leave and come back.
TEST_F(BadgeTest, HideAndShowAgain) {
    refreshWith(str("5"));
    ASSERT_EQ(button_->getBadgeLabel()->superview(), button_->getBadgeView().get());
    refreshWith(str("0"));
    EXPECT_DOUBLE_EQ(button_->getBadgeView()->alpha(), 0);
    EXPECT_DOUBLE_EQ(button_->getBadgeLabel()->alpha(), 0);
    EXPECT_EQ(button_->getBadgeLabel()->superview(), nullptr);
    // The controller puts the badge view back, still transparent.
    EXPECT_EQ(button_->getBadgeView()->superview(), button_.get());

    refreshWith(str("3"));
    EXPECT_DOUBLE_EQ(button_->getBadgeView()->alpha(), 1);
    EXPECT_DOUBLE_EQ(button_->getBadgeLabel()->alpha(), 1);
    EXPECT_EQ(button_->getBadgeLabel()->superview(), button_->getBadgeView().get());
    EXPECT_EQ(button_->getBadgeLabel()->text(), "3");
}

// Tests the readings of badge texts: leading digits count, anything else is 0.
TEST_F(BadgeTest, BadgeTextReadings) {
    refreshWith(str("42 new"));
    EXPECT_EQ(button_->getCurrentBadgeValue(), 42);
    EXPECT_DOUBLE_EQ(badgeFrame().size.width, 16);
    refreshWith(str("new mail"));
    EXPECT_EQ(button_->getCurrentBadgeValue(), 0);
    EXPECT_DOUBLE_EQ(button_->getBadgeView()->alpha(), 0);
    refreshWith(str("-7"));
    EXPECT_EQ(button_->getCurrentBadgeValue(), -7);
    refreshWith(str("99999999999999999999"));
    EXPECT_EQ(button_->getCurrentBadgeValue(), 9999);
    refreshWith(str("-99999999999999"));
    EXPECT_EQ(button_->getCurrentBadgeValue(), INT32_MIN) << "kept at the end of the range, not wrapped";
}

// Tests the re-layout after a size change: 17 wide where a refresh gives 16,
// and the size-60 offset.
TEST_F(BadgeTest, RelayoutForSize) {
    refreshWith(str("12"));
    settingsVariables().bubbleSize = 60;
    button_->setBadgePos();
    EXPECT_EQ(badgeFrame(), CGRectMake(22, 47, 17, 11));

    refreshWith(str("1"));
    EXPECT_EQ(badgeFrame(), CGRectMake(26, 47, 9, 11));
    EXPECT_DOUBLE_EQ(button_->getBadgeView()->layer()->cornerRadius(), 1.5);
}

// Tests that switching badges off freezes what is shown.
TEST_F(BadgeTest, DisabledBadgesStayAsShown) {
    refreshWith(str("7"));
    settingsVariables().isBadgeEnabled = false;
    refreshWith(str("70"));
    EXPECT_EQ(button_->getBadgeLabel()->text(), "7");
    EXPECT_EQ(button_->getCurrentBadgeValue(), 7);
}

// Tests the badge colours: fallbacks, then colours parsed afresh.
TEST_F(BadgeTest, Colours) {
    auto bg = button_->getBadgeView()->layer()->backgroundColor();
    ASSERT_TRUE(bg);
    EXPECT_EQ(bg->hex(), "#ff0000");
    EXPECT_EQ(button_->getBadgeLabel()->textColor()->CGColor()->hex(), "#fffefe");

    settingsVariables().globalBadgeColor = std::make_shared<NSString>("#00ff00");
    settingsVariables().globalBadgeTextColor = std::make_shared<NSString>("not a colour");
    button_->setBadgeGlobalColor();
    EXPECT_EQ(button_->getBadgeView()->layer()->backgroundColor()->hex(), "#00ff00");
    EXPECT_EQ(button_->getBadgeLabel()->layer()->backgroundColor()->hex(), "#00ff00");
    EXPECT_EQ(button_->getBadgeLabel()->textColor()->CGColor()->hex(), "#fffefe");
}

// Tests the badge offset arithmetic for odd sizes: the whole-point part of
// the size counts, and the single-precision rows.
TEST(BadgeArithmetic, OffsetUsesWholePoints) {
    auto at507 = UIButtonFT::badgeFrameForCount(5, 50.7f, false);
    ASSERT_TRUE(at507);
    EXPECT_DOUBLE_EQ(at507->origin.x, static_cast<double>(50.7f - 29.0f));
    EXPECT_DOUBLE_EQ(at507->origin.y, static_cast<double>(50.7f - 13.0f));
    auto at40 = UIButtonFT::badgeFrameForCount(50, 40.0f, true);
    ASSERT_TRUE(at40);
    EXPECT_DOUBLE_EQ(at40->origin.x, 5 + 7);
    EXPECT_FALSE(UIButtonFT::badgeFrameForCount(10000, 50, false));
    EXPECT_FALSE(UIButtonFT::badgeFrameForCount(0, 50, false));
}

} // namespace
