// Gesture recognisers. The long press as on the platform (minimum press
// 0.5 s, allowable movement 10 points):
//
//   event                    | possible              | began / changed
//   touch down               | start the 0.5 s timer | -
//   move within 10 pt        | -                     | Changed, action
//   move beyond 10 pt        | Failed                | Changed, action
//   timer fires              | Began, action; the    | -
//                            | view's touch cancelled|
//   lift                     | Failed                | Ended, action
//   cancel                   | Failed                | Cancelled, action
#pragma once

#include <memory>
#include <string>

#include "uikit/UITouch.h"

enum UIGestureRecognizerState : long {
    UIGestureRecognizerStatePossible = 0,
    UIGestureRecognizerStateBegan = 1,
    UIGestureRecognizerStateChanged = 2,
    UIGestureRecognizerStateEnded = 3,
    UIGestureRecognizerStateCancelled = 4,
    UIGestureRecognizerStateFailed = 5,
};

class NSTimer;

class UIGestureRecognizer : public NSObject {
public:
    // The target is not kept alive (as on the platform). The action is sent
    // through the runtime with the recogniser as its argument.
    UIGestureRecognizer(const id& target, SEL action);
    std::string className() const override { return "UIGestureRecognizer"; }

    long state() const { return state_; }
    // The view it is attached to.
    UIView* view() const { return view_; }
    std::shared_ptr<UIView> viewRef() const;
    bool isEnabled() const { return enabled_; }
    // A recogniser switched off is left out of touches that begin later.
    void setEnabled(bool e) { enabled_ = e; }
    const SEL& action() const { return action_; }
    id target() const { return target_.lock(); }

    // Fed by the window server for touches that hit this recogniser's view
    // or one of its descendants.
    virtual void touchBegan(UITouch* touch, UIEvent* event) = 0;
    virtual void touchMoved(UITouch* touch, UIEvent* event) = 0;
    virtual void touchEnded(UITouch* touch, UIEvent* event) = 0;
    virtual void touchCancelled(UITouch* touch, UIEvent* event) = 0;
    // Back to possible once the touch is over.
    virtual void reset();

protected:
    friend class UIView;
    void setState(long state);  // sends the action for began/changed/ended/cancelled
    UIView* view_ = nullptr;
    std::weak_ptr<NSObject> target_;
    SEL action_;
    long state_ = UIGestureRecognizerStatePossible;
    bool enabled_ = true;
};

class UILongPressGestureRecognizer : public UIGestureRecognizer {
public:
    // `initWithTarget:action:`.
    static std::shared_ptr<UILongPressGestureRecognizer> initWithTarget(const id& target, const SEL& action) {
        return std::make_shared<UILongPressGestureRecognizer>(target, action);
    }
    UILongPressGestureRecognizer(const id& target, SEL action) : UIGestureRecognizer(target, std::move(action)) {}
    std::string className() const override { return "UILongPressGestureRecognizer"; }

    double minimumPressDuration() const { return minimumPressDuration_; }
    void setMinimumPressDuration(double d) { minimumPressDuration_ = d; }
    double allowableMovement() const { return allowableMovement_; }
    void setAllowableMovement(double m) { allowableMovement_ = m; }

    void touchBegan(UITouch* touch, UIEvent* event) override;
    void touchMoved(UITouch* touch, UIEvent* event) override;
    void touchEnded(UITouch* touch, UIEvent* event) override;
    void touchCancelled(UITouch* touch, UIEvent* event) override;
    void reset() override;

private:
    void pressHeld();
    void fail();
    double minimumPressDuration_ = 0.5;
    double allowableMovement_ = 10.0;
    CGPoint start_{};
    std::shared_ptr<NSTimer> timer_;
    std::shared_ptr<UITouch> touch_;
    std::shared_ptr<UIEvent> event_;
};
