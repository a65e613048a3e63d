#include "uikit/UIViewController.h"

#include "runtime/Process.h"

#include "uikit/UIAlertController.h"
#include "uikit/UIScreen.h"
#include "uikit/UIWindow.h"
#include "uikit/WindowServer.h"

UIViewController::~UIViewController() {
    // What this controller presented goes with it, as it does on the
    // platform when the presenting window goes: an orphaned alert would
    // stay on screen with no way to pick an action. (At process end the
    // window server has already ended every presentation.)
    if (presented_ && Process::exists()) dismissViewControllerAnimated(false, nullptr);
    if (presented_ && presented_->presenting_ == this) presented_->presenting_ = nullptr;
    if (view_ && view_->viewDelegate_ == this) view_->viewDelegate_ = nullptr;
}

std::shared_ptr<UIView> UIViewController::view() {
    if (view_) return view_;
    if (loadingView_) return nullptr;  // loadView asked for the view it is making
    loadingView_ = true;
    loadView();
    loadingView_ = false;
    if (!view_) UIViewController::loadView();
    // viewDidLoad may let go of the controller's last other reference.
    std::shared_ptr<UIView> view = view_;
    viewDidLoad();
    return view;
}

void UIViewController::setView(std::shared_ptr<UIView> view) {
    if (view_ && view_->viewDelegate_ == this) view_->viewDelegate_ = nullptr;
    view_ = std::move(view);
    if (view_) view_->viewDelegate_ = this;
}

void UIViewController::loadView() { setView(UIView::initWithFrame(UIScreen::mainScreen()->bounds())); }

UIWindow* UIViewController::window() const {
    if (view_) {
        if (UIWindow* w = view_->window()) return w;
    }
    return window_;
}

UIResponder* UIViewController::nextResponder() const {
    if (view_ && view_->superview()) return view_->superview();
    return presenting_;
}

void UIViewController::presentViewController(const std::shared_ptr<UIViewController>& controller, bool,
                                             std::function<void()> completion) {
    if (!controller || controller.get() == this || presented_ || controller->presenting_) return;
    UIWindow* host = window();
    if (!host || host->isHidden()) return;
    auto self = std::static_pointer_cast<UIViewController>(weak_from_this().lock());
    if (!self) return;

    const std::shared_ptr<UIViewController> shown = controller;
    presented_ = shown;
    shown->presenting_ = this;
    auto window = UIWindow::initWithFrame(UIScreen::mainScreen()->bounds());
    window->setWindowLevel(host->windowLevel());
    // On the platform the presentation is part of the presenting window, so
    // it shows where that window shows (over the lock screen when secure).
    window->_setSecure(host->isSecure());
    window->setRootViewController(shown);
    shown->presentationWindow_ = window;
    presentedWindow_ = window;
    WindowServer& server = WindowServer::shared();
    server.presentationStarted(self);
    window->setHidden(false);
    if (auto alert = std::dynamic_pointer_cast<UIAlertController>(shown)) server.alertPresented(alert);
    if (completion) completion();
}

void UIViewController::dismissViewControllerAnimated(bool animated, std::function<void()> completion) {
    if (!presented_) {
        if (presenting_) presenting_->dismissViewControllerAnimated(animated, std::move(completion));
        return;
    }
    // Both ends of the presentation stay alive until it is taken down.
    auto self = weak_from_this().lock();
    const std::shared_ptr<UIViewController> dismissed = presented_;
    if (dismissed->presented_) dismissed->dismissViewControllerAnimated(false, nullptr);
    presented_.reset();
    dismissed->presenting_ = nullptr;
    if (auto window = std::move(presentedWindow_)) {
        presentedWindow_.reset();
        window->setHidden(true);
        window->setRootViewController(nullptr);
    }
    dismissed->presentationWindow_.reset();
    if (auto alert = std::dynamic_pointer_cast<UIAlertController>(dismissed))
        WindowServer::shared().alertDismissed(alert);
    if (completion) completion();
}

void UIViewController::_setAllowsAutorotation(bool allows) { lastAllowsAutorotation_ = allows; }
