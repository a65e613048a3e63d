#include <tuple>

#include "UIKitTestSupport.h"
#include "foundation/RunLoop.h"
#include "uikit/UIAlertController.h"
#include "uikit/UIButton.h"

using namespace uikit_test;

namespace {

// A menu window at level alert + 1 with a plain root controller, an alert
// with three actions, and a record of handler calls and observer events.
class AlertTest : public UIKitTest {
protected:
    void SetUp() override {
        UIKitTest::SetUp();
        host = showWindow(UIWindowLevelAlert + 1);
        alert = UIAlertController::alertControllerWithTitle("Float Tiles", "Choose an action below",
                                                            UIAlertControllerStyleAlert);
        for (const char* title : {"Cancel", "Save", "Delete"}) {
            const long style = std::string(title) == "Cancel"   ? UIAlertActionStyleCancel
                               : std::string(title) == "Delete" ? UIAlertActionStyleDestructive
                                                                : UIAlertActionStyleDefault;
            alert->addAction(UIAlertAction::actionWithTitle(title, style, [this](UIAlertAction* a) {
                // What the handler sees of the world when it runs.
                log.push_back("handler " + a->title() + (server().visibleAlert() ? " alert-up" : " alert-gone"));
            }));
        }
        server().setAlertObserver([this](const std::shared_ptr<UIAlertController>& a, bool presented) {
            log.push_back(std::string(presented ? "presented " : "dismissed ") + a->title());
        });
    }
    void present() { host->rootViewController()->presentViewController(alert, true, nullptr); }
    static CGPoint middle(const CGRect& r) { return {CGRectGetMidX(r), CGRectGetMidY(r)}; }

    std::shared_ptr<UIWindow> host;
    std::shared_ptr<UIAlertController> alert;
    std::vector<std::string> log;
};

} // namespace

TEST_F(AlertTest, PresentedAlertIsOnTopOverItsPresenter) {
    EXPECT_EQ(server().visibleAlert(), nullptr);
    bool completed = false;
    host->rootViewController()->presentViewController(alert, true, [&] { completed = true; });
    EXPECT_TRUE(completed);
    EXPECT_EQ(server().visibleAlert(), alert);
    EXPECT_EQ(log, (std::vector<std::string>{"presented Float Tiles"}));
    EXPECT_EQ(alert->presentingViewController(), host->rootViewController().get());
    EXPECT_EQ(host->rootViewController()->presentedViewController(), alert);
    auto windows = server().windows();
    ASSERT_EQ(windows.size(), 2u);
    EXPECT_EQ(windows.back()->rootViewController(), alert);
    EXPECT_EQ(windows.back()->windowLevel(), UIWindowLevelAlert + 1);
    // A window shown later at a higher level goes above it; at the same
    // level, a window shown before it stays below.
    auto higher = showWindow(UIWindowLevelAlert + 2);
    EXPECT_EQ(server().windows().back(), higher);
}

TEST_F(AlertTest, BoxIsCentredAndButtonsStackedWithCancelLast) {
    present();
    const CGRect box = alert->boxFrame();
    EXPECT_EQ(box.size.width, 270);
    EXPECT_DOUBLE_EQ(CGRectGetMidX(box), 187.5);
    EXPECT_DOUBLE_EQ(CGRectGetMidY(box), 333.5);
    const auto frames = alert->actionFrames();
    ASSERT_EQ(frames.size(), 3u);
    // Save, Delete, then Cancel from top to bottom, inside the box.
    EXPECT_LT(frames[1].origin.y, frames[2].origin.y);
    EXPECT_LT(frames[2].origin.y, frames[0].origin.y);
    for (const CGRect& f : frames) {
        EXPECT_EQ(f.size.width, 270);
        EXPECT_GE(f.origin.y, box.origin.y);
        EXPECT_LE(CGRectGetMaxY(f), CGRectGetMaxY(box));
    }
    EXPECT_DOUBLE_EQ(CGRectGetMaxY(frames[0]), CGRectGetMaxY(box));
    // Behind the box, the whole screen is dimmed.
    ASSERT_TRUE(alert->view()->backgroundColor());
    EXPECT_EQ(alert->view()->backgroundColor()->components(), (CGColor{0, 0, 0, 0.2}));
    EXPECT_EQ(alert->view()->frame(), UIScreen::mainScreen()->bounds());
}

