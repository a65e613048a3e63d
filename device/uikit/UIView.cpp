#include "uikit/UIView.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "foundation/RunLoop.h"
#include "uikit/UIGestureRecognizer.h"
#include "uikit/UIKitState.h"
#include "uikit/UIViewController.h"
#include "uikit/UIWindow.h"

// ---- UIResponder ----
// A responder that does not handle a touch passes it up the chain, as the
// platform's UIResponder does.

void UIResponder::touchesBegan(const std::vector<UITouch*>& touches, UIEvent* event) {
    if (UIResponder* next = nextResponder()) next->touchesBegan(touches, event);
}
void UIResponder::touchesMoved(const std::vector<UITouch*>& touches, UIEvent* event) {
    if (UIResponder* next = nextResponder()) next->touchesMoved(touches, event);
}
void UIResponder::touchesEnded(const std::vector<UITouch*>& touches, UIEvent* event) {
    if (UIResponder* next = nextResponder()) next->touchesEnded(touches, event);
}
void UIResponder::touchesCancelled(const std::vector<UITouch*>& touches, UIEvent* event) {
    if (UIResponder* next = nextResponder()) next->touchesCancelled(touches, event);
}

// ---- animation helpers ----

struct UIView::Animation : ViewPropertyAnimation {};

namespace {

bool finite(const CGPoint& p) { return std::isfinite(p.x) && std::isfinite(p.y); }
bool finite(const CGRect& r) {
    return finite(r.origin) && std::isfinite(r.size.width) && std::isfinite(r.size.height);
}
bool finite(const CGAffineTransform& t) {
    return std::isfinite(t.a) && std::isfinite(t.b) && std::isfinite(t.c) && std::isfinite(t.d) &&
           std::isfinite(t.tx) && std::isfinite(t.ty);
}

// A cubic Bézier timing curve through (0,0) and (1,1), as Core Animation's
// named timing functions are.
double bezier(double x1, double y1, double x2, double y2, double x) {
    auto coord = [](double p1, double p2, double s) {
        const double u = 1 - s;
        return 3 * u * u * s * p1 + 3 * u * s * s * p2 + s * s * s;
    };
    // x(s) is monotonic for these curves: bisection always converges.
    double lo = 0, hi = 1, s = x;
    for (int i = 0; i < 60; ++i) {
        s = (lo + hi) / 2;
        if (coord(x1, x2, s) < x) lo = s;
        else hi = s;
    }
    return coord(y1, y2, s);
}

double timing(unsigned long options, double x) {
    if (x <= 0) return 0;
    if (x >= 1) return 1;
    switch (options & (3UL << 16)) {
    case UIViewAnimationOptionCurveLinear: return x;
    case UIViewAnimationOptionCurveEaseIn: return bezier(0.42, 0, 1, 1, x);
    case UIViewAnimationOptionCurveEaseOut: return bezier(0, 0, 0.58, 1, x);
    default: return bezier(0.42, 0, 0.58, 1, x);
    }
}

// A transform as rotation · (scale x, shear, scale y) plus translation.
struct Decomposed {
    double angle, sx, sy, shear, tx, ty;
};

Decomposed decompose(const CGAffineTransform& m) {
    const double a = m.a, b = m.b, c = m.c, d = m.d;
    const double sx = std::hypot(a, b);
    const double angle = std::atan2(b, a);
    const double cs = std::cos(angle), sn = std::sin(angle);
    return {angle, sx, -sn * c + cs * d, cs * c + sn * d, m.tx, m.ty};
}

CGAffineTransform recompose(const Decomposed& p) {
    const double cs = std::cos(p.angle), sn = std::sin(p.angle);
    // Columns of rotation · [[sx, shear], [0, sy]].
    return {cs * p.sx, sn * p.sx, cs * p.shear - sn * p.sy, sn * p.shear + cs * p.sy, p.tx, p.ty};
}

double mix(double from, double to, double f) { return from + (to - from) * f; }

CGPoint interpolate(const CGPoint& from, const CGPoint& to, double f) {
    return {mix(from.x, to.x, f), mix(from.y, to.y, f)};
}

CGRect interpolate(const CGRect& from, const CGRect& to, double f) {
    return {{mix(from.origin.x, to.origin.x, f), mix(from.origin.y, to.origin.y, f)},
            {mix(from.size.width, to.size.width, f), mix(from.size.height, to.size.height, f)}};
}

double interpolate(double from, double to, double f) { return mix(from, to, f); }

// A transform goes through its rotation (the shorter way round), scales,
// shear and translation, so a quarter turn stays a rotation all the way.
CGAffineTransform interpolate(const CGAffineTransform& from, const CGAffineTransform& to, double f) {
    Decomposed a = decompose(from), b = decompose(to);
    double delta = b.angle - a.angle;
    if (delta > std::numbers::pi) delta -= 2 * std::numbers::pi;
    if (delta < -std::numbers::pi) delta += 2 * std::numbers::pi;
    return recompose({a.angle + delta * f, mix(a.sx, b.sx, f), mix(a.sy, b.sy, f), mix(a.shear, b.shear, f),
                      mix(a.tx, b.tx, f), mix(a.ty, b.ty, f)});
}

UIViewAnimatableValue valueAt(const ViewPropertyAnimation& a, double t) {
    if (t < a.startTime + a.delay) return a.from;
    if (!(a.duration > 0) || t >= a.endTime()) return a.to;
    const double f = timing(a.options, (t - a.startTime - a.delay) / a.duration);
    return std::visit(
        [&](const auto& from) -> UIViewAnimatableValue {
            using T = std::decay_t<decltype(from)>;
            // A record's two ends always hold the property's one type.
            const T* to = std::get_if<T>(&a.to);
            return to ? UIViewAnimatableValue(interpolate(from, *to, f)) : a.to;
        },
        a.from);
}

double sanitisedTime(double seconds) { return std::isfinite(seconds) && seconds > 0 ? seconds : 0; }

} // namespace

