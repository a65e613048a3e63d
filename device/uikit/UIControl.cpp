#include "uikit/UIControl.h"

#include <algorithm>

#include "uikit/UITouch.h"

namespace {
// Same owner, so an expired target still matches itself and a nil target
// matches only a nil one.
bool sameTarget(const std::weak_ptr<NSObject>& held, const id& target) {
    return !held.owner_before(target) && !target.owner_before(held);
}
bool neverSet(const std::weak_ptr<NSObject>& held) { return sameTarget(held, nullptr); }
} // namespace

void UIControl::addTarget(const id& target, const SEL& action, unsigned long controlEvents) {
    if (action.empty() || controlEvents == 0) return;
    // Adding a pair again only adds events to it, so it is never sent twice.
    for (auto& ta : targetActions_) {
        if (ta.action == action && sameTarget(ta.target, target)) {
            ta.events |= controlEvents;
            return;
        }
    }
    targetActions_.push_back({target, action, controlEvents});
}

void UIControl::removeTarget(const id& target, const SEL& action, unsigned long controlEvents) {
    for (auto& ta : targetActions_) {
        if ((!target || sameTarget(ta.target, target)) && (action.empty() || ta.action == action))
            ta.events &= ~controlEvents;
    }
    std::erase_if(targetActions_, [](const TargetAction& ta) { return ta.events == 0; });
}

void UIControl::sendActionsForControlEvents(unsigned long events, UIEvent* event) {
    // An action may remove this control or change its actions: work on a
    // copy, with the control kept alive.
    const id sender = weak_from_this().lock();
    const id eventObject = event ? event->weak_from_this().lock() : nullptr;
    const auto pairs = targetActions_;
    for (const auto& ta : pairs) {
        if (!(ta.events & events)) continue;
        if (id target = ta.target.lock()) {
            objc_msgSend(target, ta.action, {sender, eventObject});
        } else if (neverSet(ta.target)) {
            // A nil target: the first responder up the chain that answers
            // the action gets it, as on the platform.
            for (UIResponder* r = this; r; r = r->nextResponder()) {
                if (!r->respondsToSelector(ta.action)) continue;
                objc_msgSend(r->weak_from_this().lock(), ta.action, {sender, eventObject});
                break;
            }
        }
    }
}

namespace {
bool insideSlop(UIControl* control, const std::vector<UITouch*>& touches) {
    UITouch* touch = UIEvent::anyObject(touches);
    if (!touch) return false;
    const CGRect area = CGRectInset(control->bounds(), -UIControl::kTrackingSlop, -UIControl::kTrackingSlop);
    return CGRectContainsPoint(area, touch->locationInView(control));
}
} // namespace

void UIControl::touchesBegan(const std::vector<UITouch*>& touches, UIEvent* event) {
    if (touches.empty()) return;
    tracking_ = true;
    touchInside_ = true;
    highlighted_ = true;
    sendActionsForControlEvents(UIControlEventTouchDown, event);
}

void UIControl::touchesMoved(const std::vector<UITouch*>& touches, UIEvent* event) {
    if (!tracking_) return;
    const bool inside = insideSlop(this, touches);
    const bool crossed = inside != touchInside_;
    touchInside_ = inside;
    highlighted_ = inside;
    if (inside) {
        if (crossed) sendActionsForControlEvents(UIControlEventTouchDragEnter, event);
        sendActionsForControlEvents(UIControlEventTouchDragInside, event);
    } else {
        if (crossed) sendActionsForControlEvents(UIControlEventTouchDragExit, event);
        sendActionsForControlEvents(UIControlEventTouchDragOutside, event);
    }
}

void UIControl::touchesEnded(const std::vector<UITouch*>& touches, UIEvent* event) {
    if (!tracking_) return;
    const bool inside = insideSlop(this, touches);
    tracking_ = false;
    touchInside_ = inside;
    highlighted_ = false;
    sendActionsForControlEvents(inside ? UIControlEventTouchUpInside : UIControlEventTouchUpOutside, event);
}

void UIControl::touchesCancelled(const std::vector<UITouch*>&, UIEvent* event) {
    if (!tracking_) return;
    tracking_ = false;
    touchInside_ = false;
    highlighted_ = false;
    sendActionsForControlEvents(UIControlEventTouchCancel, event);
}