// Tests that a title alone or a message alone still takes its place above
// the buttons, and that with neither the buttons start at the box's top.
TEST_F(AlertTest, TitleOrMessageAloneKeepsItsPlaceAboveTheButtons) {
    for (const auto& [title, message, textHeight] :
         {std::tuple{"Float Tiles", "", 62.0}, std::tuple{"", "Pick one", 56.0}, std::tuple{"", "", 0.0}}) {
        auto a = UIAlertController::alertControllerWithTitle(title, message, UIAlertControllerStyleAlert);
        a->addAction(UIAlertAction::actionWithTitle("OK", UIAlertActionStyleDefault, nullptr));
        host->rootViewController()->presentViewController(a, false, nullptr);
        ASSERT_TRUE(a->isOnScreen()) << title << message;
        const auto frames = a->actionFrames();
        ASSERT_EQ(frames.size(), 1u);
        EXPECT_DOUBLE_EQ(frames[0].origin.y - a->boxFrame().origin.y, textHeight) << title << message;
        a->dismissViewControllerAnimated(false, nullptr);
    }
}

// Tests that picking an action dismisses the alert first; its handler runs
// once, at the end of the run loop's turn, not within the pick; a second
// pick finds no alert.
TEST_F(AlertTest, HandlerRunsOnceAfterDismissal) {
    present();
    EXPECT_TRUE(alert->pickActionWithTitle("Save"));
    EXPECT_EQ(log, (std::vector<std::string>{"presented Float Tiles", "dismissed Float Tiles"}));
    NSRunLoop::mainRunLoop().runPendingBlocks();
    EXPECT_EQ(log, (std::vector<std::string>{"presented Float Tiles", "dismissed Float Tiles",
                                             "handler Save alert-gone"}));
    EXPECT_FALSE(alert->pickActionWithTitle("Save"));
    EXPECT_FALSE(alert->isOnScreen());
    EXPECT_EQ(log.size(), 3u);
    EXPECT_EQ(server().visibleAlert(), nullptr);
    EXPECT_EQ(host->rootViewController()->presentedViewController(), nullptr);
    // Only the presenting window is left.
    EXPECT_EQ(server().windows(), (std::vector<std::shared_ptr<UIWindow>>{host}));
}

TEST_F(AlertTest, UnknownTitleOrAlertNotOnScreenPicksNothing) {
    EXPECT_FALSE(alert->pickActionWithTitle("Save"));
    present();
    EXPECT_FALSE(alert->pickActionWithTitle("Nope"));
    EXPECT_FALSE(alert->pickActionAtIndex(7));
    EXPECT_EQ(server().visibleAlert(), alert);
    EXPECT_EQ(log.size(), 1u);
}

TEST_F(AlertTest, TapOnAButtonPicksItsAction) {
    present();
    const auto frames = alert->actionFrames();
    EXPECT_TRUE(tap(middle(frames[2])));
    EXPECT_EQ(server().visibleAlert(), nullptr);
    NSRunLoop::mainRunLoop().runPendingBlocks();
    EXPECT_EQ(log.back(), "handler Delete alert-gone");
    // The first action too (the bottom row, Cancel).
    present();
    EXPECT_TRUE(tap(middle(frames[0])));
    NSRunLoop::mainRunLoop().runPendingBlocks();
    EXPECT_EQ(log.back(), "handler Cancel alert-gone");
}

// Tests that the action under the lifted finger is picked, whichever the
// finger went down on: down on Save, up on Delete picks Delete (highlighted
// on the way); a finger that slides off every button picks nothing.
TEST_F(AlertTest, TheLiftedFingerPicks) {
    present();
    const auto frames = alert->actionFrames();
    ASSERT_TRUE(server().touchDown(middle(frames[1])));
    server().touchMove(middle(frames[2]));
    // The button under the finger is the one highlighted.
    auto highlighted = [&](long tag) {
        for (const auto& v : alert->view()->subviews().front()->subviews())
            if (auto b = std::dynamic_pointer_cast<UIButton>(v); b && b->tag() == tag)
                return b->backgroundColor() != nullptr;
        return false;
    };
    EXPECT_TRUE(highlighted(2));
    EXPECT_FALSE(highlighted(1));
    server().touchUp(middle(frames[2]));
    EXPECT_FALSE(highlighted(2));
    NSRunLoop::mainRunLoop().runPendingBlocks();
    EXPECT_EQ(log.back(), "handler Delete alert-gone");

    present();
    log.clear();
    ASSERT_TRUE(server().touchDown(middle(frames[1])));
    server().touchMove({10, 10});
    server().touchUp({10, 10});
    NSRunLoop::mainRunLoop().runPendingBlocks();
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(server().visibleAlert(), alert);
}

