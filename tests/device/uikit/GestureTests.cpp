#include "UIKitTestSupport.h"
#include "uikit/UIButton.h"
#include "uikit/UIGestureRecognizer.h"
#include "uikit/UIViewController.h"

using namespace uikit_test;

namespace {

// A 50x50 button at (100, 100) with a long-press recogniser; the states
// the recogniser's action saw, and the button's events, are recorded.
class LongPressTest : public UIKitTest {
protected:
    void SetUp() override {
        UIKitTest::SetUp();
        window = showWindow();
        button = UIButton::buttonWithType(UIButtonTypeCustom);
        button->setFrame(CGRectMake(100, 100, 50, 50));
        window->rootViewController()->view()->addSubview(button);
        events = Recorder::make({"down:", "upInside:", "upOutside:", "cancel:"});
        button->addTarget(events, "down:", UIControlEventTouchDown);
        button->addTarget(events, "upInside:", UIControlEventTouchUpInside);
        button->addTarget(events, "upOutside:", UIControlEventTouchUpOutside);
        button->addTarget(events, "cancel:", UIControlEventTouchCancel);
        presses = Recorder::make({"pressed:"});
        presses->onCall = [this](const Recorder::Call& c) {
            auto g = c.args.empty() ? nullptr : c.args[0].as<UIGestureRecognizer>();
            states.push_back(g ? g->state() : -1);
            if (g) seenViews.push_back(g->view());
        };
        press = UILongPressGestureRecognizer::initWithTarget(presses, "pressed:");
        button->addGestureRecognizer(press);
    }
    std::shared_ptr<UIWindow> window;
    std::shared_ptr<UIButton> button;
    std::shared_ptr<Recorder> events;
    std::shared_ptr<Recorder> presses;
    std::shared_ptr<UILongPressGestureRecognizer> press;
    std::vector<long> states;
    std::vector<UIView*> seenViews;
};

} // namespace

TEST_F(LongPressTest, DefaultsAndView) {
    EXPECT_EQ(press->minimumPressDuration(), 0.5);
    EXPECT_EQ(press->allowableMovement(), 10.0);
    EXPECT_EQ(press->view(), button.get());
    EXPECT_EQ(press->viewRef(), button);
    EXPECT_EQ(press->state(), UIGestureRecognizerStatePossible);
    button->removeGestureRecognizer(press.get());
    EXPECT_EQ(press->view(), nullptr);
    EXPECT_TRUE(button->gestureRecognizers().empty());
}

// Tests that a long press that begins cancels the tap: the button sees a
// cancel and no touch-up-inside, and the recogniser reports began,
// changed and ended.
TEST_F(LongPressTest, LongPressThatBeginsCancelsTheTap) {
    server().touchDown({110, 110});
    advance(0.49);
    EXPECT_TRUE(states.empty());
    advance(0.01);
    EXPECT_EQ(states, (std::vector<long>{UIGestureRecognizerStateBegan}));
    EXPECT_EQ(events->selectors(), (std::vector<SEL>{"down:", "cancel:"}));
    ASSERT_EQ(seenViews.size(), 1u);
    EXPECT_EQ(seenViews[0], button.get());
    // Once it has begun, any movement is a change, however far.
    server().touchMove({112, 110});
    server().touchMove({300, 500});
    server().touchUp({110, 110});
    EXPECT_EQ(states, (std::vector<long>{1, 2, 2, 3}));
    EXPECT_EQ(events->selectors(), (std::vector<SEL>{"down:", "cancel:"}));
    EXPECT_EQ(press->state(), UIGestureRecognizerStatePossible);
}

TEST_F(LongPressTest, ShortPressDoesNotBegin) {
    server().touchDown({110, 110});
    advance(0.4);
    server().touchUp({110, 110});
    advance(1.0);
    EXPECT_TRUE(states.empty());
    EXPECT_EQ(events->selectors(), (std::vector<SEL>{"down:", "upInside:"}));
    // The next press is judged afresh.
    server().touchDown({110, 110});
    advance(0.5);
    EXPECT_EQ(states, (std::vector<long>{UIGestureRecognizerStateBegan}));
}

TEST_F(LongPressTest, MovingMoreThanTenPointsFirstFails) {
    server().touchDown({110, 110});
    server().touchMove({116, 118});  // exactly 10 away: still possible
    advance(0.2);
    server().touchMove({110, 120.01});
    EXPECT_EQ(press->state(), UIGestureRecognizerStateFailed);
    advance(1.0);
    EXPECT_TRUE(states.empty());
    server().touchUp({110, 110});
    EXPECT_EQ(events->selectors(), (std::vector<SEL>{"down:", "upInside:"}));
}

TEST_F(LongPressTest, MovingWithinTenPointsStillBeginsOnTime) {
    server().touchDown({110, 110});
    advance(0.3);
    server().touchMove({118, 116});
    advance(0.2);
    EXPECT_EQ(states, (std::vector<long>{UIGestureRecognizerStateBegan}));
}

TEST_F(LongPressTest, CancelAfterBeginningReportsCancelled) {
    server().touchDown({110, 110});
    advance(0.5);
    server().touchCancel();
    EXPECT_EQ(states, (std::vector<long>{1, 4}));
    // The button's touch was cancelled once, when the press began.
    EXPECT_EQ(events->selectors(), (std::vector<SEL>{"down:", "cancel:"}));
}

TEST_F(LongPressTest, RecogniserOnAnAncestorSeesTheTouch) {
    button->removeGestureRecognizer(press.get());
    auto root = window->rootViewController()->view();
    root->addGestureRecognizer(press);
    server().touchDown({110, 110});
    advance(0.5);
    EXPECT_EQ(states, (std::vector<long>{UIGestureRecognizerStateBegan}));
    ASSERT_EQ(seenViews.size(), 1u);
    EXPECT_EQ(seenViews[0], root.get());
    EXPECT_EQ(events->selectors(), (std::vector<SEL>{"down:", "cancel:"}));
}

TEST_F(LongPressTest, DisabledRecogniserSeesNothing) {
    press->setEnabled(false);
    server().touchDown({110, 110});
    advance(1.0);
    server().touchUp({110, 110});
    EXPECT_TRUE(states.empty());
    EXPECT_EQ(events->selectors(), (std::vector<SEL>{"down:", "upInside:"}));
}

TEST_F(LongPressTest, RecogniserDoesNotKeepItsTargetOrTheTouch) {
    std::weak_ptr<Recorder> watch = presses;
    presses.reset();
    EXPECT_TRUE(watch.expired());
    server().touchDown({110, 110});
    advance(0.5);  // begins with no one to tell; the tap is still taken
    server().touchUp({110, 110});
    EXPECT_EQ(events->selectors(), (std::vector<SEL>{"down:", "cancel:"}));
    // After the touch, nothing holds the button but its window (and the
    // recorder, which keeps the senders it was given).
    events->calls.clear();
    std::weak_ptr<UIButton> b = button;
    button->removeFromSuperview();
    button.reset();
    EXPECT_TRUE(b.expired());
}
