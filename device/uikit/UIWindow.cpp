#include "uikit/UIWindow.h"

#include <cmath>

#include "runtime/Process.h"
#include "uikit/WindowServer.h"

UIWindow::UIWindow() { hidden_ = true; }

UIWindow::UIWindow(const CGRect& frame) : UIView(frame) { hidden_ = true; }

UIWindow::~UIWindow() {
    if (root_ && root_->window_ == this) root_->window_ = nullptr;
}

void UIWindow::setRootViewController(const std::shared_ptr<UIViewController>& controller) {
    if (controller == root_) return;
    // The argument may be another window's root_ (or this one's): work on
    // a copy of it.
    const std::shared_ptr<UIViewController> incoming = controller;
    const std::shared_ptr<UIViewController> outgoing = std::move(root_);
    root_.reset();
    if (outgoing) {
        if (outgoing->window_ == this) outgoing->window_ = nullptr;
        if (outgoing->view_ && outgoing->view_->superview() == this) outgoing->view_->removeFromSuperview();
    }
    if (!incoming) return;
    if (UIWindow* previous = incoming->window_; previous && previous != this) previous->setRootViewController(nullptr);
    root_ = incoming;
    incoming->window_ = this;
    std::shared_ptr<UIView> view = incoming->view();
    view->setFrame(bounds());
    addSubview(view);
}

void UIWindow::setFrame(const CGRect& frame) {
    UIView::setFrame(frame);
    if (root_ && root_->isViewLoaded() && root_->view_->superview() == this) root_->view_->setFrame(bounds());
}

void UIWindow::setWindowLevel(UIWindowLevel level) {
    if (!std::isfinite(level) || level == level_) return;
    level_ = level;
    if (!isHidden() && Process::exists()) WindowServer::shared().windowLevelChanged(this);
}

void UIWindow::setHidden(bool hidden) {
    if (hidden == isHidden()) return;
    UIView::setHidden(hidden);
    if (!Process::exists()) return;
    // What the root controller presents is part of this window on the
    // platform: it goes with it, and comes back above it.
    std::shared_ptr<UIWindow> presentation = root_ ? root_->presentedWindow_ : nullptr;
    WindowServer& server = WindowServer::shared();
    if (hidden) {
        if (presentation) presentation->setHidden(true);
        server.windowHidden(this);
        return;
    }
    if (auto self = std::static_pointer_cast<UIWindow>(weak_from_this().lock())) server.windowShown(self);
    if (presentation) presentation->setHidden(false);
}

void UIWindow::makeKeyAndVisible() {
    setHidden(false);
    makeKeyWindow();
}

void UIWindow::makeKeyWindow() {
    if (Process::exists()) WindowServer::shared().makeKey(this);
}

bool UIWindow::isKeyWindow() const {
    return Process::exists() && WindowServer::shared().keyWindow().get() == this;
}

UIResponder* UIWindow::nextResponder() const { return nullptr; }

std::shared_ptr<UIWindow> UIWindow::keyWindow() { return WindowServer::shared().keyWindow(); }