const char* UIViewAnimatablePropertyName(UIViewAnimatableProperty property) {
    switch (property) {
    case UIViewAnimatableProperty::Center: return "center";
    case UIViewAnimatableProperty::Bounds: return "bounds";
    case UIViewAnimatableProperty::Alpha: return "alpha";
    case UIViewAnimatableProperty::Transform: return "transform";
    }
    return "";
}

// ---- UIView ----

UIView::UIView() : layer_(std::make_shared<CALayer>()) {}

UIView::UIView(const CGRect& frame) : UIView() {
    if (!finite(frame)) return;
    const CGRect f = CGRectStandardize(frame);
    center_ = {CGRectGetMidX(f), CGRectGetMidY(f)};
    bounds_ = {{0, 0}, f.size};
}

UIView::~UIView() {
    // Children and recognisers may outlive this view (someone else holds
    // them); their back pointers must not dangle.
    for (auto& sub : subviews_) sub->superview_ = nullptr;
    for (auto& g : gestures_) g->view_ = nullptr;
}

CGRect UIView::frame() const {
    const double w = bounds_.size.width, h = bounds_.size.height;
    if (CGAffineTransformIsIdentity(transform_)) return {{center_.x - w / 2, center_.y - h / 2}, {w, h}};
    return CGRectOffset(CGRectApplyAffineTransform({{-w / 2, -h / 2}, {w, h}}, transform_), center_.x, center_.y);
}

void UIView::setFrame(const CGRect& frame) {
    if (!finite(frame)) return;
    const CGRect f = CGRectStandardize(frame);
    applyCenter({CGRectGetMidX(f), CGRectGetMidY(f)});
    applyBounds({bounds_.origin, f.size});
}

void UIView::setBounds(const CGRect& bounds) {
    if (!finite(bounds)) return;
    applyBounds(CGRectStandardize(bounds));
}

void UIView::setCenter(const CGPoint& center) {
    if (!finite(center)) return;
    applyCenter(center);
}

void UIView::applyCenter(const CGPoint& center) {
    const CGPoint old = center_;
    center_ = center;
    recordChange(UIViewAnimatableProperty::Center, old, center);
}

void UIView::applyBounds(const CGRect& bounds) {
    const CGRect old = bounds_;
    bounds_ = bounds;
    recordChange(UIViewAnimatableProperty::Bounds, old, bounds);
}

void UIView::setTransform(const CGAffineTransform& t) {
    if (!finite(t)) return;
    const CGAffineTransform old = transform_;
    transform_ = t;
    recordChange(UIViewAnimatableProperty::Transform, old, t);
}

void UIView::setAlpha(double alpha) {
    if (!std::isfinite(alpha)) return;
    const double old = alpha_;
    alpha_ = alpha;
    recordChange(UIViewAnimatableProperty::Alpha, old, alpha);
}

void UIView::setBackgroundColor(std::shared_ptr<UIColor> color) {
    backgroundColor_ = std::move(color);
    layer_->setBackgroundColor(backgroundColor_ ? backgroundColor_->CGColor() : nullptr);
}

std::shared_ptr<UIColor> UIView::tintColor() const {
    for (const UIView* v = this; v; v = v->superview_)
        if (v->tintColor_) return v->tintColor_;
    // Nothing up the hierarchy sets one: the window's default tint.
    return UIColor::systemBlueColor();
}

// ---- hierarchy ----

