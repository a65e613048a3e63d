#include "uikit/UIScreen.h"

#include <cmath>

#include "uikit/UIKitState.h"

namespace {
// The device's screen belongs to the device, not to one process, so a
// respring keeps it: the one place where a plain static is right.
struct ScreenConfiguration {
    double width = 375;
    double height = 667;
    double scale = 2;
};
ScreenConfiguration& configuration() {
    static ScreenConfiguration c;
    return c;
}
} // namespace

std::shared_ptr<UIScreen> UIScreen::mainScreen() {
    auto& state = UIKitState::current();
    if (!state.screen) state.screen = std::make_shared<UIScreen>();
    return state.screen;
}

void UIScreen::configure(double width, double height, double scale) {
    // A screen of no size (or of no number) would make every layout
    // meaningless: such a configuration is refused and the last one stays.
    auto good = [](double v) { return std::isfinite(v) && v > 0; };
    if (!good(width) || !good(height) || !good(scale)) return;
    configuration() = {width, height, scale};
}

CGRect UIScreen::bounds() const { return CGRectMake(0, 0, configuration().width, configuration().height); }

double UIScreen::scale() const { return configuration().scale; }
