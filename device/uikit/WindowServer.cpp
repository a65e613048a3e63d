#include "uikit/WindowServer.h"

#include <algorithm>

#include "foundation/RunLoop.h"
#include "uikit/UIAlertController.h"
#include "uikit/UIGestureRecognizer.h"

WindowServer& WindowServer::shared() { return Process::current().get<WindowServer>(); }

// ---- windows ----

void WindowServer::prune() const {
    std::erase_if(windows_, [](const std::weak_ptr<UIWindow>& w) { return w.expired(); });
}

std::vector<std::shared_ptr<UIWindow>> WindowServer::windows() const {
    prune();
    std::vector<std::shared_ptr<UIWindow>> out;
    out.reserve(windows_.size());
    for (const auto& weak : windows_)
        if (auto w = weak.lock()) out.push_back(std::move(w));
    return out;
}

bool WindowServer::isShown(const UIWindow& window) const { return !lockScreenShowing_ || window.isSecure(); }

std::vector<std::shared_ptr<UIWindow>> WindowServer::shownWindows() const {
    std::vector<std::shared_ptr<UIWindow>> out = windows();
    std::erase_if(out, [this](const std::shared_ptr<UIWindow>& w) { return !isShown(*w); });
    return out;
}

std::shared_ptr<UIWindow> WindowServer::keyWindow() const {
    const auto visible = windows();
    for (auto it = keyHistory_.rbegin(); it != keyHistory_.rend(); ++it) {
        auto w = it->lock();
        if (w && std::find(visible.begin(), visible.end(), w) != visible.end()) return w;
    }
    return nullptr;
}

void WindowServer::insertByLevel(const std::shared_ptr<UIWindow>& window) {
    // Above every window of its level and below every higher one.
    auto at = std::find_if(windows_.begin(), windows_.end(), [&](const std::weak_ptr<UIWindow>& weak) {
        auto w = weak.lock();
        return w && w->windowLevel() > window->windowLevel();
    });
    windows_.insert(at, window);
}

namespace {

auto sameWindow(const UIWindow* window) {
    return [window](const std::weak_ptr<UIWindow>& w) {
        auto locked = w.lock();
        return !locked || locked.get() == window;
    };
}

} // namespace

void WindowServer::windowShown(const std::shared_ptr<UIWindow>& window) {
    if (!window) return;
    std::erase_if(windows_, sameWindow(window.get()));
    insertByLevel(window);
}

void WindowServer::windowHidden(UIWindow* window) {
    std::erase_if(windows_, sameWindow(window));
    // A hidden window is no longer key; the one key before it (if still
    // shown) is key again.
    std::erase_if(keyHistory_, sameWindow(window));
}

void WindowServer::windowLevelChanged(UIWindow* window) {
    auto it = std::find_if(windows_.begin(), windows_.end(),
                           [window](const std::weak_ptr<UIWindow>& w) { return w.lock().get() == window; });
    if (it == windows_.end()) return;
    std::shared_ptr<UIWindow> moved = it->lock();
    windows_.erase(it);
    insertByLevel(moved);
}

void WindowServer::makeKey(UIWindow* window) {
    if (!window) return;
    auto shared = std::static_pointer_cast<UIWindow>(window->weak_from_this().lock());
    if (!shared) return;
    std::erase_if(keyHistory_, sameWindow(window));
    keyHistory_.push_back(shared);
}

// ---- alerts and presentations ----

std::shared_ptr<UIAlertController> WindowServer::visibleAlert() const {
    const auto stack = shownWindows();
    for (auto it = stack.rbegin(); it != stack.rend(); ++it) {
        if (auto alert = std::dynamic_pointer_cast<UIAlertController>((*it)->rootViewController())) {
            if (alert->isOnScreen()) return alert;
        }
    }
    return nullptr;
}

void WindowServer::setAlertObserver(AlertObserver observer) { alertObserver_ = std::move(observer); }

void WindowServer::setAlertActionObserver(AlertActionObserver observer) { alertActionObserver_ = std::move(observer); }

void WindowServer::presentationStarted(const std::shared_ptr<UIViewController>& presenting) {
    std::erase_if(presenters_, [](const std::weak_ptr<UIViewController>& p) { return p.expired(); });
    presenters_.push_back(presenting);
}

void WindowServer::alertPresented(const std::shared_ptr<UIAlertController>& alert) {
    if (auto observer = alertObserver_) observer(alert, true);
}

void WindowServer::alertDismissed(const std::shared_ptr<UIAlertController>& alert) {
    if (auto observer = alertObserver_) observer(alert, false);
}

void WindowServer::alertActionPicked(const UIAlertController& alert, const std::string& title) {
    if (auto observer = alertActionObserver_) observer(alert, title);
}

// ---- touches ----

void WindowServer::setPassThroughObserver(std::function<void(const CGPoint&)> observer) {
    passThroughObserver_ = std::move(observer);
}

bool WindowServer::touchActive() const { return touch_ != nullptr; }

std::shared_ptr<UIView> WindowServer::touchedView() const { return touch_ ? touch_->touch->view_ : nullptr; }

std::shared_ptr<UITouch> WindowServer::currentTouch() const { return touch_ ? touch_->touch : nullptr; }

void WindowServer::moveTouch(ActiveTouch& active, const CGPoint& screenPoint, long phase) {
    UITouch& t = *active.touch;
    t.previousScreenLocation_ = t.screenLocation_;
    t.screenLocation_ = screenPoint;
    t.phase_ = phase;
    t.timestamp_ = NSRunLoop::mainRunLoop().now();
}