void UIView::addSubview(const std::shared_ptr<UIView>& view) {
    if (!view || view.get() == this || isDescendantOfView(view.get())) return;
    std::shared_ptr<UIView> keep = view;
    if (view->superview_ == this) {
        auto it = std::find(subviews_.begin(), subviews_.end(), view);
        if (it != subviews_.end()) subviews_.erase(it);
        subviews_.push_back(std::move(keep));
        return;
    }
    view->removeFromSuperview();
    subviews_.push_back(keep);
    view->superview_ = this;
}

void UIView::removeFromSuperview() {
    UIView* parent = superview_;
    if (!parent) return;
    superview_ = nullptr;
    // The parent may hold the only reference: keep this view alive until
    // the function has finished with it.
    std::shared_ptr<UIView> keep;
    auto it = std::find_if(parent->subviews_.begin(), parent->subviews_.end(),
                           [this](const std::shared_ptr<UIView>& v) { return v.get() == this; });
    if (it != parent->subviews_.end()) {
        keep = std::move(*it);
        parent->subviews_.erase(it);
    }
}

UIWindow* UIView::window() const { return superview_ ? superview_->window() : nullptr; }

UIResponder* UIView::nextResponder() const {
    if (viewDelegate_) return viewDelegate_;
    return superview_;
}

bool UIView::isDescendantOfView(const UIView* view) const {
    if (!view) return false;
    for (const UIView* v = this; v; v = v->superview_)
        if (v == view) return true;
    return false;
}

UIView* UIView::rootView() const {
    const UIView* v = this;
    while (v->superview_) v = v->superview_;
    return const_cast<UIView*>(v);
}

void UIView::addGestureRecognizer(const std::shared_ptr<UIGestureRecognizer>& recognizer) {
    if (!recognizer || recognizer->view_ == this) return;
    if (recognizer->view_) recognizer->view_->removeGestureRecognizer(recognizer.get());
    gestures_.push_back(recognizer);
    recognizer->view_ = this;
}

void UIView::removeGestureRecognizer(UIGestureRecognizer* recognizer) {
    auto it = std::find_if(gestures_.begin(), gestures_.end(),
                           [recognizer](const auto& g) { return g.get() == recognizer; });
    if (it == gestures_.end()) return;
    std::shared_ptr<UIGestureRecognizer> keep = std::move(*it);
    gestures_.erase(it);
    keep->reset();
    keep->view_ = nullptr;
}

// ---- hit testing ----

std::shared_ptr<UIView> UIView::hitTest(const CGPoint& point, UIEvent* event) {
    if (hidden_ || !userInteractionEnabled_ || alpha_ < 0.01) return nullptr;
    // A point outside this view reaches none of its subviews either, even
    // those that stick out of it (the platform does the same).
    if (!pointInside(point, event)) return nullptr;
    // Front to back; a copy, since a hit test may be overridden to change
    // the hierarchy.
    const auto subviews = subviews_;
    for (auto it = subviews.rbegin(); it != subviews.rend(); ++it) {
        if (auto hit = (*it)->hitTest((*it)->convertPointFromSuperview(point), event)) return hit;
    }
    return std::static_pointer_cast<UIView>(weak_from_this().lock());
}

bool UIView::pointInside(const CGPoint& point, UIEvent*) { return CGRectContainsPoint(bounds_, point); }

// ---- conversion ----

CGPoint UIView::convertPointToSuperview(const CGPoint& point) const {
    const CGPoint mid{CGRectGetMidX(bounds_), CGRectGetMidY(bounds_)};
    const CGPoint v = CGPointApplyAffineTransform({point.x - mid.x, point.y - mid.y}, transform_);
    return {center_.x + v.x, center_.y + v.y};
}

CGPoint UIView::convertPointFromSuperview(const CGPoint& point) const {
    const CGPoint mid{CGRectGetMidX(bounds_), CGRectGetMidY(bounds_)};
    const CGPoint v =
        CGPointApplyAffineTransform({point.x - center_.x, point.y - center_.y}, CGAffineTransformInvert(transform_));
    return {mid.x + v.x, mid.y + v.y};
}

CGPoint UIView::convertPointToScreen(const CGPoint& point) const {
    CGPoint p = point;
    for (const UIView* v = this; v; v = v->superview_) p = v->convertPointToSuperview(p);
    return p;
}

CGPoint UIView::convertPointFromScreen(const CGPoint& point) const {
    std::vector<const UIView*> chain;
    for (const UIView* v = this; v; v = v->superview_) chain.push_back(v);
    CGPoint p = point;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) p = (*it)->convertPointFromSuperview(p);
    return p;
}

// Views of different windows meet in screen coordinates, as on the
// platform; nullptr stands for the window (the top of this hierarchy).
CGPoint UIView::convertPointToView(const CGPoint& point, const UIView* view) const {
    const CGPoint screen = convertPointToScreen(point);
    return (view ? view : rootView())->convertPointFromScreen(screen);
}

