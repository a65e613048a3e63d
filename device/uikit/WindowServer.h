// The window server: the visible windows, stacked by level (among equal
// levels the one shown last is on top), the key window, and touch routing.
//
// At touch down the server walks the visible windows from the top, asks
// each pointInside with the point in that window's coordinates, and the
// first that answers YES gets the touch; its hitTest picks the view, which
// then receives every move, the lift and any cancel of that touch. Gesture
// recognisers on that view and its ancestors see the touch first. When no
// window claims the touch it goes through to the host beneath.
//
// The server holds no window: as UIKit's application, it keeps its list of
// windows weakly, so a window whose last owner lets it go is deallocated
// and leaves the screen, with whatever it presents. Whoever shows a window
// keeps it for as long as it should be seen. (A touch in progress keeps
// its window and view until it ends.)
//
// While the lock screen shows (the host says so), only secure windows
// (_setSecure: YES) are drawn and take touches; the others stay in the
// list, visible but behind the lock screen, and come back when it goes.
//
// It is a component of the process: a respring drops every window, every
// presented controller and the touch in progress.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "runtime/Process.h"
#include "uikit/UITouch.h"
#include "uikit/UIWindow.h"

class UIAlertController;
class UIGestureRecognizer;

class WindowServer : public ProcessComponent {
public:
    static WindowServer& shared();

    // Visible windows, bottom to top, those behind the lock screen included.
    std::vector<std::shared_ptr<UIWindow>> windows() const;
    // The visible windows on screen now, bottom to top: while the lock
    // screen shows, only the secure ones.
    std::vector<std::shared_ptr<UIWindow>> shownWindows() const;
    bool isShown(const UIWindow& window) const;
    // Set by the host when its lock screen comes and goes.
    void setLockScreenShowing(bool showing) { lockScreenShowing_ = showing; }
    bool lockScreenShowing() const { return lockScreenShowing_; }
    // The window last made key that is still visible, or nullptr.
    std::shared_ptr<UIWindow> keyWindow() const;

    // One finger, in screen points. touchDown answers whether a window
    // claimed the touch. A touch down while a touch is in progress cancels
    // that touch first.
    bool touchDown(const CGPoint& screenPoint);
    // The view a touch down at screenPoint would land on, found as
    // touchDown finds it, with no touch made; nullptr when it would go
    // through to the host.
    std::shared_ptr<UIView> viewAtPoint(const CGPoint& screenPoint) const;
    void touchMove(const CGPoint& screenPoint);
    void touchUp(const CGPoint& screenPoint);
    void touchCancel();
    bool touchActive() const;
    // The view that has the current touch, if any.
    std::shared_ptr<UIView> touchedView() const;
    // The touch in progress, if any.
    std::shared_ptr<UITouch> currentTouch() const;

    // Called when a touch down reaches no window (the host beneath gets it).
    // Like the alert observer, it belongs to the process: set it again
    // after a respring.
    void setPassThroughObserver(std::function<void(const CGPoint&)> observer);

    // The topmost alert on screen, or nullptr.
    std::shared_ptr<UIAlertController> visibleAlert() const;
    // Called when an alert comes on screen (true) and when it is dismissed
    // (false), before the handler of the action that dismissed it runs.
    using AlertObserver = std::function<void(const std::shared_ptr<UIAlertController>& alert, bool presented)>;
    void setAlertObserver(AlertObserver observer);
    // Called when a touch or a program picks an alert's action, before the
    // alert goes and before the action's handler runs: what was chosen is
    // the platform's fact, not something to guess from what followed.
    using AlertActionObserver = std::function<void(const UIAlertController& alert, const std::string& title)>;
    void setAlertActionObserver(AlertActionObserver observer);

    // Used by UIWindow.
    void windowShown(const std::shared_ptr<UIWindow>& window);
    void windowHidden(UIWindow* window);
    void windowLevelChanged(UIWindow* window);
    void makeKey(UIWindow* window);
    // Cancels the current touch for view (a gesture that began takes it):
    // the touched view, if it is view or inside it, gets touchesCancelled
    // and nothing more of this touch; recognisers go on seeing it.
    void cancelTouchForView(UIView* view);

    // Used by UIViewController: a presentation the server must end at
    // process end, and the alert observer's two calls.
    void presentationStarted(const std::shared_ptr<UIViewController>& presenting);
    void alertPresented(const std::shared_ptr<UIAlertController>& alert);
    void alertDismissed(const std::shared_ptr<UIAlertController>& alert);
    void alertActionPicked(const UIAlertController& alert, const std::string& title);

    void shutdown() override;

private:
    struct ActiveTouch {
        std::shared_ptr<UITouch> touch;
        std::shared_ptr<UIEvent> event;
        std::vector<std::shared_ptr<UIGestureRecognizer>> recognizers;
        bool viewCancelled = false;
    };
    void insertByLevel(const std::shared_ptr<UIWindow>& window);
    // Drops the windows that have been deallocated.
    void prune() const;
    void moveTouch(ActiveTouch& active, const CGPoint& screenPoint, long phase);
    void finishTouch(const std::shared_ptr<ActiveTouch>& active);

    mutable std::vector<std::weak_ptr<UIWindow>> windows_; // bottom to top
    bool lockScreenShowing_ = false;
    std::vector<std::weak_ptr<UIWindow>> keyHistory_;       // last made key last
    std::vector<std::weak_ptr<UIViewController>> presenters_;
    std::shared_ptr<ActiveTouch> touch_;
    std::function<void(const CGPoint&)> passThroughObserver_;
    AlertObserver alertObserver_;
    AlertActionObserver alertActionObserver_;
};
