// The window server: the visible windows, stacked by level (among equal
// levels the one shown last is on top), the key window, and touch routing.
//
// At touch down the server walks the visible windows from the top, asks
// each pointInside with the point in that window's coordinates, and the
// first that answers YES gets the touch; its hitTest picks the view, which
// then receives every move, the lift and any cancel of that touch. Gesture
// recognisers on that view and its ancestors see the touch first. When no
// window claims the touch it goes through to the host beneath.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "uikit/UITouch.h"
#include "uikit/UIWindow.h"

class WindowServer {
public:
    static WindowServer& shared();

    // Visible windows, bottom to top.
    std::vector<std::shared_ptr<UIWindow>> windows() const;
    std::shared_ptr<UIWindow> keyWindow() const;

    // One finger, in screen points. touchDown answers whether a window
    // claimed the touch.
    bool touchDown(const CGPoint& screenPoint);
    void touchMove(const CGPoint& screenPoint);
    void touchUp(const CGPoint& screenPoint);
    void touchCancel();
    bool touchActive() const;
    // The view that has the current touch, if any.
    std::shared_ptr<UIView> touchedView() const;

    // Called when a touch down reaches no window (the host beneath gets it).
    void setPassThroughObserver(std::function<void(const CGPoint&)> observer);

    // Used by UIWindow.
    void windowShown(const std::shared_ptr<UIWindow>& window);
    void windowHidden(UIWindow* window);
    void windowLevelChanged(UIWindow* window);
    void makeKey(UIWindow* window);
    // Cancels the current touch for view (a gesture that began takes it).
    void cancelTouchForView(UIView* view);
};
