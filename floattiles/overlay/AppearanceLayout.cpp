// Restyling and moving all bubbles at once: size, shape, colours, dimming,
// badges, rotation, and keeping them on screen.
#include <cmath>

#include "PluginState.h"
#include "colorpicker/libcolorpicker.h"
#include "overlay/FTCustomViewController.h"
#include "settings/SettingsTable.h"
#include "settings/StateStore.h"
#include "uikit/UIApplication.h"

namespace {

double cornerRadiusFor(const FTSettings& s) {
    return s.isCircle ? static_cast<double>(s.bubbleSize * 0.5f) : static_cast<double>(s.bubbleSize / 5.0f);
}

// A saved centre is two finite numbers; anything else in the file is not a
// position and leaves the bubble where it was built.
std::optional<CGPoint> savedCentre(const id& entry) {
    auto array = std::dynamic_pointer_cast<NSArray>(entry);
    if (!array || array->count() < 2) return std::nullopt;
    auto x = std::dynamic_pointer_cast<NSNumber>(array->objectAtIndex(0));
    auto y = std::dynamic_pointer_cast<NSNumber>(array->objectAtIndex(1));
    if (!x || !y) return std::nullopt;
    float fx = x->floatValue();
    float fy = y->floatValue();
    if (!std::isfinite(fx) || !std::isfinite(fy)) return std::nullopt;
    return CGPointMake(static_cast<double>(fx), static_cast<double>(fy));
}

} // namespace

void FTCustomViewController::setBubbleSize() {
    const FTSettings& s = settingsVariables();
    double side = static_cast<double>(s.bubbleSize);
    for (const auto& button : mybuttons) {
        CGRect f = button->frame();
        button->setFrame(CGRectMake(f.origin.x, f.origin.y, side, side));
        button->layer()->setCornerRadius(cornerRadiusFor(s));
        button->setBadgePos();
    }
}

void FTCustomViewController::setCircle() {
    const FTSettings& s = settingsVariables();
    for (const auto& button : mybuttons) {
        button->setClipsToBounds(s.isCircle);
        button->layer()->setCornerRadius(cornerRadiusFor(s));
    }
}

void FTCustomViewController::setFrameColor() {
    for (const auto& button : mybuttons)
        button->layer()->setBorderColor(
            LCPParseColorString(settingsVariables().globalBoundColor.get(), kBorderColourFallback)->CGColor());
}

void FTCustomViewController::setBadgeColor() {
    for (const auto& button : mybuttons) button->setBadgeGlobalColor();
}

void FTCustomViewController::setDim() {
    const FTSettings& s = settingsVariables();
    if (s.isDim && s.isAlwaysDim) {
        for (const auto& button : mybuttons) button->setAlpha(kDimAlpha03);
        return;
    }
    if (!s.isDim) {
        for (const auto& button : mybuttons) button->setAlpha(1.0);
        return;
    }
    startIdleTimer();
}

void FTCustomViewController::updateBadgesButton() {
    for (const auto& button : mybuttons) {
        button->setAndUpdateBadgeView();
        // Puts the badge back after a hide, in front of the bubble's other
        // subviews.
        if (auto badge = button->getBadgeView()) button->addSubview(badge);
    }
}

void FTCustomViewController::setTransformToButton(const CGAffineTransform& transform) {
    for (const auto& button : mybuttons) button->setTransform(transform);
}

// Limits by call and front orientation (W, H: the screen at creation):
//
//   call                 orientation  L    R        top  B
//   initial placement    3            40   W - 25   30   H - 10
//   initial placement    4            15   W - 50   30   H - 10
//   initial placement    other        15   W - 25   30   H - 55
//   orientation change   3            25   W        30   H - 10
//   orientation change   4            0    W - 25   30   H - 10
//   orientation change   other        0    W        30   H - 55
//
// At most one coordinate of a bubble is corrected per pass.
void FTCustomViewController::updateCenterIfNeeded(bool initialPlacement, bool orientationChange) {
    const FTSettings& s = settingsVariables();
    const FTOverlayState& o = overlayState();
    if (s.isLocked && !initialPlacement) return;

    double right = orientationChange ? static_cast<double>(o.screenWidth) : static_cast<double>(o.screenWidth - 25.0f);
    double left = orientationChange ? 0.0 : 15.0;
    const double top = 30.0;
    double bottom = static_cast<double>(o.screenHeight - 55.0f);

    long front = UIApplication::sharedApplication()->_frontMostAppOrientation();
    if (front == UIInterfaceOrientationLandscapeRight) {
        bottom += 45;
        left += 25;
    } else if (front == UIInterfaceOrientationLandscapeLeft) {
        bottom += 45;
        right -= 25;
    }

    for (size_t i = 0; i < mybuttons.size(); ++i) {
        std::shared_ptr<UIButtonFT> button = mybuttons[i];
        // Bubbles are hidden and shown together: one hidden bubble means
        // all are.
        if (button->isHidden()) return;
        CGPoint c = button->center();
        bool moveX = false, moveY = false;
        double target = 0;
        if (c.x > right) {
            moveX = true;
            target = right;
        } else if (c.x < left) {
            moveX = true;
            target = left;
        } else if (c.y < top) {
            moveY = true;
            target = top;
        } else if (c.y > bottom) {
            moveY = true;
            target = bottom;
        }
        if (!moveX && !moveY) continue;
        UIView::animateWithDuration(kMoveDuration03, 0, kAnimationOptions, [&] {
            CGPoint now = button->center();
            button->setCenter(moveX ? CGPointMake(target, now.y) : CGPointMake(now.x, target));
        });
    }
}

void FTCustomViewController::setInitialPos() {
    updateCenterIfNeeded(YES, NO);
    for (const auto& button : mybuttons) {
        auto key = NSString::stringWithFormat((std::string(kPositionPrefix) + "%@").c_str(),
                                              static_cast<const NSObject*>(button->getButtonBundleID().get()));
        if (auto centre = savedCentre(stateStore().objectForKey(key->UTF8String()))) button->setCenter(*centre);
    }
}
