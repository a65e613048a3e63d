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

CGRect UIScreen::bounds() const {
    const long o = interfaceOrientation();
    // 3 and 4: landscape right and left.
    if (o == 3 || o == 4) return CGRectMake(0, 0, configuration().height, configuration().width);
    return CGRectMake(0, 0, configuration().width, configuration().height);
}

void UIScreen::setInterfaceOrientation(long orientation) { UIKitState::current().interfaceOrientation = orientation; }

long UIScreen::interfaceOrientation() { return UIKitState::current().interfaceOrientation; }

double UIScreen::scale() const { return configuration().scale; }
