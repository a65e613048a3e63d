#include "UIKitTestSupport.h"
#include "uikit/UIButton.h"
#include "uikit/UIViewController.h"

using namespace uikit_test;

namespace {

// A 50x50 button at (100, 100) in a full-screen window, and a recorder
// wired to the events the tests look at.
class ControlTest : public UIKitTest {
protected:
    void SetUp() override {
        UIKitTest::SetUp();
        window = showWindow();
        button = UIButton::buttonWithType(UIButtonTypeCustom);
        button->setFrame(CGRectMake(100, 100, 50, 50));
        window->rootViewController()->view()->addSubview(button);
        target = Recorder::make({"down:", "dragInside:", "dragOutside:", "enter:", "exit:", "upInside:",
                                 "upOutside:", "cancel:", "first:withEvent:", "second:withEvent:"});
        button->addTarget(target, "down:", UIControlEventTouchDown);
        button->addTarget(target, "dragInside:", UIControlEventTouchDragInside);
        button->addTarget(target, "dragOutside:", UIControlEventTouchDragOutside);
        button->addTarget(target, "enter:", UIControlEventTouchDragEnter);
        button->addTarget(target, "exit:", UIControlEventTouchDragExit);
        button->addTarget(target, "upInside:", UIControlEventTouchUpInside);
        button->addTarget(target, "upOutside:", UIControlEventTouchUpOutside);
        button->addTarget(target, "cancel:", UIControlEventTouchCancel);
    }
    std::shared_ptr<UIWindow> window;
    std::shared_ptr<UIButton> button;
    std::shared_ptr<Recorder> target;
};

} // namespace

TEST_F(ControlTest, TapSendsDownThenUpInsideWithSenderAndEvent) {
    EXPECT_TRUE(server().touchDown({110, 110}));
    EXPECT_TRUE(button->isTracking());
    EXPECT_TRUE(button->isHighlighted());
    server().touchUp({110, 110});
    EXPECT_EQ(target->selectors(), (std::vector<SEL>{"down:", "upInside:"}));
    const auto& args = target->calls[1].args;
    ASSERT_EQ(args.size(), 2u);
    EXPECT_EQ(args[0].object(), button);
    auto event = args[1].as<UIEvent>();
    ASSERT_TRUE(event);
    ASSERT_EQ(event->touchesForView(button.get()).size(), 1u);
    EXPECT_FALSE(button->isTracking());
    EXPECT_FALSE(button->isHighlighted());
}

// Tests the drag rules exactly at the edge of the bounds grown by 70
// points: the near edge is inside, the far edge outside.
TEST_F(ControlTest, DragInsideAndUpInsideAtTheSeventyPointEdge) {
    // Bounds (0,0,50,50) grown: x and y from -70 (inside) to 120 (outside).
    // In the window: 30 is inside, 220 is outside, 219.9 is inside.
    server().touchDown({125, 125});
    server().touchMove({30, 125});
    server().touchMove({219.9, 219.9});
    server().touchUp({30, 30});
    EXPECT_EQ(target->selectors(), (std::vector<SEL>{"down:", "dragInside:", "dragInside:", "upInside:"}));

    target->calls.clear();
    server().touchDown({125, 125});
    server().touchMove({220, 125});
    server().touchMove({29.99, 125});
    server().touchMove({125, 220});
    server().touchUp({125, 220});
    EXPECT_EQ(target->selectors(), (std::vector<SEL>{"down:", "exit:", "dragOutside:", "dragOutside:",
                                                     "dragOutside:", "upOutside:"}));
}

TEST_F(ControlTest, EnterAndExitOnlyOnCrossing) {
    server().touchDown({125, 125});
    server().touchMove({130, 130});
    server().touchMove({400, 400});
    EXPECT_FALSE(button->isTouchInside());
    EXPECT_FALSE(button->isHighlighted());
    server().touchMove({401, 400});
    server().touchMove({140, 140});
    EXPECT_TRUE(button->isTouchInside());
    server().touchMove({140, 141});
    server().touchUp({140, 141});
    EXPECT_EQ(target->selectors(),
              (std::vector<SEL>{"down:", "dragInside:", "exit:", "dragOutside:", "dragOutside:", "enter:",
                                "dragInside:", "dragInside:", "upInside:"}));
}

TEST_F(ControlTest, DragInsideOnEveryMoveEvenWithoutMotion) {
    server().touchDown({125, 125});
    server().touchMove({125, 125});
    server().touchMove({125, 125});
    server().touchCancel();
    EXPECT_EQ(target->selectors(), (std::vector<SEL>{"down:", "dragInside:", "dragInside:", "cancel:"}));
    EXPECT_FALSE(button->isTracking());
}

