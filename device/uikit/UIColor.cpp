#include "uikit/UIColor.h"

#include <cmath>
#include <cstdio>

namespace {
int channel(double c) {
    // Out-of-range and NaN components are drawn clamped, so the hex is too.
    if (!(c > 0)) return 0;
    if (c >= 1) return 255;
    return static_cast<int>(std::lround(c * 255.0));
}
} // namespace

std::string CGColor::hex() const {
    char buf[8];
    std::snprintf(buf, sizeof buf, "#%02x%02x%02x", channel(r), channel(g), channel(b));
    return buf;
}

std::shared_ptr<UIColor> UIColor::colorWithRed(double r, double g, double b, double a) {
    return std::make_shared<UIColor>(r, g, b, a);
}
std::shared_ptr<UIColor> UIColor::clearColor() { return colorWithRed(0, 0, 0, 0); }
std::shared_ptr<UIColor> UIColor::whiteColor() { return colorWithRed(1, 1, 1, 1); }
std::shared_ptr<UIColor> UIColor::blackColor() { return colorWithRed(0, 0, 0, 1); }
// The platform's system blue in light mode: rgb(0, 122, 255).
std::shared_ptr<UIColor> UIColor::systemBlueColor() { return colorWithRed(0, 122.0 / 255.0, 1, 1); }
std::shared_ptr<UIColor> UIColor::colorWithWhite(double white, double alpha) {
    return colorWithRed(white, white, white, alpha);
}

std::string UIColor::description() const {
    char alpha[32];
    std::snprintf(alpha, sizeof alpha, "%g", color_.a);
    return "<UIColor " + color_.hex() + " alpha " + alpha + ">";
}
