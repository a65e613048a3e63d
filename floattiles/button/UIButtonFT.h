// One bubble: a button that remembers the app it stands for and carries a
// badge (a coloured rounded rectangle with the app's notification count).
#pragma once

#include <cstdint>
#include <memory>

#include "foundation/Foundation.h"
#include "uikit/UIButton.h"
#include "uikit/UILabel.h"

class UIButtonFT : public UIButton {
public:
    UIButtonFT();
    std::string className() const override { return "UIButtonFT"; }

    // Stores the identifier and starts the badge over: a fresh badge view
    // and label, and a shown count of 0.
    void setButtonBundleID(std::shared_ptr<NSString> bundleID);
    std::shared_ptr<NSString> getButtonBundleID() const { return buttonBundleID; }
    std::shared_ptr<UIView> getBadgeView() const { return badgeView; }
    std::shared_ptr<UILabel> getBadgeLabel() const { return badgeLabel; }
    int32_t getCurrentBadgeValue() const { return currentBadgeValue; }

    // Reads the app's badge from the host and shows, changes or hides it.
    void setAndUpdateBadgeView();
    // Lays the badge out again for the current bubble size.
    void setBadgePos();
    // Applies the badge colours again.
    void setBadgeGlobalColor();
    void saveCenter(double x, double y);

    // The badge's frame for a count (nothing for counts of 10000 or more,
    // which a refresh shows and lays out as 9999); `relayout` selects the
    // widths that setBadgePos uses.
    static std::optional<CGRect> badgeFrameForCount(int64_t count, float bubbleSize, bool relayout);

private:
    std::shared_ptr<NSString> buttonBundleID;
    std::shared_ptr<UIView> badgeView;
    std::shared_ptr<UILabel> badgeLabel;
    double centerposX = 0;
    double centerposY = 0;
    int32_t currentBadgeValue = 0;
};