std::shared_ptr<UIView> WindowServer::viewAtPoint(const CGPoint& screenPoint) const {
    auto event = std::make_shared<UIEvent>();
    const auto stack = shownWindows();
    for (auto it = stack.rbegin(); it != stack.rend(); ++it)
        if (auto hit = (*it)->hitTest((*it)->convertPointFromScreen(screenPoint), event.get())) return hit;
    return nullptr;
}

bool WindowServer::touchDown(const CGPoint& screenPoint) {
    if (touch_) touchCancel();
    auto event = std::make_shared<UIEvent>();
    auto touch = std::make_shared<UITouch>();
    touch->screenLocation_ = touch->previousScreenLocation_ = screenPoint;
    touch->phase_ = UITouchPhaseBegan;
    touch->timestamp_ = NSRunLoop::mainRunLoop().now();
    event->touches_.push_back(touch);

    // A copy: a hit test is free to show or hide windows.
    const auto stack = shownWindows();
    for (auto it = stack.rbegin(); it != stack.rend(); ++it) {
        const std::shared_ptr<UIWindow>& window = *it;
        auto hit = window->hitTest(window->convertPointFromScreen(screenPoint), event.get());
        if (!hit) continue;
        touch->view_ = hit;
        touch->window_ = window;
        auto active = std::make_shared<ActiveTouch>();
        active->touch = touch;
        active->event = event;
        for (UIView* v = hit.get(); v; v = v->superview())
            for (const auto& g : v->gestureRecognizers())
                if (g->isEnabled()) active->recognizers.push_back(g);
        touch_ = active;
        for (const auto& g : active->recognizers) {
            if (touch_ != active) return true;
            g->touchBegan(touch.get(), event.get());
        }
        if (touch_ == active && !active->viewCancelled) hit->touchesBegan({touch.get()}, event.get());
        return true;
    }
    if (auto observer = passThroughObserver_) observer(screenPoint);
    return false;
}

void WindowServer::touchMove(const CGPoint& screenPoint) {
    const auto active = touch_;
    if (!active) return;
    moveTouch(*active, screenPoint, UITouchPhaseMoved);
    UITouch* t = active->touch.get();
    UIEvent* e = active->event.get();
    for (const auto& g : active->recognizers) {
        if (touch_ != active) return;
        g->touchMoved(t, e);
    }
    if (touch_ == active && !active->viewCancelled) t->view_->touchesMoved({t}, e);
}

void WindowServer::touchUp(const CGPoint& screenPoint) {
    const auto active = touch_;
    if (!active) return;
    moveTouch(*active, screenPoint, UITouchPhaseEnded);
    UITouch* t = active->touch.get();
    UIEvent* e = active->event.get();
    for (const auto& g : active->recognizers) {
        if (touch_ != active) return;
        g->touchEnded(t, e);
    }
    if (touch_ == active && !active->viewCancelled) t->view_->touchesEnded({t}, e);
    finishTouch(active);
}

void WindowServer::touchCancel() {
    const auto active = touch_;
    if (!active) return;
    UITouch* t = active->touch.get();
    UIEvent* e = active->event.get();
    t->phase_ = UITouchPhaseCancelled;
    t->timestamp_ = NSRunLoop::mainRunLoop().now();
    // Taken off first, so that a handler starting a new touch is not
    // mistaken for this one.
    touch_.reset();
    for (const auto& g : active->recognizers) g->touchCancelled(t, e);
    if (!active->viewCancelled) t->view_->touchesCancelled({t}, e);
    finishTouch(active);
}

void WindowServer::finishTouch(const std::shared_ptr<ActiveTouch>& active) {
    if (touch_ == active) touch_.reset();
    // Recognisers go back to possible for the next touch, and let go of
    // this one (they hold it, and it holds their view).
    for (const auto& g : active->recognizers) g->reset();
}

void WindowServer::cancelTouchForView(UIView* view) {
    const auto active = touch_;
    if (!active || active->viewCancelled || !view) return;
    UITouch* t = active->touch.get();
    if (!t->view_ || !t->view_->isDescendantOfView(view)) return;
    active->viewCancelled = true;
    const long phase = t->phase_;
    t->phase_ = UITouchPhaseCancelled;
    t->view_->touchesCancelled({t}, active->event.get());
    t->phase_ = phase;
}

// ---- process end ----

void WindowServer::shutdown() {
    // Nothing here may reach for another component: this runs while the
    // process walks its components.
    if (auto active = std::move(touch_)) {
        touch_.reset();
        for (const auto& g : active->recognizers) g->reset();
    }
    std::vector<std::shared_ptr<UIViewController>> presented;
    for (auto& weak : presenters_) {
        auto p = weak.lock();
        if (!p) continue;
        if (p->presentedWindow_) {
            p->presentedWindow_->UIView::setHidden(true);
            p->presentedWindow_.reset();
        }
        if (!p->presented_) continue;
        p->presented_->presenting_ = nullptr;
        presented.push_back(std::move(p->presented_));
        p->presented_.reset();
    }
    presenters_.clear();
    std::vector<std::shared_ptr<UIWindow>> windows = this->windows();
    windows_.clear();
    // A window someone else still holds must not think it is on screen.
    for (auto& w : windows) w->UIView::setHidden(true);
    keyHistory_.clear();
    lockScreenShowing_ = false;
    passThroughObserver_ = nullptr;
    alertObserver_ = nullptr;
    alertActionObserver_ = nullptr;
    // Windows and controllers go here, while plugins are still loaded.
    windows.clear();
    presented.clear();
}
