// What a long press on a bubble does (the menu itself is FTBubbleMenu) and
// what each of the menu's actions does, and hiding or showing all bubbles
// at once.
#include "foundation/NSUserDefaults.h"
#include "interfaces/PublicNames.h"
#include "overlay/FTCustomViewController.h"
#include "springboard/HostInterfaces.h"
#include "springboard/PluginState.h"

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

    auto controller = std::static_pointer_cast<FTCustomViewController>(self());
    menu.show(s.isLocked, [controller](FTMenuAction picked) {
        controller->closeMenuWindow();
        controller->doMenuAction(picked);
    });

    if (s.isDim) {
        for (size_t i = 0; i < mybuttons.size(); ++i)
            UIView::animateWithDuration(kFadeDuration045, 0, kAnimationOptions,
                                        [this, i] { mybuttons[i]->setAlpha(kDimAlpha03); });
    }
}

void FTCustomViewController::closeMenuWindow() { menu.close(); }

void FTCustomViewController::doMenuAction(FTMenuAction action) {
    switch (action) {
    case FTMenuAction::HideNow:
        setDictWithWriting(NO);
        setHidden(YES);
        return;
    case FTMenuAction::ToggleLock:
        return toggleLock();
    case FTMenuAction::Blacklist:
        setDictWithWriting(YES);
        setHidden(YES);
        return;
    case FTMenuAction::SavePosition:
        return savePosInPlist();
    case FTMenuAction::AlignRow:
        return alignBubbles(mybuttons, true);
    case FTMenuAction::AlignColumn:
        return alignBubbles(mybuttons, false);
    case FTMenuAction::Cancel:
        return;
    }
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
