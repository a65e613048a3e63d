// Colours with their components in 0..1, and CGColor as the same value
// (layers take a CGColor, views a UIColor).
#pragma once

#include <memory>
#include <string>

#include "runtime/Runtime.h"

struct CGColor {
    double r = 0, g = 0, b = 0, a = 0;
    bool operator==(const CGColor&) const = default;
    // "#rrggbb" of the components, rounded.
    std::string hex() const;
};
using CGColorRef = const CGColor*;

class UIColor : public NSObject {
public:
    UIColor(double r, double g, double b, double a) : color_{r, g, b, a} {}
    static std::shared_ptr<UIColor> colorWithRed(double r, double g, double b, double a);
    static std::shared_ptr<UIColor> clearColor();
    static std::shared_ptr<UIColor> whiteColor();
    static std::shared_ptr<UIColor> blackColor();
    static std::shared_ptr<UIColor> systemBlueColor();
    static std::shared_ptr<UIColor> colorWithWhite(double white, double alpha);

    std::string className() const override { return "UIColor"; }
    std::string description() const override;
    // Valid as long as the colour lives.
    CGColorRef CGColor() const { return &color_; }
    const ::CGColor& components() const { return color_; }

private:
    ::CGColor color_;
};
