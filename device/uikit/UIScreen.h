#pragma once

#include <memory>

#include "runtime/Runtime.h"
#include "uikit/Geometry.h"

class UIScreen : public NSObject {
public:
    // The device's screen; its size is the device's, set by the host before
    // boot, and survives a respring. Until configured: 375 by 667 points at
    // scale 2. A size or scale that is not a positive number is refused.
    static std::shared_ptr<UIScreen> mainScreen();
    static void configure(double width, double height, double scale);
    std::string className() const override { return "UIScreen"; }
    // The bounds follow the interface orientation, as they have since the
    // platform's eighth version: a sideways interface has the long side
    // across.
    CGRect bounds() const;
    double scale() const;
    // The home screen's interface orientation, which the host sets as its
    // process starts (UIInterfaceOrientation; anything but the two
    // landscape ones is upright).
    static void setInterfaceOrientation(long orientation);
    static long interfaceOrientation();
};
