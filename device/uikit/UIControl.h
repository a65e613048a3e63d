// Controls: target/action pairs by control event, and touch tracking as the
// platform does it. "Inside" is the control's bounds grown by 70 points on
// every side.
//
//   event        | inside (bounds + 70)          | outside
//   touch down   | TouchDown, tracking begins    | (never: the touch hit the control)
//   move         | DragEnter once, DragInside    | DragExit once, DragOutside
//   lift         | TouchUpInside                 | TouchUpOutside
//   cancel       | TouchCancel                   | TouchCancel
#pragma once

#include <vector>

#include "uikit/UIView.h"

enum UIControlEvents : unsigned long {
    UIControlEventTouchDown = 1 << 0,
    UIControlEventTouchDownRepeat = 1 << 1,
    UIControlEventTouchDragInside = 1 << 2,
    UIControlEventTouchDragOutside = 1 << 3,
    UIControlEventTouchDragEnter = 1 << 4,
    UIControlEventTouchDragExit = 1 << 5,
    UIControlEventTouchUpInside = 1 << 6,
    UIControlEventTouchUpOutside = 1 << 7,
    UIControlEventTouchCancel = 1 << 8,
    UIControlEventAllTouchEvents = 0x0FFF,
};

enum UIControlState : unsigned long {
    UIControlStateNormal = 0,
    UIControlStateHighlighted = 1 << 0,
};

class UIControl : public UIView {
public:
    using UIView::UIView;
    std::string className() const override { return "UIControl"; }

    // The target is not kept alive by the control (as on the platform).
    // Actions for one event run in the order they were added; each is sent
    // as a message (sender, event) to its target through the runtime. A nil
    // target sends the action to the first responder up the chain from the
    // control that answers it; a target that has gone gets nothing. Adding
    // a target/action pair again adds only its events.
    void addTarget(const id& target, const SEL& action, unsigned long controlEvents);
    void removeTarget(const id& target, const SEL& action, unsigned long controlEvents);
    // Sends the actions of every event in events, in order of addition.
    void sendActionsForControlEvents(unsigned long events, UIEvent* event);

    struct TargetAction {
        std::weak_ptr<NSObject> target;
        SEL action;
        unsigned long events;
    };
    const std::vector<TargetAction>& targetActions() const { return targetActions_; }

    bool isTracking() const { return tracking_; }
    bool isTouchInside() const { return touchInside_; }
    bool isHighlighted() const { return highlighted_; }

    void touchesBegan(const std::vector<UITouch*>& touches, UIEvent* event) override;
    void touchesMoved(const std::vector<UITouch*>& touches, UIEvent* event) override;
    void touchesEnded(const std::vector<UITouch*>& touches, UIEvent* event) override;
    void touchesCancelled(const std::vector<UITouch*>& touches, UIEvent* event) override;

    static constexpr double kTrackingSlop = 70.0;

private:
    std::vector<TargetAction> targetActions_;
    bool tracking_ = false;
    bool touchInside_ = false;
    bool highlighted_ = false;
};
