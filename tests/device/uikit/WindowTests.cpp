#include <numbers>

#include "UIKitTestSupport.h"
#include "uikit/UIAlertController.h"
#include "uikit/UIApplication.h"
#include "uikit/UIButton.h"
#include "uikit/UIGestureRecognizer.h"
#include "uikit/UIViewController.h"

using namespace uikit_test;

namespace {

class WindowTest : public UIKitTest {};

// The overlay's kind of window: it claims a touch only where a view other
// than its root view lies under the finger.
class PassThroughWindow : public UIWindow {
public:
    using UIWindow::UIWindow;
    bool pointInside(const CGPoint& point, UIEvent* event) override {
        auto root = rootViewController() ? rootViewController()->view() : nullptr;
        if (!root) return false;
        auto hit = root->hitTest(point, event);
        return hit && hit != root;
    }
};

// Counts its loads, and builds a view of its own.
class LazyController : public UIViewController {
public:
    int loads = 0;
    int didLoads = 0;
    void loadView() override {
        ++loads;
        setView(UIView::init());
    }
    void viewDidLoad() override { ++didLoads; }
};

// A view that records the touches it gets, in its own coordinates.
class TouchLog : public UIView {
public:
    using UIView::UIView;
    std::vector<std::string> phases;
    std::vector<CGPoint> locations;
    std::vector<CGPoint> previous;
    size_t touchesForSelf = 0;
    void note(const char* phase, const std::vector<UITouch*>& touches, UIEvent* event) {
        phases.push_back(phase);
        UITouch* t = UIEvent::anyObject(touches);
        locations.push_back(t->locationInView(this));
        previous.push_back(t->previousLocationInView(this));
        touchesForSelf = event->touchesForView(this).size();
    }
    void touchesBegan(const std::vector<UITouch*>& t, UIEvent* e) override { note("began", t, e); }
    void touchesMoved(const std::vector<UITouch*>& t, UIEvent* e) override { note("moved", t, e); }
    void touchesEnded(const std::vector<UITouch*>& t, UIEvent* e) override { note("ended", t, e); }
    void touchesCancelled(const std::vector<UITouch*>& t, UIEvent* e) override { note("cancelled", t, e); }
};

std::vector<UIWindow*> raw(const std::vector<std::shared_ptr<UIWindow>>& ws) {
    std::vector<UIWindow*> out;
    for (const auto& w : ws) out.push_back(w.get());
    return out;
}

} // namespace

TEST_F(WindowTest, WindowIsMadeHiddenAndShownOnRequest) {
    auto w = UIWindow::initWithFrame(CGRectMake(0, 0, 375, 667));
    EXPECT_TRUE(w->isHidden());
    EXPECT_TRUE(server().windows().empty());
    w->setHidden(false);
    EXPECT_EQ(raw(server().windows()), (std::vector<UIWindow*>{w.get()}));
    w->setHidden(true);
    EXPECT_TRUE(server().windows().empty());
    // Nothing of the platform keeps a shown window: when its owner lets
    // go, it is deallocated and leaves the screen, with what it presents.
    w->setHidden(false);
    auto alert = UIAlertController::alertControllerWithTitle("T", "M", UIAlertControllerStyleAlert);
    w->setRootViewController(UIViewController::init());
    w->rootViewController()->presentViewController(alert, false, nullptr);
    EXPECT_EQ(server().windows().size(), 2u);
    EXPECT_EQ(server().visibleAlert(), alert);
    std::weak_ptr<UIWindow> watch = w;
    w.reset();
    EXPECT_TRUE(watch.expired());
    EXPECT_TRUE(server().windows().empty());
    EXPECT_EQ(server().visibleAlert(), nullptr);
}

// Tests that while the lock screen shows only secure windows are drawn and
// take touches; the others stay visible behind it and come back after.
TEST_F(WindowTest, OnlySecureWindowsOverTheLockScreen) {
    auto plain = showWindow(UIWindowLevelNormal);
    auto secure = showWindow(UIWindowLevelNormal);
    secure->setFrame(CGRectMake(0, 0, 100, 100));
    secure->_setSecure(true);
    plain->setFrame(CGRectMake(0, 0, 375, 667));
    server().setLockScreenShowing(true);
    EXPECT_EQ(raw(server().shownWindows()), (std::vector<UIWindow*>{secure.get()}));
    EXPECT_EQ(server().windows().size(), 2u);
    EXPECT_EQ(server().viewAtPoint({200, 300}), nullptr) << "the plain window is behind the lock screen";
    EXPECT_NE(server().viewAtPoint({50, 50}), nullptr);
    server().setLockScreenShowing(false);
    EXPECT_NE(server().viewAtPoint({200, 300}), nullptr);
}

