// View controllers: the view loads lazily through loadView, the first time
// it is asked for (or when the controller becomes a window's root).
#pragma once

#include <functional>
#include <memory>

#include "uikit/UIView.h"

class UIViewController : public UIResponder {
public:
    UIViewController() = default;
    // `[[UIViewController alloc] init]` and `new`.
    static std::shared_ptr<UIViewController> init() { return std::make_shared<UIViewController>(); }
    std::string className() const override { return "UIViewController"; }

    // The view, loading it first if needed (loadView, then viewDidLoad).
    std::shared_ptr<UIView> view();
    bool isViewLoaded() const { return view_ != nullptr; }
    void setView(std::shared_ptr<UIView> view) { view_ = std::move(view); }
    // The default makes a plain view with the screen's bounds.
    virtual void loadView();
    virtual void viewDidLoad() {}

    // Presents a controller (an alert) above this one's window.
    void presentViewController(const std::shared_ptr<UIViewController>& controller, bool animated,
                               std::function<void()> completion);
    void dismissViewControllerAnimated(bool animated, std::function<void()> completion);
    std::shared_ptr<UIViewController> presentedViewController() const { return presented_; }
    UIViewController* presentingViewController() const { return presenting_; }

    // Private platform operation: recorded, no other effect here.
    void _setAllowsAutorotation(bool allows);
    int allowsAutorotationCalls() const { return autorotationCalls_; }
    bool lastAllowsAutorotation() const { return lastAllowsAutorotation_; }

    UIWindow* window() const;

private:
    friend class UIWindow;
    std::shared_ptr<UIView> view_;
    std::shared_ptr<UIViewController> presented_;
    UIViewController* presenting_ = nullptr;
    UIWindow* window_ = nullptr;
    int autorotationCalls_ = 0;
    bool lastAllowsAutorotation_ = true;
};