TEST_F(AlertTest, TapsOutsideTheBoxAreSwallowed) {
    auto below = showWindow(UIWindowLevelNormal);
    auto button = UIButton::buttonWithType(UIButtonTypeCustom);
    button->setFrame(CGRectMake(0, 0, 375, 100));
    below->rootViewController()->view()->addSubview(button);
    auto target = Recorder::make({"tapped:"});
    button->addTarget(target, "tapped:", UIControlEventTouchUpInside);
    // The presenting window would take the tap itself: make it inert, so
    // that only the alert stands between the finger and the button.
    host->setUserInteractionEnabled(false);
    present();
    std::vector<CGPoint> through;
    server().setPassThroughObserver([&](const CGPoint& p) { through.push_back(p); });
    EXPECT_TRUE(tap({20, 20}));
    EXPECT_TRUE(target->calls.empty());
    EXPECT_TRUE(through.empty());
    EXPECT_EQ(server().visibleAlert(), alert);
    // Once dismissed, the same tap reaches the button again.
    alert->pickActionWithTitle("Cancel");
    tap({20, 20});
    EXPECT_EQ(target->calls.size(), 1u);
}

TEST_F(AlertTest, NothingIsPresentedFromAHiddenWindowOrTwice) {
    auto hidden = UIWindow::initWithFrame(CGRectMake(0, 0, 375, 667));
    hidden->setRootViewController(UIViewController::init());
    hidden->rootViewController()->presentViewController(alert, true, nullptr);
    EXPECT_EQ(server().visibleAlert(), nullptr);
    present();
    auto second = UIAlertController::alertControllerWithTitle("Second", "", UIAlertControllerStyleAlert);
    host->rootViewController()->presentViewController(second, true, nullptr);
    EXPECT_EQ(server().visibleAlert(), alert);
    EXPECT_EQ(second->presentingViewController(), nullptr);
}

TEST_F(AlertTest, DismissFromEitherEndTakesItDown) {
    present();
    // Someone holding on to the alert's window finds it empty afterwards.
    const std::shared_ptr<UIWindow> kept = server().windows().back();
    ASSERT_EQ(kept->rootViewController(), alert);
    bool done = false;
    alert->dismissViewControllerAnimated(true, [&] { done = true; });
    EXPECT_TRUE(done);
    EXPECT_EQ(server().visibleAlert(), nullptr);
    EXPECT_EQ(kept->rootViewController(), nullptr);
    EXPECT_EQ(alert->view()->superview(), nullptr);
    // No handler runs on a plain dismissal.
    EXPECT_EQ(log, (std::vector<std::string>{"presented Float Tiles", "dismissed Float Tiles"}));
    present();
    host->rootViewController()->dismissViewControllerAnimated(false, nullptr);
    EXPECT_EQ(server().visibleAlert(), nullptr);
}

// Tests that an alert shows and hides with the window it was presented
// over, and goes when that window goes, so no alert is left on screen with
// no way to answer it.
TEST_F(AlertTest, AlertFollowsItsPresentingWindow) {
    present();
    host->setHidden(true);
    EXPECT_EQ(server().visibleAlert(), nullptr);
    EXPECT_TRUE(server().windows().empty());
    EXPECT_FALSE(alert->pickActionWithTitle("Save"));
    host->setHidden(false);
    EXPECT_EQ(server().visibleAlert(), alert);
    EXPECT_EQ(server().windows().back()->rootViewController(), alert);
    // Hidden and forgotten: the presenting controller goes, and the alert
    // is dismissed with it.
    host->setHidden(true);
    host.reset();
    EXPECT_EQ(log.back(), "dismissed Float Tiles");
    EXPECT_EQ(alert->presentingViewController(), nullptr);
    EXPECT_EQ(alert->presentationWindow(), nullptr);
    EXPECT_EQ(std::count(log.begin(), log.end(), "handler Save alert-gone"), 0);
}

// Tests that the process end releases an alert that is still up, with the
// handlers it holds.
TEST_F(AlertTest, ProcessEndReleasesAnAlertStillUp) {
    auto token = std::make_shared<int>(0);
    std::weak_ptr<int> watch = token;
    alert->addAction(UIAlertAction::actionWithTitle("Keep", 0, [token](UIAlertAction*) {}));
    token.reset();
    present();
    std::weak_ptr<UIAlertController> weakAlert = alert;
    alert.reset();
    auto presenter = host->rootViewController();
    host.reset();
    ASSERT_FALSE(watch.expired());
    Process::terminate();
    EXPECT_TRUE(weakAlert.expired());
    EXPECT_TRUE(watch.expired());
    EXPECT_EQ(presenter->presentedViewController(), nullptr);
}