CGPoint UIView::convertPointFromView(const CGPoint& point, const UIView* view) const {
    const CGPoint screen = (view ? view : rootView())->convertPointToScreen(point);
    return convertPointFromScreen(screen);
}

// ---- animation ----

void UIView::recordChange(UIViewAnimatableProperty property, const UIViewAnimatableValue& from,
                          const UIViewAnimatableValue& to) {
    if (!Process::exists()) {
        // No process (a view made before boot or after the end): nothing
        // runs, so nothing animates.
        animations_.clear();
        return;
    }
    auto& state = UIKitState::current();
    const double now = NSRunLoop::mainRunLoop().now();
    std::shared_ptr<Animation> running;
    std::erase_if(animations_, [&](const std::shared_ptr<Animation>& a) {
        if (a->property == property) {
            running = a;
            return true;
        }
        return a->endTime() <= now;
    });
    if (state.animationContexts.empty()) return;
    const auto& context = state.animationContexts.back();
    if (!(context.duration > 0)) return;
    auto record = std::make_shared<Animation>();
    record->property = property;
    record->from = running ? valueAt(*running, now) : from;
    record->to = to;
    record->startTime = now;
    record->duration = context.duration;
    record->delay = context.delay;
    record->options = context.options;
    animations_.push_back(std::move(record));
}

UIViewAnimatableValue UIView::presented(UIViewAnimatableProperty property, double t,
                                       const UIViewAnimatableValue& model) const {
    for (const auto& a : animations_)
        if (a->property == property) return t >= a->endTime() ? model : valueAt(*a, t);
    return model;
}

CGPoint UIView::presentationCenter(double t) const {
    return std::get<CGPoint>(presented(UIViewAnimatableProperty::Center, t, center_));
}

CGRect UIView::presentationBounds(double t) const {
    return std::get<CGRect>(presented(UIViewAnimatableProperty::Bounds, t, bounds_));
}

double UIView::presentationAlpha(double t) const {
    return std::get<double>(presented(UIViewAnimatableProperty::Alpha, t, alpha_));
}

CGAffineTransform UIView::presentationTransform(double t) const {
    return std::get<CGAffineTransform>(presented(UIViewAnimatableProperty::Transform, t, transform_));
}

CGRect UIView::presentationFrame(double t) const {
    const CGPoint c = presentationCenter(t);
    const CGSize s = presentationBounds(t).size;
    return CGRectOffset(CGRectApplyAffineTransform({{-s.width / 2, -s.height / 2}, s}, presentationTransform(t)),
                        c.x, c.y);
}

std::vector<ViewPropertyAnimation> UIView::animationsAt(double t) const {
    std::vector<ViewPropertyAnimation> out;
    for (const auto& a : animations_)
        if (t < a->endTime()) out.push_back(*a);
    return out;
}

void UIView::animateWithDuration(double duration, double delay, unsigned long options,
                                 const std::function<void()>& animations, std::function<void(bool)> completion) {
    AnimationLog::notify({NSRunLoop::mainRunLoop().now(), duration, delay, options});
    const double length = sanitisedTime(duration);
    const double wait = sanitisedTime(delay);
    {
        // Popped however the block leaves.
        struct ContextGuard {
            ContextGuard(double d, double w, unsigned long o) {
                UIKitState::current().animationContexts.push_back({d, w, o});
            }
            ~ContextGuard() {
                auto& contexts = UIKitState::current().animationContexts;
                if (!contexts.empty()) contexts.pop_back();
            }
        } guard(length, wait, options);
        if (animations) animations();
    }
    if (!completion) return;
    if (length == 0) {
        completion(true);
        return;
    }
    // The platform calls the completion when the animation ends; here a
    // one-shot timer at its end does, even if the block changed nothing.
    auto& after = UIKitState::current();
    const uint64_t number = after.nextCompletion++;
    after.pendingCompletions.emplace(number, std::move(completion));
    NSTimer::scheduledTimerWithTimeInterval(wait + length, false, [number](NSTimer*) {
        auto& s = UIKitState::current();
        auto it = s.pendingCompletions.find(number);
        if (it == s.pendingCompletions.end()) return;
        auto done = std::move(it->second);
        s.pendingCompletions.erase(it);
        if (done) done(true);
    });
}

// ---- AnimationLog ----

void AnimationLog::setObserver(std::function<void(const AnimationCall&)> observer) {
    UIKitState::current().animationObserver = std::move(observer);
}

void AnimationLog::notify(const AnimationCall& call) {
    auto& state = UIKitState::current();
    if (!state.animationObserver) return;
    auto observer = state.animationObserver;
    observer(call);
}
