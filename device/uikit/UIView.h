// Views: geometry (frame, bounds, centre, transform about the centre),
// alpha, hidden, clipping, interaction, subviews, gesture recognisers,
// hit testing and point conversion, and block animations.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "runtime/Runtime.h"
#include "uikit/CALayer.h"
#include "uikit/Geometry.h"
#include "uikit/UIColor.h"

class UIEvent;
class UITouch;
class UIWindow;
class UIGestureRecognizer;

enum UIViewAnimationOptions : unsigned long {
    UIViewAnimationOptionLayoutSubviews = 1 << 0,
    UIViewAnimationOptionAllowUserInteraction = 1 << 1,
    UIViewAnimationOptionBeginFromCurrentState = 1 << 2,
    // Timing curves, as the platform numbers them; without one the curve is
    // ease-in-ease-out, as on the platform.
    UIViewAnimationOptionCurveEaseInOut = 0 << 16,
    UIViewAnimationOptionCurveEaseIn = 1 << 16,
    UIViewAnimationOptionCurveEaseOut = 2 << 16,
    UIViewAnimationOptionCurveLinear = 3 << 16,
};

class UIViewController;

// The view properties that an animation block animates.
enum class UIViewAnimatableProperty { Center, Bounds, Alpha, Transform };
// The property's key path on the platform: "center", "bounds", "alpha",
// "transform".
const char* UIViewAnimatablePropertyName(UIViewAnimatableProperty property);

// A value of an animatable property, of that property's type: a point for
// the centre, a rectangle for the bounds, a number for the alpha, a
// transform for the transform.
using UIViewAnimatableValue = std::variant<CGPoint, CGRect, double, CGAffineTransform>;

// One animated change of one property of a view, as recorded by an
// animation block.
struct ViewPropertyAnimation {
    UIViewAnimatableProperty property = UIViewAnimatableProperty::Alpha;
    UIViewAnimatableValue from;
    UIViewAnimatableValue to;
    double startTime = 0;   // the run loop's virtual now when it was recorded
    double duration = 0;
    double delay = 0;
    unsigned long options = 0;
    double endTime() const { return startTime + delay + duration; }
};

// The base of views; it has the responder's touch entry points.
class UIResponder : public NSObject {
public:
    std::string className() const override { return "UIResponder"; }
    virtual void touchesBegan(const std::vector<UITouch*>& touches, UIEvent* event);
    virtual void touchesMoved(const std::vector<UITouch*>& touches, UIEvent* event);
    virtual void touchesEnded(const std::vector<UITouch*>& touches, UIEvent* event);
    virtual void touchesCancelled(const std::vector<UITouch*>& touches, UIEvent* event);
    virtual UIResponder* nextResponder() const { return nullptr; }
};

class UIView : public UIResponder {
public:
    UIView();
    explicit UIView(const CGRect& frame);
    ~UIView() override;
    // `[[UIView alloc] init]`: an empty frame. `initWithFrame:`.
    static std::shared_ptr<UIView> init() { return std::make_shared<UIView>(); }
    static std::shared_ptr<UIView> initWithFrame(const CGRect& frame) { return std::make_shared<UIView>(frame); }
    std::string className() const override { return "UIView"; }

    // Geometry. center is in the superview's coordinates; the transform
    // turns the bounds about the centre; frame is the bounding box of the
    // transformed bounds. Setting the frame sets centre and bounds size as
    // if the transform were the identity (the platform leaves that case
    // undefined).
    CGRect frame() const;
    virtual void setFrame(const CGRect& frame);
    CGRect bounds() const { return bounds_; }
    void setBounds(const CGRect& bounds);
    CGPoint center() const { return center_; }
    void setCenter(const CGPoint& center);
    CGAffineTransform transform() const { return transform_; }
    void setTransform(const CGAffineTransform& t);

    // Values that are not finite (NaN, infinities) are ignored by every
    // geometry and alpha setter: the view keeps what it had.
    // The alpha as set (1.5 stays 1.5); drawing clamps it to 0..1.
    double alpha() const { return alpha_; }
    void setAlpha(double alpha);
    bool isHidden() const { return hidden_; }
    virtual void setHidden(bool hidden) { hidden_ = hidden; }
    bool isOpaque() const { return opaque_; }
    void setOpaque(bool opaque) { opaque_ = opaque; }
    bool clipsToBounds() const { return layer_->masksToBounds(); }
    void setClipsToBounds(bool clips) { layer_->setMasksToBounds(clips); }
    bool isUserInteractionEnabled() const { return userInteractionEnabled_; }
    void setUserInteractionEnabled(bool enabled) { userInteractionEnabled_ = enabled; }
    std::shared_ptr<UIColor> backgroundColor() const { return backgroundColor_; }
    void setBackgroundColor(std::shared_ptr<UIColor> color);
    std::shared_ptr<UIColor> tintColor() const;
    void setTintColor(std::shared_ptr<UIColor> color) { tintColor_ = std::move(color); }
    CALayer* layer() const { return layer_.get(); }
    long tag() const { return tag_; }
    void setTag(long tag) { tag_ = tag; }
    // The controller whose view this is (the platform's view delegate); it
    // is the view's next responder.
    UIViewController* _viewDelegate() const { return viewDelegate_; }

