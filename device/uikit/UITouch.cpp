#include "uikit/UITouch.h"

#include "uikit/UIWindow.h"

namespace {
// nullptr asks for the window's coordinates, as on the platform.
CGPoint inView(const CGPoint& screen, const UIView* view, const UIWindow* window) {
    if (view) return view->convertPointFromScreen(screen);
    if (window) return window->convertPointFromScreen(screen);
    return screen;
}
} // namespace

CGPoint UITouch::locationInView(const UIView* view) const { return inView(screenLocation_, view, window_.get()); }

CGPoint UITouch::previousLocationInView(const UIView* view) const {
    return inView(previousScreenLocation_, view, window_.get());
}

// The touches delivered to view or to one of its subviews: a control asks
// with itself while the touch may have landed on a part of it.
std::vector<UITouch*> UIEvent::touchesForView(const UIView* view) const {
    std::vector<UITouch*> found;
    if (!view) return found;
    for (const auto& t : touches_)
        if (t && t->view_ && t->view_->isDescendantOfView(view)) found.push_back(t.get());
    return found;
}

std::vector<UITouch*> UIEvent::allTouches() const {
    std::vector<UITouch*> all;
    for (const auto& t : touches_)
        if (t) all.push_back(t.get());
    return all;
}