// Tests that the control keeps the touch that began on it, wherever the
// finger goes, even over another view.
TEST_F(ControlTest, TouchStaysWithTheControlItBeganOn) {
    auto other = UIButton::buttonWithType(UIButtonTypeCustom);
    other->setFrame(CGRectMake(300, 300, 50, 50));
    window->rootViewController()->view()->addSubview(other);
    auto otherTarget = Recorder::make({"other:"});
    other->addTarget(otherTarget, "other:", UIControlEventAllTouchEvents);
    server().touchDown({125, 125});
    server().touchMove({310, 310});
    server().touchUp({310, 310});
    EXPECT_TRUE(otherTarget->calls.empty());
    EXPECT_EQ(target->selectors().back(), "upOutside:");
}

TEST_F(ControlTest, SeveralActionsForOneEventRunInOrderOfAddition) {
    auto other = Recorder::make({"first:withEvent:", "second:withEvent:"});
    button->addTarget(other, "second:withEvent:", UIControlEventTouchUpInside);
    button->addTarget(target, "first:withEvent:", UIControlEventTouchUpInside);
    // Adding a pair again does not send it twice.
    button->addTarget(other, "second:withEvent:", UIControlEventTouchUpInside);
    std::vector<std::string> order;
    target->onCall = [&](const Recorder::Call& c) { order.push_back("target " + c.selector); };
    other->onCall = [&](const Recorder::Call& c) { order.push_back("other " + c.selector); };
    tap({110, 110});
    EXPECT_EQ(order, (std::vector<std::string>{"target down:", "target upInside:", "other second:withEvent:",
                                               "target first:withEvent:"}));
}

TEST_F(ControlTest, TargetsAreNotKeptAliveAndCanBeRemoved) {
    std::weak_ptr<Recorder> watch = target;
    target.reset();
    EXPECT_TRUE(watch.expired());
    tap({110, 110});  // nothing left to send to, and nothing breaks

    auto again = Recorder::make({"upInside:", "down:"});
    button->addTarget(again, "upInside:", UIControlEventTouchUpInside | UIControlEventTouchDown);
    button->removeTarget(again, "upInside:", UIControlEventTouchDown);
    tap({110, 110});
    EXPECT_EQ(again->selectors(), (std::vector<SEL>{"upInside:"}));
    button->removeTarget(nullptr, "", UIControlEventAllTouchEvents);
    EXPECT_TRUE(button->targetActions().empty());
}

namespace {
class HandlerController : public UIViewController {
public:
    std::string className() const override { return "UIKitTestHandlerController"; }
    int handled = 0;
    id sender;
};
Value handleTap(const id& self, const SEL&, const Args& args) {
    if (auto h = std::dynamic_pointer_cast<HandlerController>(self)) {
        ++h->handled;
        h->sender = args.empty() ? nullptr : args[0].object();
    }
    return {};
}
} // namespace

// Tests that a nil target sends the action up the responder chain (button,
// view, the view's controller) to the first responder that answers it.
TEST_F(ControlTest, NilTargetGoesUpTheResponderChain) {
    objc_lookUpOrDefineClass("UIKitTestHandlerController", "UIViewController", {{"handle:", handleTap}});
    auto controller = std::make_shared<HandlerController>();
    auto holder = showWindow(10);
    holder->setRootViewController(controller);
    auto inner = UIView::initWithFrame(CGRectMake(0, 0, 100, 100));
    controller->view()->addSubview(inner);
    auto b = UIButton::buttonWithType(UIButtonTypeSystem);
    b->setFrame(CGRectMake(10, 10, 40, 40));
    inner->addSubview(b);
    b->addTarget(nullptr, "handle:", UIControlEventTouchUpInside);
    EXPECT_EQ(controller->view()->nextResponder(), controller.get());
    tap({20, 20});
    EXPECT_EQ(controller->handled, 1);
    EXPECT_EQ(controller->sender, b);
}

TEST_F(ControlTest, ButtonImagesByState) {
    auto normal = std::make_shared<UIImage>("com.example.a", CGSizeMake(60, 60), 2);
    auto pressed = std::make_shared<UIImage>("com.example.b", CGSizeMake(60, 60), 2);
    EXPECT_EQ(button->buttonType(), UIButtonTypeCustom);
    EXPECT_EQ(button->currentImage(), nullptr);
    button->setImage(normal, UIControlStateNormal);
    EXPECT_EQ(button->imageForState(UIControlStateHighlighted), normal);
    button->setImage(pressed, UIControlStateHighlighted);
    EXPECT_EQ(button->currentImage(), normal);
    server().touchDown({110, 110});
    EXPECT_EQ(button->currentImage(), pressed);
    server().touchUp({110, 110});
    EXPECT_EQ(button->currentImage(), normal);
}
