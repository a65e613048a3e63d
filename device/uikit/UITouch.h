// Touches and touch events. A touch remembers its window location now and
// before the last move; locations in a view are converted through every
// transform between the window and that view.
#pragma once

#include <memory>
#include <vector>

#include "uikit/UIView.h"

enum UITouchPhase : long {
    UITouchPhaseBegan = 0,
    UITouchPhaseMoved = 1,
    UITouchPhaseStationary = 2,
    UITouchPhaseEnded = 3,
    UITouchPhaseCancelled = 4,
};

class UITouch : public NSObject {
public:
    std::string className() const override { return "UITouch"; }
    CGPoint locationInView(const UIView* view) const;
    CGPoint previousLocationInView(const UIView* view) const;
    UIView* view() const { return view_.get(); }
    UIWindow* window() const { return window_.get(); }
    long phase() const { return phase_; }
    double timestamp() const { return timestamp_; }

    // Set by the window server.
    std::shared_ptr<UIView> view_;
    std::shared_ptr<UIWindow> window_;
    CGPoint screenLocation_{};
    CGPoint previousScreenLocation_{};
    long phase_ = UITouchPhaseBegan;
    double timestamp_ = 0;
};

class UIEvent : public NSObject {
public:
    std::string className() const override { return "UIEvent"; }
    // The touches of the event that were delivered to view or to a view
    // inside it; an NSSet on the platform, here a list whose anyObject() is
    // its first element.
    std::vector<UITouch*> touchesForView(const UIView* view) const;
    std::vector<UITouch*> allTouches() const;
    static UITouch* anyObject(const std::vector<UITouch*>& touches) { return touches.empty() ? nullptr : touches.front(); }

    std::vector<std::shared_ptr<UITouch>> touches_;
};
