#include "button/UIButtonFT.h"

#include <limits>

#include "colorpicker/libcolorpicker.h"
#include "settings/SettingsTable.h"
#include "springboard/HostInterfaces.h"
#include "springboard/PluginState.h"

namespace {

std::shared_ptr<UIColor> badgeColour() {
    return LCPParseColorString(settingsVariables().globalBadgeColor.get(), kBadgeColourFallback);
}

std::shared_ptr<UIColor> badgeTextColour() {
    return LCPParseColorString(settingsVariables().globalBadgeTextColor.get(), kBadgeTextColourFallback);
}

// The badge sits centred for the default size 50; other sizes shift it by
// half the difference of the whole-point size.
double centringOffset(float bubbleSize) {
    double truncated = std::trunc(static_cast<double>(bubbleSize));
    if (!(truncated >= -1e9 && truncated <= 1e9)) return 0;
    auto n = static_cast<int64_t>(truncated);
    return static_cast<double>(50 - n) / 2.0;
}

} // namespace

UIButtonFT::UIButtonFT() {
    objc_lookUpOrDefineClass("UIButtonFT", "UIButton");
}

// Rows by count: x from the bubble's side S (single precision), width by
// operation; 999 already takes the four-digit row.
//
//   count        x              width (refresh / relayout)
//   1 - 9        S - 29         9 / 9
//   10 - 99      S - 33         16 / 17
//   100 - 998    S - 36         22 / 23
//   999 - 9999   S - 39         28 / 29
std::optional<CGRect> UIButtonFT::badgeFrameForCount(int64_t count, float bubbleSize, bool relayout) {
    float inset;
    double width;
    if (count >= 1 && count <= 9) {
        inset = 29.0f;
        width = 9;
    } else if (count >= 10 && count <= 99) {
        inset = 33.0f;
        width = relayout ? 17 : 16;
    } else if (count >= 100 && count <= 998) {
        inset = 36.0f;
        width = relayout ? 23 : 22;
    } else if (count >= 999 && count <= 9999) {
        inset = 39.0f;
        width = relayout ? 29 : 28;
    } else {
        return std::nullopt;
    }
    double x = centringOffset(bubbleSize) + static_cast<double>(bubbleSize - inset);
    double y = static_cast<double>(bubbleSize - 13.0f);
    return CGRectMake(x, y, width, 11);
}

void UIButtonFT::setButtonBundleID(std::shared_ptr<NSString> bundleID) {
    buttonBundleID = std::move(bundleID);
    auto colour = badgeColour();
    badgeView = UIView::init();
    badgeView->layer()->setBackgroundColor(colour->CGColor());
    badgeView->setUserInteractionEnabled(NO);
    badgeView->setClipsToBounds(YES);
    badgeView->layer()->setCornerRadius(static_cast<double>(settingsVariables().bubbleSize / 10.0f));

    badgeLabel = std::make_shared<UILabel>();
    badgeLabel->setTextAlignment(NSTextAlignmentLeft);
    badgeLabel->layer()->setBackgroundColor(colour->CGColor());
    badgeLabel->setTextColor(badgeTextColour());
    currentBadgeValue = 0;
}

void UIButtonFT::setAndUpdateBadgeView() {
    const FTSettings& s = settingsVariables();
    if (!s.isBadgeEnabled) return;

    id app = host::applicationForBundleIdentifier(buttonBundleID ? buttonBundleID->UTF8String() : std::string());
    id badge = host::send(app, "badgeValue").object();
    auto text = NSString::stringWithFormat("%@", static_cast<const NSObject*>(badge.get()));
    int64_t n = text->integerValue();
    if (n == currentBadgeValue) return;

    std::string shown = text->UTF8String();
    if (n < 1) {
        if (badgeView) badgeView->setAlpha(0);
        if (badgeLabel) badgeLabel->setAlpha(0);
        if (badgeView) badgeView->removeFromSuperview();
        if (badgeLabel) badgeLabel->removeFromSuperview();
    } else if (badgeView && badgeLabel) {
        badgeLabel->setFont(UIFont::systemFontOfSize(11));
        // A count past four digits shows "9999", and is laid out as the
        // four digits it shows: a frame left as it was would cut the text
        // to the width of a shorter count, or to nothing on a first badge.
        if (n > 9999) shown = "9999";
        if (auto frame = badgeFrameForCount(n > 9999 ? 9999 : n, s.bubbleSize, false)) {
            badgeView->setFrame(*frame);
            if (n <= 9) badgeView->layer()->setCornerRadius(1.5);
        }
        badgeLabel->setFrame(CGRectMake(1.5, -5, 50, 20));
        auto fade = CATransition::animation();
        fade->setType(kCATransitionFade);
        fade->setTimingFunction(CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionEaseInEaseOut));
        fade->setDuration(1.0);
        badgeLabel->layer()->addAnimation(fade, "kCATransitionFade");
        badgeLabel->setText(shown);
        badgeView->addSubview(badgeLabel);
        badgeView->setAlpha(1);
        badgeLabel->setAlpha(1);
    }
    // The stored count is 32-bit: a count beyond that range is kept at the
    // nearest end instead of wrapping round to an unrelated number.
    int64_t stored = NSString(shown).integerValue();
    if (stored > std::numeric_limits<int32_t>::max()) stored = std::numeric_limits<int32_t>::max();
    if (stored < std::numeric_limits<int32_t>::min()) stored = std::numeric_limits<int32_t>::min();
    currentBadgeValue = static_cast<int32_t>(stored);
}

void UIButtonFT::setBadgePos() {
    if (currentBadgeValue < 1 || !badgeView || !badgeLabel) return;
    badgeLabel->setFont(UIFont::systemFontOfSize(11));
    auto frame = badgeFrameForCount(currentBadgeValue, settingsVariables().bubbleSize, true);
    if (!frame) return;
    badgeView->setFrame(*frame);
    if (currentBadgeValue <= 9) badgeView->layer()->setCornerRadius(1.5);
}

void UIButtonFT::setBadgeGlobalColor() {
    if (!badgeLabel || !badgeView) return;
    badgeView->layer()->setBackgroundColor(badgeColour()->CGColor());
    badgeLabel->layer()->setBackgroundColor(badgeColour()->CGColor());
    badgeLabel->setTextColor(badgeTextColour());
}

void UIButtonFT::saveCenter(double x, double y) {
    centerposX = x;
    centerposY = y;
}