// Tests that windows stack by level, and that among equal levels the one
// shown last is on top.
TEST_F(WindowTest, StackingByLevelThenShowOrder) {
    auto normalA = showWindow(UIWindowLevelNormal);
    auto alert = showWindow(UIWindowLevelAlert + 1);
    auto normalB = showWindow(UIWindowLevelNormal);
    auto status = showWindow(UIWindowLevelStatusBar);
    EXPECT_EQ(raw(server().windows()),
              (std::vector<UIWindow*>{normalA.get(), normalB.get(), status.get(), alert.get()}));
    // Shown again after hiding: on top of its level.
    normalA->setHidden(true);
    normalA->setHidden(false);
    EXPECT_EQ(raw(server().windows()),
              (std::vector<UIWindow*>{normalB.get(), normalA.get(), status.get(), alert.get()}));
    // Showing a visible window again changes nothing.
    normalB->setHidden(false);
    EXPECT_EQ(server().windows()[0], normalB);
    // A new level takes it to the top of that level.
    normalB->setWindowLevel(UIWindowLevelAlert + 1);
    EXPECT_EQ(raw(server().windows()),
              (std::vector<UIWindow*>{normalA.get(), status.get(), alert.get(), normalB.get()}));
    normalB->setWindowLevel(std::nan(""));
    EXPECT_EQ(normalB->windowLevel(), UIWindowLevelAlert + 1);
    EXPECT_EQ(UIWindowLevelStatusBar, 1000.0);
    EXPECT_EQ(UIWindowLevelAlert, 2000.0);
}

TEST_F(WindowTest, KeyWindowFollowsMakeKeyAndHiding) {
    auto a = UIWindow::initWithFrame(CGRectMake(0, 0, 10, 10));
    auto b = UIWindow::initWithFrame(CGRectMake(0, 0, 10, 10));
    EXPECT_EQ(UIWindow::keyWindow(), nullptr);
    a->makeKeyAndVisible();
    EXPECT_FALSE(a->isHidden());
    EXPECT_TRUE(a->isKeyWindow());
    b->makeKeyAndVisible();
    EXPECT_EQ(UIWindow::keyWindow(), b);
    EXPECT_EQ(UIApplication::sharedApplication()->keyWindow(), b);
    EXPECT_FALSE(a->isKeyWindow());
    b->setHidden(true);
    EXPECT_EQ(UIWindow::keyWindow(), a);
    a->setHidden(true);
    EXPECT_EQ(UIWindow::keyWindow(), nullptr);
}

TEST_F(WindowTest, RootViewIsSizedToTheWindowAndLoadedLazily) {
    auto controller = std::make_shared<LazyController>();
    EXPECT_FALSE(controller->isViewLoaded());
    auto w = UIWindow::initWithFrame(CGRectMake(20, 40, 300, 500));
    w->setRootViewController(controller);
    EXPECT_EQ(controller->loads, 1);
    EXPECT_EQ(controller->didLoads, 1);
    auto view = controller->view();
    EXPECT_EQ(controller->loads, 1);
    EXPECT_EQ(view->frame(), CGRectMake(0, 0, 300, 500));
    EXPECT_EQ(view->superview(), w.get());
    EXPECT_EQ(controller->window(), w.get());
    EXPECT_EQ(w->rootViewController(), controller);
    w->setFrame(CGRectMake(0, 0, 100, 50));
    EXPECT_EQ(view->frame(), CGRectMake(0, 0, 100, 50));
    // A new root takes the old one's place.
    auto next = std::make_shared<UIViewController>();
    w->setRootViewController(next);
    EXPECT_EQ(view->superview(), nullptr);
    EXPECT_EQ(controller->window(), nullptr);
    EXPECT_EQ(w->subviews().size(), 1u);
}

