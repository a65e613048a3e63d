// The bubbles' long-press menu, and hiding or showing all bubbles at once.
#include "foundation/NSUserDefaults.h"
#include "overlay/FTCustomViewController.h"
#include "settings/Settings.h"
#include "springboard/HostInterfaces.h"
#include "springboard/PluginState.h"
#include "uikit/UIAlertController.h"
#include "uikit/UIScreen.h"
#include "uikit/UIWindow.h"

namespace {

void alignBubbles(const std::vector<std::shared_ptr<UIButtonFT>>& buttons, bool inRow) {
    const FTOverlayState& o = overlayState();
    double side = static_cast<double>(settingsVariables().bubbleSize);
    for (size_t i = 0; i < buttons.size(); ++i) {
        UIView::animateWithDuration(kFadeDuration045, 0, kAnimationOptions, [&] {
            CGRect mine = buttons[i]->frame();
            CGRect chosen = o.AVChosenButton ? o.AVChosenButton->frame() : CGRect{};
            buttons[i]->setFrame(inRow ? CGRectMake(mine.origin.x, chosen.origin.y, side, side)
                                       : CGRectMake(chosen.origin.x, mine.origin.y, side, side));
        });
    }
}

void toggleLock() {
    FTSettings& s = settingsVariables();
    s.isLocked = !s.isLocked;
    NSUserDefaults::initWithSuiteName(kSettingsPath)->setObjectForKey(NSNumber::numberWithBool(s.isLocked), "isLocked");
}

} // namespace

void FTCustomViewController::imgLongPressed(UIGestureRecognizer* recognizer) {
    if (!recognizer || recognizer->state() != UIGestureRecognizerStateBegan) return;
    const FTSettings& s = settingsVariables();
    FTOverlayState& o = overlayState();
    o.AVChosenButton = std::dynamic_pointer_cast<UIButtonFT>(recognizer->viewRef());

    if (!s.isAlwaysDim && s.isDim)
        for (const auto& button : mybuttons) button->setAlpha(1.0);

    // Nothing of the platform keeps a window: the controller holds the
    // menu's until its alert has gone.
    menuWindow = UIWindow::initWithFrame(UIScreen::mainScreen()->bounds());
    menuWindow->setRootViewController(UIViewController::init());
    menuWindow->setWindowLevel(UIWindowLevelAlert + 1.0);
    // Over the lock screen too, where the bubbles are: a menu left behind
    // it could neither be seen nor answered, and would come up after the
    // unlock.
    host::setSecure(*menuWindow, YES);
    menuWindow->setHidden(NO);
    auto keyWindow = UIWindow::keyWindow();
    menuWindow->setTintColor(keyWindow ? keyWindow->tintColor() : nullptr);

    auto lockTitle = NSString::stringWithFormat("%s Float Tiles", s.isLocked ? "Unlock" : "Lock");
    auto alert = UIAlertController::alertControllerWithTitle("Float Tiles", "Choose an action below",
                                                             UIAlertControllerStyleAlert);

    // The menu's window goes away with the alert, whichever action is
    // picked: left on screen it would swallow every touch beneath it.
    auto controller = std::static_pointer_cast<FTCustomViewController>(self());
    auto action = [controller](std::function<void(FTCustomViewController&)> work) {
        return [controller, work](UIAlertAction*) {
            controller->closeMenuWindow();
            if (work) work(*controller);
        };
    };

    alert->addAction(UIAlertAction::actionWithTitle("Hide NOW (Current App Until Respring)", UIAlertActionStyleDefault,
                                                    action([](FTCustomViewController& c) {
                                                        c.setDictWithWriting(NO);
                                                        c.setHidden(YES);
                                                    })));
    alert->addAction(UIAlertAction::actionWithTitle(lockTitle->UTF8String(), UIAlertActionStyleDefault,
                                                    action([](FTCustomViewController&) { toggleLock(); })));
    alert->addAction(UIAlertAction::actionWithTitle("Add Current App To Blacklist", UIAlertActionStyleDefault,
                                                    action([](FTCustomViewController& c) {
                                                        c.setDictWithWriting(YES);
                                                        c.setHidden(YES);
                                                    })));
    alert->addAction(UIAlertAction::actionWithTitle("Save Current Position", UIAlertActionStyleDefault,
                                                    action([](FTCustomViewController& c) { c.savePosInPlist(); })));
    alert->addAction(UIAlertAction::actionWithTitle("Align By This Button (Horizontally)", UIAlertActionStyleDefault,
                                                    action([](FTCustomViewController& c) {
                                                        alignBubbles(c.getbuttons(), true);
                                                    })));
    alert->addAction(UIAlertAction::actionWithTitle("Align By This Button (Vertically)", UIAlertActionStyleDefault,
                                                    action([](FTCustomViewController& c) {
                                                        alignBubbles(c.getbuttons(), false);
                                                    })));
    alert->addAction(UIAlertAction::actionWithTitle("Cancel", UIAlertActionStyleCancel, action(nullptr)));

    menuWindow->rootViewController()->presentViewController(alert, YES, nullptr);

    if (s.isDim) {
        for (size_t i = 0; i < mybuttons.size(); ++i)
            UIView::animateWithDuration(kFadeDuration045, 0, kAnimationOptions,
                                        [this, i] { mybuttons[i]->setAlpha(kDimAlpha03); });
    }
}

void FTCustomViewController::closeMenuWindow() {
    if (!menuWindow) return;
    std::shared_ptr<UIWindow> window = std::move(menuWindow);
    menuWindow.reset();
    window->setHidden(YES);
}

// Hides or shows every bubble. The bubbles always share one state, so a
// first bubble already in the requested state ends the pass.
void FTCustomViewController::setHidden(bool hidden) {
    const FTSettings& s = settingsVariables();
    FTVisibilityState& v = visibilityState();
    if (!v.isHidingForCC) v.isCurrentlyHidden = hidden;
    for (size_t i = 0; i < mybuttons.size(); ++i) {
        std::shared_ptr<UIButtonFT> button = mybuttons[i];
        if (button->isHidden() == hidden) return;
        if (!s.isAlwaysDim && !hidden && s.isDim) {
            auto fade = CATransition::animation();
            fade->setType(kCATransitionFade);
            fade->setDuration(0.2);
            button->layer()->addAnimation(fade, "");
            button->setAlpha(1.0);
        }
        button->setHidden(hidden);
    }
    if (!hidden) startIdleTimer();
}
