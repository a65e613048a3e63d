// Core Animation layers as far as views need them: corner radius, border,
// background colour, and the animations added to them.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "runtime/Runtime.h"
#include "uikit/UIColor.h"

extern const char* const kCATransitionFade;
extern const char* const kCATransitionPush;
extern const char* const kCAMediaTimingFunctionEaseInEaseOut;
extern const char* const kCAMediaTimingFunctionLinear;

class CAMediaTimingFunction : public NSObject {
public:
    explicit CAMediaTimingFunction(std::string name) : name_(std::move(name)) {}
    static std::shared_ptr<CAMediaTimingFunction> functionWithName(const std::string& name);
    std::string className() const override { return "CAMediaTimingFunction"; }
    const std::string& name() const { return name_; }

private:
    std::string name_;
};

class CAAnimation : public NSObject {
public:
    std::string className() const override { return "CAAnimation"; }
    double duration() const { return duration_; }
    void setDuration(double d) { duration_ = d; }
    // The duration it runs for: zero, negative or not finite mean the default.
    double effectiveDuration() const;
    std::shared_ptr<CAMediaTimingFunction> timingFunction() const { return timing_; }
    void setTimingFunction(std::shared_ptr<CAMediaTimingFunction> f) { timing_ = std::move(f); }

protected:
    double duration_ = 0.25; // the platform's default duration
    std::shared_ptr<CAMediaTimingFunction> timing_;
};

class CATransition : public CAAnimation {
public:
    static std::shared_ptr<CATransition> animation() { return std::make_shared<CATransition>(); }
    std::string className() const override { return "CATransition"; }
    const std::string& type() const { return type_; }
    void setType(const std::string& t) { type_ = t; }

private:
    std::string type_ = kCATransitionFade;
};

// One animation as added to a layer, with the virtual time it began.
struct LayerAnimationRecord {
    std::string key;   // empty when added with no key
    std::shared_ptr<CAAnimation> animation;
    double beginTime = 0;
};

class CALayer : public NSObject {
public:
    std::string className() const override { return "CALayer"; }

    double cornerRadius() const { return cornerRadius_; }
    void setCornerRadius(double r) { cornerRadius_ = r; }
    double borderWidth() const { return borderWidth_; }
    void setBorderWidth(double w) { borderWidth_ = w; }
    // Copies the colour; nullptr clears it.
    void setBorderColor(CGColorRef c);
    std::optional<CGColor> borderColor() const { return borderColor_; }
    void setBackgroundColor(CGColorRef c);
    std::optional<CGColor> backgroundColor() const { return backgroundColor_; }
    bool masksToBounds() const { return masksToBounds_; }
    void setMasksToBounds(bool m) { masksToBounds_ = m; }

    // Adding under a key replaces the animation under that key; with no key
    // (empty) it is added beside the others. The begin time is the run
    // loop's virtual now.
    void addAnimation(std::shared_ptr<CAAnimation> animation, const std::string& key);
    void removeAllAnimations() { animations_.clear(); }
    const std::vector<LayerAnimationRecord>& animations() const { return animations_; }
    // Animations still running at virtual time t.
    std::vector<LayerAnimationRecord> animationsAt(double t) const;

private:
    double cornerRadius_ = 0;
    double borderWidth_ = 0;
    std::optional<CGColor> borderColor_;
    std::optional<CGColor> backgroundColor_;
    bool masksToBounds_ = false;
    std::vector<LayerAnimationRecord> animations_;
};