// Tests that a process that configures no screen gets the phone-size one,
// 375 by 667 points at scale 2. Asked in a process of its own, started
// afresh, because a configured screen outlives the tests that configured it.
TEST(Screen, UnconfiguredScreenIsPhoneSize) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            auto screen = UIScreen::mainScreen();
            const bool phone = screen->bounds() == CGRectMake(0, 0, 375, 667) && screen->scale() == 2;
            std::_Exit(phone ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(WindowTest, DefaultViewHasTheScreensBounds) {
    UIScreen::configure(414, 896, 3);
    auto controller = UIViewController::init();
    EXPECT_EQ(controller->view()->frame(), CGRectMake(0, 0, 414, 896));
    EXPECT_EQ(UIScreen::mainScreen()->scale(), 3);
    UIScreen::configure(0, 100, 2);
    EXPECT_EQ(UIScreen::mainScreen()->bounds(), CGRectMake(0, 0, 414, 896));
    // A loadView that sets nothing still leaves a view.
    class Forgetful : public UIViewController {
        void loadView() override {}
    };
    EXPECT_NE(std::make_shared<Forgetful>()->view(), nullptr);
}

// Tests that a pass-through window lets touches that miss its own views
// reach the window below, and that an unclaimed touch reaches the host.
TEST_F(WindowTest, PassThroughWindowLetsTouchesReachTheWindowBelow) {
    auto below = showWindow(UIWindowLevelNormal);
    auto belowView = std::make_shared<TouchLog>(CGRectMake(0, 0, 375, 667));
    below->rootViewController()->view()->addSubview(belowView);

    auto overlay = std::make_shared<PassThroughWindow>(CGRectMake(0, 0, 375, 667));
    overlay->setRootViewController(UIViewController::init());
    overlay->setWindowLevel(UIWindowLevelAlert + 1);
    overlay->setHidden(false);
    auto bubble = std::make_shared<TouchLog>(CGRectMake(100, 100, 50, 50));
    overlay->rootViewController()->view()->addSubview(bubble);

    EXPECT_TRUE(tap({120, 120}));
    EXPECT_EQ(bubble->phases, (std::vector<std::string>{"began", "ended"}));
    EXPECT_TRUE(belowView->phases.empty());

    EXPECT_TRUE(tap({300, 300}));
    EXPECT_EQ(belowView->phases, (std::vector<std::string>{"began", "ended"}));
    EXPECT_EQ(bubble->phases.size(), 2u);

    // With nothing below, the touch goes through to the host.
    below->setHidden(true);
    std::vector<CGPoint> through;
    server().setPassThroughObserver([&](const CGPoint& p) { through.push_back(p); });
    EXPECT_FALSE(tap({300, 300}));
    ASSERT_EQ(through.size(), 1u);
    EXPECT_EQ(through[0], CGPointMake(300, 300));
    EXPECT_FALSE(server().touchActive());
}

TEST_F(WindowTest, HiddenOrInertWindowsDoNotTakeTouches) {
    auto below = showWindow(UIWindowLevelNormal);
    auto top = showWindow(UIWindowLevelStatusBar);
    top->setUserInteractionEnabled(false);
    server().touchDown({10, 10});
    EXPECT_EQ(server().touchedView(), below->rootViewController()->view());
    server().touchUp({10, 10});
    top->setUserInteractionEnabled(true);
    top->setAlpha(0);
    server().touchDown({10, 10});
    EXPECT_EQ(server().touchedView(), below->rootViewController()->view());
    server().touchCancel();
    // A window smaller than the screen only takes touches inside it.
    top->setAlpha(1);
    top->setFrame(CGRectMake(0, 0, 100, 100));
    server().touchDown({150, 150});
    EXPECT_EQ(server().touchedView(), below->rootViewController()->view());
    server().touchCancel();
    server().touchDown({50, 50});
    EXPECT_EQ(server().touchedView(), top->rootViewController()->view());
}

// Tests that locations are given in a view's own coordinates through a
// quarter turn, for the current and the previous point.
TEST_F(WindowTest, LocationsInAViewTurnedAQuarter) {
    auto w = showWindow();
    // 100x100 centred on (200, 200), turned a quarter (clockwise on screen).
    auto v = std::make_shared<TouchLog>(CGRectMake(150, 150, 100, 100));
    v->setTransform(CGAffineTransformMakeRotation(std::numbers::pi / 2));
    w->rootViewController()->view()->addSubview(v);

    server().touchDown({200, 200});
    server().touchMove({210, 200});  // 10 right on screen
    server().touchUp({210, 230});    // then 30 down
    ASSERT_EQ(v->phases, (std::vector<std::string>{"began", "moved", "ended"}));
    expectNear(v->locations[0], {50, 50});
    // Right on screen is up in the turned view: its -y.
    expectNear(v->locations[1], {50, 40});
    expectNear(v->previous[1], {50, 50});
    // Down on screen is its +x.
    expectNear(v->locations[2], {80, 40});
    expectNear(v->previous[2], {50, 40});
    EXPECT_EQ(v->touchesForSelf, 1u);
    // In window coordinates (nullptr), no turn.
    auto t = std::make_shared<UITouch>();
    t->screenLocation_ = {210, 230};
    t->window_ = w;
    EXPECT_EQ(t->locationInView(nullptr), CGPointMake(210, 230));
}

TEST_F(WindowTest, UnhandledTouchesGoUpTheResponderChain) {
    auto w = showWindow();
    auto parent = std::make_shared<TouchLog>(CGRectMake(0, 0, 200, 200));
    auto child = UIView::initWithFrame(CGRectMake(10, 10, 50, 50));
    w->rootViewController()->view()->addSubview(parent);
    parent->addSubview(child);
    tap({20, 20});
    EXPECT_EQ(parent->phases, (std::vector<std::string>{"began", "ended"}));
    // The event's touches for the parent include those on its subviews.
    EXPECT_EQ(parent->touchesForSelf, 1u);
}

// Tests that an event answers for a view only the touches delivered to it
// or inside it: not a sibling's, not its superview's, not one that found
// no view.
TEST_F(WindowTest, TouchesForAViewAreOnlyThoseInsideIt) {
    auto parent = UIView::init();
    auto child = UIView::init();
    auto sibling = UIView::init();
    parent->addSubview(child);
    parent->addSubview(sibling);
    UIEvent event;
    for (const auto& view : {std::shared_ptr<UIView>(child), std::shared_ptr<UIView>(), parent}) {
        event.touches_.push_back(std::make_shared<UITouch>());
        event.touches_.back()->view_ = view;
    }
    event.touches_.push_back(nullptr);
    EXPECT_EQ(event.touchesForView(child.get()), (std::vector<UITouch*>{event.touches_[0].get()}));
    EXPECT_TRUE(event.touchesForView(sibling.get()).empty());
    EXPECT_EQ(event.touchesForView(parent.get()),
              (std::vector<UITouch*>{event.touches_[0].get(), event.touches_[2].get()}));
    EXPECT_TRUE(event.touchesForView(nullptr).empty());
    EXPECT_EQ(event.allTouches().size(), 3u);
}

TEST_F(WindowTest, TouchDownDuringATouchCancelsTheFirst) {
    auto w = showWindow();
    auto v = std::make_shared<TouchLog>(CGRectMake(0, 0, 100, 100));
    w->rootViewController()->view()->addSubview(v);
    server().touchDown({10, 10});
    server().touchDown({20, 20});
    server().touchUp({20, 20});
    EXPECT_EQ(v->phases, (std::vector<std::string>{"began", "cancelled", "began", "ended"}));
    server().touchMove({1, 1});  // no touch: nothing
    server().touchUp({1, 1});
    EXPECT_EQ(v->phases.size(), 4u);
}

// Tests that the process end lets go of every window, presented
// controller and touch, even ones that were never hidden.
TEST_F(WindowTest, ProcessEndDropsEverything) {
    std::weak_ptr<UIWindow> window;
    std::weak_ptr<UIView> touched;
    {
        auto w = showWindow();
        w->makeKeyAndVisible();
        auto v = std::make_shared<TouchLog>(CGRectMake(0, 0, 100, 100));
        w->rootViewController()->view()->addSubview(v);
        auto press = UILongPressGestureRecognizer::initWithTarget(nullptr, "x:");
        v->addGestureRecognizer(press);
        server().touchDown({10, 10});
        window = w;
        touched = v;
    }
    ASSERT_FALSE(window.expired());
    Process::terminate();
    EXPECT_TRUE(window.expired());
    EXPECT_TRUE(touched.expired());
}
