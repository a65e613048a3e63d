// The overlay's window class. It claims a touch only where one of its views
// other than the root view lies under the finger, so everything else on
// screen stays usable beneath it.
#pragma once

#include "uikit/UIWindow.h"

class FTContainingWindow : public UIWindow {
public:
    explicit FTContainingWindow(const CGRect& frame);
    static std::shared_ptr<FTContainingWindow> initWithFrame(const CGRect& frame) {
        return std::make_shared<FTContainingWindow>(frame);
    }
    std::string className() const override { return "FTContainingWindow"; }

    bool pointInside(const CGPoint& point, UIEvent* event) override;
};
