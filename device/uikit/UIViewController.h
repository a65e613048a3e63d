// View controllers: the view loads lazily through loadView, the first time
// it is asked for (or when the controller becomes a window's root).
#pragma once

#include <functional>
#include <memory>

#include "uikit/UIView.h"

class UIViewController : public UIResponder {
public:
    UIViewController() = default;
    ~UIViewController() override;
    // `[[UIViewController alloc] init]` and `new`.
    static std::shared_ptr<UIViewController> init() { return std::make_shared<UIViewController>(); }
    std::string className() const override { return "UIViewController"; }

    // The view, loading it first if needed (loadView, then viewDidLoad). A
    // loadView that sets no view gets the default view, so the answer is
    // never nil (the platform would ask again forever).
    std::shared_ptr<UIView> view();
    bool isViewLoaded() const { return view_ != nullptr; }
    void setView(std::shared_ptr<UIView> view);
    // The default makes a plain view with the screen's bounds.
    virtual void loadView();
    virtual void viewDidLoad() {}

    // Presents a controller (an alert) above this one's window: it gets a
    // window of its own, at the level of this controller's window and on
    // top of it, covering the screen, with the controller as its root.
    // As on the platform, nothing is presented while this controller
    // already presents one, when the controller is already presented, or
    // when this controller's view is not in a visible window. The
    // completion runs once the controller is on screen (at once here).
    void presentViewController(const std::shared_ptr<UIViewController>& controller, bool animated,
                               std::function<void()> completion);
    // Sent to the presenting controller, or to the presented one (which
    // passes it on), it takes the presented controller, and anything that
    // one presents, off screen; then the completion runs. A presenting
    // controller that goes away dismisses what it presented.
    void dismissViewControllerAnimated(bool animated, std::function<void()> completion);
    // The window that shows this controller while it is presented. It is
    // shown and hidden with the presenting controller's window, as the
    // presented view is part of that window on the platform.
    UIWindow* presentationWindow() const { return presentationWindow_.lock().get(); }
    std::shared_ptr<UIViewController> presentedViewController() const { return presented_; }
    UIViewController* presentingViewController() const { return presenting_; }

    // Private platform operation: recorded, no other effect here.
    void _setAllowsAutorotation(bool allows);
    bool lastAllowsAutorotation() const { return lastAllowsAutorotation_; }

    UIWindow* window() const;
    // The superview of the view, or the presenting controller.
    UIResponder* nextResponder() const override;

private:
    friend class UIWindow;
    friend class WindowServer;
    std::shared_ptr<UIView> view_;
    std::weak_ptr<UIWindow> presentationWindow_;    // while presented
    std::shared_ptr<UIWindow> presentedWindow_;      // while presenting: presented_'s window
    bool loadingView_ = false;
    std::shared_ptr<UIViewController> presented_;
    UIViewController* presenting_ = nullptr;
    UIWindow* window_ = nullptr;
    bool lastAllowsAutorotation_ = true;
};
