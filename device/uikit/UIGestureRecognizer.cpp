#include "uikit/UIGestureRecognizer.h"

#include <cmath>

#include "foundation/RunLoop.h"
#include "uikit/WindowServer.h"

UIGestureRecognizer::UIGestureRecognizer(const id& target, SEL action) : target_(target), action_(std::move(action)) {}

std::shared_ptr<UIView> UIGestureRecognizer::viewRef() const {
    return view_ ? std::static_pointer_cast<UIView>(view_->weak_from_this().lock()) : nullptr;
}

void UIGestureRecognizer::reset() { state_ = UIGestureRecognizerStatePossible; }

void UIGestureRecognizer::setState(long state) {
    state_ = state;
    switch (state) {
    case UIGestureRecognizerStateBegan:
    case UIGestureRecognizerStateChanged:
    case UIGestureRecognizerStateEnded:
    case UIGestureRecognizerStateCancelled: break;
    default: return;
    }
    // The action may drop the last reference to this recogniser (by taking
    // it off its view): keep it until the message is done.
    const id self = weak_from_this().lock();
    if (id target = target_.lock()) objc_msgSend(target, action_, {self});
}

// ---- long press ----
//
// Movement is measured in screen points from where the finger came down,
// so a rotated view allows the same 10 points in every direction.

namespace {
double distance(const CGPoint& a, const CGPoint& b) { return std::hypot(a.x - b.x, a.y - b.y); }
} // namespace

void UILongPressGestureRecognizer::touchBegan(UITouch* touch, UIEvent* event) {
    if (!touch || state_ != UIGestureRecognizerStatePossible || touch_) return;
    touch_ = std::static_pointer_cast<UITouch>(touch->weak_from_this().lock());
    event_ = event ? std::static_pointer_cast<UIEvent>(event->weak_from_this().lock()) : nullptr;
    start_ = touch->screenLocation_;
    std::weak_ptr<NSObject> weakSelf = weak_from_this();
    timer_ = NSTimer::scheduledTimerWithTimeInterval(minimumPressDuration_, false, [weakSelf](NSTimer*) {
        auto self = std::static_pointer_cast<UILongPressGestureRecognizer>(weakSelf.lock());
        if (self) self->pressHeld();
    });
}

void UILongPressGestureRecognizer::pressHeld() {
    timer_.reset();
    if (state_ != UIGestureRecognizerStatePossible || !touch_ || !enabled_) return;
    setState(UIGestureRecognizerStateBegan);
    // The recogniser takes the touch: the view under it sees it cancelled,
    // so a button does not also report a tap for this press.
    if (view_ && state_ == UIGestureRecognizerStateBegan) WindowServer::shared().cancelTouchForView(view_);
}

void UILongPressGestureRecognizer::touchMoved(UITouch* touch, UIEvent*) {
    if (!touch || !touch_ || touch != touch_.get()) return;
    switch (state_) {
    case UIGestureRecognizerStatePossible:
        if (distance(touch->screenLocation_, start_) > allowableMovement_) fail();
        break;
    case UIGestureRecognizerStateBegan:
    case UIGestureRecognizerStateChanged: setState(UIGestureRecognizerStateChanged); break;
    default: break;
    }
}

void UILongPressGestureRecognizer::touchEnded(UITouch* touch, UIEvent*) {
    if (!touch || !touch_ || touch != touch_.get()) return;
    switch (state_) {
    case UIGestureRecognizerStatePossible: fail(); break;
    case UIGestureRecognizerStateBegan:
    case UIGestureRecognizerStateChanged: setState(UIGestureRecognizerStateEnded); break;
    default: break;
    }
}

void UILongPressGestureRecognizer::touchCancelled(UITouch* touch, UIEvent*) {
    if (!touch || !touch_ || touch != touch_.get()) return;
    switch (state_) {
    case UIGestureRecognizerStatePossible: fail(); break;
    case UIGestureRecognizerStateBegan:
    case UIGestureRecognizerStateChanged: setState(UIGestureRecognizerStateCancelled); break;
    default: break;
    }
}

void UILongPressGestureRecognizer::fail() {
    if (timer_) timer_->invalidate();
    timer_.reset();
    setState(UIGestureRecognizerStateFailed);
}

void UILongPressGestureRecognizer::reset() {
    if (timer_) timer_->invalidate();
    timer_.reset();
    touch_.reset();
    event_.reset();
    UIGestureRecognizer::reset();
}
