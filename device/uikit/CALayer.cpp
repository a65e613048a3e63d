#include "uikit/CALayer.h"

#include <algorithm>
#include <cmath>

#include "foundation/RunLoop.h"

const char* const kCATransitionFade = "fade";
const char* const kCATransitionPush = "push";
const char* const kCAMediaTimingFunctionEaseInEaseOut = "easeInEaseOut";
const char* const kCAMediaTimingFunctionLinear = "linear";

std::shared_ptr<CAMediaTimingFunction> CAMediaTimingFunction::functionWithName(const std::string& name) {
    return std::make_shared<CAMediaTimingFunction>(name);
}

double CAAnimation::effectiveDuration() const {
    // Core Animation reads a zero (or meaningless) duration as its default.
    return duration_ > 0 && std::isfinite(duration_) ? duration_ : 0.25;
}

void CALayer::setBorderColor(CGColorRef c) {
    if (c) borderColor_ = *c;
    else borderColor_.reset();
}

void CALayer::setBackgroundColor(CGColorRef c) {
    if (c) backgroundColor_ = *c;
    else backgroundColor_.reset();
}

void CALayer::addAnimation(std::shared_ptr<CAAnimation> animation, const std::string& key) {
    if (!animation) return;
    const double now = NSRunLoop::mainRunLoop().now();
    // Finished animations leave the layer, as with removedOnCompletion, so
    // a layer faded in at every show does not collect them.
    std::erase_if(animations_, [&](const LayerAnimationRecord& r) {
        return (!key.empty() && r.key == key) || r.beginTime + r.animation->effectiveDuration() <= now;
    });
    animations_.push_back({key, std::move(animation), now});
}

std::vector<LayerAnimationRecord> CALayer::animationsAt(double t) const {
    std::vector<LayerAnimationRecord> running;
    for (const auto& r : animations_)
        if (t >= r.beginTime && t < r.beginTime + r.animation->effectiveDuration()) running.push_back(r);
    return running;
}
