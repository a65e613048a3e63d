#include "overlay/FTBubbleMenu.h"

#include "springboard/HostInterfaces.h"
#include "uikit/UIAlertController.h"
#include "uikit/UIScreen.h"

void FTBubbleMenu::show(bool locked, std::function<void(FTMenuAction)> picked) {
    window_ = UIWindow::initWithFrame(UIScreen::mainScreen()->bounds());
    window_->setRootViewController(UIViewController::init());
    window_->setWindowLevel(UIWindowLevelAlert + 1.0);
    // Over the lock screen too, where the bubbles are: a menu left behind
    // it could neither be seen nor answered, and would come up after the
    // unlock.
    host::setSecure(*window_, YES);
    window_->setHidden(NO);
    auto keyWindow = UIWindow::keyWindow();
    window_->setTintColor(keyWindow ? keyWindow->tintColor() : nullptr);

    auto lockTitle = NSString::stringWithFormat("%s Float Tiles", locked ? "Unlock" : "Lock");
    auto alert = UIAlertController::alertControllerWithTitle("Float Tiles", "Choose an action below",
                                                             UIAlertControllerStyleAlert);

    // The menu's window goes away with the alert, whichever action is
    // picked: left on screen it would swallow every touch beneath it. The
    // one who showed the menu closes it, so the handler holds nothing of
    // the menu itself.
    auto action = [picked](FTMenuAction which) { return [picked, which](UIAlertAction*) { picked(which); }; };
    alert->addAction(UIAlertAction::actionWithTitle("Hide NOW (Current App Until Respring)", UIAlertActionStyleDefault,
                                                    action(FTMenuAction::HideNow)));
    alert->addAction(UIAlertAction::actionWithTitle(lockTitle->UTF8String(), UIAlertActionStyleDefault,
                                                    action(FTMenuAction::ToggleLock)));
    alert->addAction(UIAlertAction::actionWithTitle("Add Current App To Blacklist", UIAlertActionStyleDefault,
                                                    action(FTMenuAction::Blacklist)));
    alert->addAction(UIAlertAction::actionWithTitle("Save Current Position", UIAlertActionStyleDefault,
                                                    action(FTMenuAction::SavePosition)));
    alert->addAction(UIAlertAction::actionWithTitle("Align By This Button (Horizontally)", UIAlertActionStyleDefault,
                                                    action(FTMenuAction::AlignRow)));
    alert->addAction(UIAlertAction::actionWithTitle("Align By This Button (Vertically)", UIAlertActionStyleDefault,
                                                    action(FTMenuAction::AlignColumn)));
    alert->addAction(UIAlertAction::actionWithTitle("Cancel", UIAlertActionStyleCancel, action(FTMenuAction::Cancel)));

    window_->rootViewController()->presentViewController(alert, YES, nullptr);
}

void FTBubbleMenu::close() {
    if (!window_) return;
    std::shared_ptr<UIWindow> window = std::move(window_);
    window_.reset();
    window->setHidden(YES);
}
