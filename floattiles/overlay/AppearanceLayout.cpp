// Restyling and moving all bubbles at once: size, shape, colours, dimming,
// badges, rotation, and keeping them on screen.
#include <cmath>
#include <optional>

#include "colorpicker/libcolorpicker.h"
#include "overlay/CentreBounds.h"
#include "overlay/FTCustomViewController.h"
#include "settings/SettingsTable.h"
#include "settings/StateStore.h"
#include "springboard/HostInterfaces.h"
#include "springboard/PluginState.h"
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

// One pass over one bubble: the first coordinate found outside the limits
// (x before y, strictly outside) slides onto its limit. Answers whether it
// moved.
bool pullInside(const std::shared_ptr<UIButtonFT>& button, const FTDragBounds& l) {
    CGPoint c = button->center();
    bool moveX = false, moveY = false;
    double target = 0;
    if (c.x > l.maxX) {
        moveX = true;
        target = l.maxX;
    } else if (c.x < l.minX) {
        moveX = true;
        target = l.minX;
    } else if (c.y < l.minY) {
        moveY = true;
        target = l.minY;
    } else if (c.y > l.maxY) {
        moveY = true;
        target = l.maxY;
    }
    if (!moveX && !moveY) return false;
    UIView::animateWithDuration(kMoveDuration03, 0, kAnimationOptions, [&] {
        CGPoint now = button->center();
        button->setCenter(moveX ? CGPointMake(target, now.y) : CGPointMake(now.x, target));
    });
    return true;
}

bool hasPartOnScreen(const UIView& view) {
    const FTOverlayState& o = overlayState();
    CGRect f = view.frame();
    return f.origin.x < static_cast<double>(o.screenWidth) && f.origin.x + f.size.width > 0 &&
           f.origin.y < static_cast<double>(o.screenHeight) && f.origin.y + f.size.height > 0;
}

} // namespace

void FTCustomViewController::setBubbleSize() {
    const FTSettings& s = settingsVariables();
    double side = static_cast<double>(s.bubbleSize);
    std::optional<FTDragBounds> turnLimits;
    for (const auto& button : mybuttons) {
        CGRect f = button->frame();
        button->setFrame(CGRectMake(f.origin.x, f.origin.y, side, side));
        button->layer()->setCornerRadius(cornerRadiusFor(s));
        button->setBadgePos();
        // Keeping the corner can carry a shrunk bubble wholly off screen
        // (one snapped onto the left edge has half of itself beyond it),
        // where no finger reaches it until the next turn or restart. Such a
        // bubble alone is pulled back as a turn of the phone pulls bubbles,
        // a pass per coordinate until some of it shows; locked or hidden
        // ones too, since the size change has already moved them and a
        // bubble shown again off screen would be as lost.
        for (int pass = 0; pass < 2 && !hasPartOnScreen(*button); ++pass) {
            if (!turnLimits) turnLimits = centreLimits(true);
            if (!pullInside(button, *turnLimits)) break;
        }
    }
}

void FTCustomViewController::applySettingPush(OverlayPush push) {
    switch (push) {
    case OverlayPush::None:
        return;
    case OverlayPush::Circle:
        return setCircle();
    case OverlayPush::Dim:
        return setDim();
    case OverlayPush::BubbleSize:
        return setBubbleSize();
    case OverlayPush::FrameColour:
        return setFrameColor();
    case OverlayPush::BadgeColour:
        return setBadgeColor();
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

// At most one coordinate of a bubble is corrected per pass.
void FTCustomViewController::updateCenterIfNeeded(bool initialPlacement, bool orientationChange) {
    if (settingsVariables().isLocked && !initialPlacement) return;
    const FTDragBounds limits = centreLimits(orientationChange);
    for (size_t i = 0; i < mybuttons.size(); ++i) {
        std::shared_ptr<UIButtonFT> button = mybuttons[i];
        // Bubbles are hidden and shown together: one hidden bubble means
        // all are.
        if (button->isHidden()) return;
        pullInside(button, limits);
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
