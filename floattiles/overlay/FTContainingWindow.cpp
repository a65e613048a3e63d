#include "overlay/FTContainingWindow.h"

FTContainingWindow::FTContainingWindow(const CGRect& frame) : UIWindow(frame) {
    objc_lookUpOrDefineClass("FTContainingWindow", "UIWindow");
}

// The window's own bounds are not consulted: only what the root view's hit
// test finds decides, with the point as received.
bool FTContainingWindow::pointInside(const CGPoint& point, UIEvent* event) {
    auto root = rootViewController();
    if (!root) return NO;
    auto rootView = root->view();
    if (!rootView) return NO;
    auto hit = rootView->hitTest(point, event);
    if (!hit) return NO;
    if (hit == rootView) return NO;
    return YES;
}