    // Hierarchy. addSubview: of a view that is already a subview of this
    // view brings it to the front; of a subview of another view moves it.
    void addSubview(const std::shared_ptr<UIView>& view);
    void removeFromSuperview();
    UIView* superview() const { return superview_; }
    const std::vector<std::shared_ptr<UIView>>& subviews() const { return subviews_; }
    // The window this view is in, or nullptr.
    virtual UIWindow* window() const;
    UIResponder* nextResponder() const override;
    bool isDescendantOfView(const UIView* view) const;

    void addGestureRecognizer(const std::shared_ptr<UIGestureRecognizer>& recognizer);
    void removeGestureRecognizer(UIGestureRecognizer* recognizer);
    const std::vector<std::shared_ptr<UIGestureRecognizer>>& gestureRecognizers() const { return gestures_; }

    // Hit testing as the platform does it: a hidden view, one that takes no
    // touches, or one with alpha below 0.01 is never hit, nor is anything
    // inside it; nor is a point for which pointInside answers NO (so a
    // subview sticking out of its parent is not hit there); otherwise the
    // subviews are asked front to back (the point converted into each
    // through its transform), and if none is hit, the view itself is.
    virtual std::shared_ptr<UIView> hitTest(const CGPoint& point, UIEvent* event);
    virtual bool pointInside(const CGPoint& point, UIEvent* event);

    // Conversions between this view's coordinates and another's (nullptr:
    // the window's), through every transform on the way.
    CGPoint convertPointToView(const CGPoint& point, const UIView* view) const;
    CGPoint convertPointFromView(const CGPoint& point, const UIView* view) const;
    // To and from the coordinates of the screen (the window's superview).
    CGPoint convertPointToScreen(const CGPoint& point) const;
    CGPoint convertPointFromScreen(const CGPoint& point) const;

    // `animateWithDuration:delay:options:animations:completion:`. The block
    // runs at once, so model values change at once; every animatable change
    // it makes (centre, bounds, alpha, transform) is recorded so that what
    // is shown at a later instant is interpolated. The completion runs when
    // the animation ends on the run loop's clock (with true), or at once
    // for a zero duration.
    static void animateWithDuration(double duration, double delay, unsigned long options,
                                    const std::function<void()>& animations,
                                    std::function<void(bool)> completion = nullptr);
    static void animateWithDuration(double duration, const std::function<void()>& animations) {
        animateWithDuration(duration, 0, 0, animations, nullptr);
    }

    // What is on screen at virtual time t: the model values with any
    // running animations interpolated.
    //
    // How a recorded change is shown: during its delay the old value, then
    // the timing curve of its options (ease-in-ease-out unless another
    // curve is asked for, as on the platform) from the old value to the
    // new, then the model value. A transform is interpolated through its
    // rotation, scales, shear and translation (the shorter way round), so a
    // quarter turn stays a rotation all the way. A new animated change of a
    // property starts from the value shown at that instant, so the option
    // to begin from the current state is always in effect; a change made
    // outside an animation ends the property's running animation at once.
    CGPoint presentationCenter(double t) const;
    CGRect presentationBounds(double t) const;
    double presentationAlpha(double t) const;
    CGAffineTransform presentationTransform(double t) const;
    // The frame that the presented centre, bounds and transform make.
    CGRect presentationFrame(double t) const;
    // The recorded changes that have not ended by virtual time t.
    std::vector<ViewPropertyAnimation> animationsAt(double t) const;

    // One step up or down the hierarchy: a point of this view's bounds in
    // its superview's coordinates (through the transform about the centre),
    // and back.
    CGPoint convertPointToSuperview(const CGPoint& point) const;
    CGPoint convertPointFromSuperview(const CGPoint& point) const;

private:
    friend class UIWindow;
    friend class UIViewController;
    void recordChange(UIViewAnimatableProperty property, const UIViewAnimatableValue& from,
                      const UIViewAnimatableValue& to);
    void applyCenter(const CGPoint& center);
    void applyBounds(const CGRect& bounds);
    UIViewAnimatableValue presented(UIViewAnimatableProperty property, double t,
                                    const UIViewAnimatableValue& model) const;
    UIView* rootView() const;
    UIViewController* viewDelegate_ = nullptr;
    long tag_ = 0;
    UIView* superview_ = nullptr;
    std::vector<std::shared_ptr<UIView>> subviews_;
    std::vector<std::shared_ptr<UIGestureRecognizer>> gestures_;
    std::shared_ptr<CALayer> layer_;
    CGPoint center_{};
    CGRect bounds_{};
    CGAffineTransform transform_{};
    double alpha_ = 1.0;
    bool hidden_ = false;
    bool opaque_ = true;
    bool userInteractionEnabled_ = true;
    std::shared_ptr<UIColor> backgroundColor_;
    std::shared_ptr<UIColor> tintColor_;
    struct Animation;
    std::vector<std::shared_ptr<Animation>> animations_;
};

// One `animateWithDuration:...` call, as the host's trace reports it.
struct AnimationCall {
    double time = 0;
    double duration = 0;
    double delay = 0;
    unsigned long options = 0;
};

class AnimationLog {
public:
    // Called for every animateWithDuration call, before its block runs.
    // The observer belongs to the process: a respring drops it, so the host
    // sets it again at every boot.
    static void setObserver(std::function<void(const AnimationCall&)> observer);
    static void notify(const AnimationCall& call);
};
