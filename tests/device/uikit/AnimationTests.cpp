#include <cmath>
#include <limits>
#include <numbers>

#include "UIKitTestSupport.h"
#include "uikit/CALayer.h"
#include "uikit/UIView.h"

using namespace uikit_test;

namespace {
class AnimationTest : public UIKitTest {};
constexpr unsigned long kLinear = UIViewAnimationOptionCurveLinear;
constexpr unsigned long kLayoutAndTouches =
    UIViewAnimationOptionLayoutSubviews | UIViewAnimationOptionAllowUserInteraction;
} // namespace

// Tests that the block's changes are made at once and shown half-way
// through the duration as half-way values.
TEST_F(AnimationTest, ValuesAreInterpolatedHalfWay) {
    auto v = UIView::initWithFrame(CGRectMake(0, 0, 100, 100));
    UIView::animateWithDuration(1.0, 0, kLinear, [&] {
        v->setAlpha(0.0);
        v->setFrame(CGRectMake(100, 200, 200, 50));
    });
    EXPECT_EQ(v->alpha(), 0.0);
    EXPECT_EQ(v->center(), CGPointMake(200, 225));
    const double t0 = now();
    EXPECT_EQ(v->presentationAlpha(t0), 1.0);
    EXPECT_NEAR(v->presentationAlpha(t0 + 0.5), 0.5, 1e-12);
    expectNear(v->presentationCenter(t0 + 0.5), {125, 137.5});
    expectNear(v->presentationBounds(t0 + 0.5), CGRectMake(0, 0, 150, 75));
    expectNear(v->presentationFrame(t0 + 0.5), CGRectMake(50, 100, 150, 75));
    EXPECT_EQ(v->presentationAlpha(t0 + 1.0), 0.0);
    EXPECT_EQ(v->presentationAlpha(t0 + 5.0), 0.0);
}

TEST_F(AnimationTest, DefaultCurveEasesInAndOut) {
    auto v = UIView::init();
    UIView::animateWithDuration(1.0, [&] { v->setAlpha(0.0); });
    const double t0 = now();
    EXPECT_NEAR(v->presentationAlpha(t0 + 0.5), 0.5, 1e-9);
    // Slow at the start, slow at the end.
    EXPECT_GT(v->presentationAlpha(t0 + 0.1), 0.9);
    EXPECT_LT(v->presentationAlpha(t0 + 0.9), 0.1);
    EXPECT_GT(v->presentationAlpha(t0 + 0.1), v->presentationAlpha(t0 + 0.2));
}

TEST_F(AnimationTest, DelayShowsTheOldValueUntilItStarts) {
    auto v = UIView::init();
    UIView::animateWithDuration(1.0, 0.5, kLinear, [&] { v->setAlpha(0.0); });
    const double t0 = now();
    EXPECT_EQ(v->presentationAlpha(t0 + 0.4), 1.0);
    EXPECT_NEAR(v->presentationAlpha(t0 + 1.0), 0.5, 1e-12);
    EXPECT_EQ(v->presentationAlpha(t0 + 1.5), 0.0);
}

// Tests that a new animation of a property starts where the running one
// had got to, and that a plain set ends the animation.
TEST_F(AnimationTest, NewAnimationStartsFromThePresentedValue) {
    auto v = UIView::init();
    v->setCenter({0, 0});
    UIView::animateWithDuration(1.0, 0, kLinear, [&] { v->setCenter({100, 0}); });
    advance(0.5);
    UIView::animateWithDuration(1.0, 0, kLinear, [&] { v->setCenter({100, 100}); });
    const double t1 = now();
    expectNear(v->presentationCenter(t1), {50, 0});
    expectNear(v->presentationCenter(t1 + 0.5), {75, 50});
    expectNear(v->presentationCenter(t1 + 1.0), {100, 100});

    v->setCenter({7, 7});
    EXPECT_EQ(v->presentationCenter(t1 + 0.5), CGPointMake(7, 7));
    EXPECT_TRUE(v->animationsAt(t1).empty());
}

TEST_F(AnimationTest, NestedCallsUseTheirOwnTiming) {
    auto v = UIView::init();
    std::vector<AnimationCall> calls;
    AnimationLog::setObserver([&](const AnimationCall& c) { calls.push_back(c); });
    UIView::animateWithDuration(1.0, 0, kLinear | kLayoutAndTouches, [&] {
        v->setAlpha(0.0);
        UIView::animateWithDuration(2.0, 0, kLinear, [&] { v->setCenter({20, 0}); });
        v->setBounds(CGRectMake(0, 0, 10, 10));
    });
    const double t0 = now();
    EXPECT_EQ(v->presentationAlpha(t0 + 1.0), 0.0);
    expectNear(v->presentationCenter(t0 + 1.0), {10, 0});
    expectNear(v->presentationBounds(t0 + 0.5), CGRectMake(0, 0, 5, 5));
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].duration, 1.0);
    EXPECT_EQ(calls[0].options, kLinear | kLayoutAndTouches);
    EXPECT_EQ(calls[0].time, t0);
    EXPECT_EQ(calls[1].duration, 2.0);
    const auto running = v->animationsAt(t0);
    ASSERT_EQ(running.size(), 3u);
    EXPECT_EQ(running[1].property, UIViewAnimatableProperty::Center);
    EXPECT_EQ(running[1].duration, 2.0);
}

TEST_F(AnimationTest, QuarterTurnStaysARotation) {
    auto v = UIView::init();
    UIView::animateWithDuration(1.0, 0, kLinear, [&] { v->setTransform(CGAffineTransformMakeRotation(std::numbers::pi / 2)); });
    const CGAffineTransform mid = v->presentationTransform(now() + 0.5);
    const CGAffineTransform eighth = CGAffineTransformMakeRotation(std::numbers::pi / 4);
    EXPECT_NEAR(mid.a, eighth.a, 1e-9);
    EXPECT_NEAR(mid.b, eighth.b, 1e-9);
    EXPECT_NEAR(mid.c, eighth.c, 1e-9);
    EXPECT_NEAR(mid.d, eighth.d, 1e-9);
    // Back from a turn with a scale and a move, half-way is half of each.
    v->setTransform(CGAffineTransformConcat(CGAffineTransformMakeScale(3, 3), CGAffineTransformMakeTranslation(10, 0)));
    UIView::animateWithDuration(1.0, 0, kLinear, [&] { v->setTransform(CGAffineTransformIdentity); });
    const CGAffineTransform back = v->presentationTransform(now() + 0.5);
    EXPECT_NEAR(back.a, 2, 1e-9);
    EXPECT_NEAR(back.d, 2, 1e-9);
    EXPECT_NEAR(back.b, 0, 1e-9);
    EXPECT_NEAR(back.tx, 5, 1e-9);
}

// Tests the half turn, where both ways round are equally short: like Core
// Animation's interpolation of the rotation, a half turn back goes back the
// way the half turn came (through the same quarter), and a quarter turn one
// way to a quarter turn the other passes upright.
TEST_F(AnimationTest, HalfTurnBackRetracesItsWay) {
    auto v = UIView::init();
    UIView::animateWithDuration(1.0, 0, kLinear,
                                [&] { v->setTransform(CGAffineTransformMakeRotation(std::numbers::pi)); });
    EXPECT_NEAR(v->presentationTransform(now() + 0.5).b, 1, 1e-9); // sin of a quarter turn
    advance(1.0);
    UIView::animateWithDuration(1.0, 0, kLinear, [&] { v->setTransform(CGAffineTransformIdentity); });
    EXPECT_NEAR(v->presentationTransform(now() + 0.5).b, 1, 1e-9);
    advance(1.0);
    v->setTransform(CGAffineTransformMakeRotation(std::numbers::pi / 2));
    UIView::animateWithDuration(1.0, 0, kLinear,
                                [&] { v->setTransform(CGAffineTransformMakeRotation(-std::numbers::pi / 2)); });
    EXPECT_NEAR(v->presentationTransform(now() + 0.5).a, 1, 1e-9);
}

TEST_F(AnimationTest, CompletionRunsWhenTheAnimationEnds) {
    auto v = UIView::init();
    std::vector<bool> done;
    UIView::animateWithDuration(0.3, 0.2, 0, [&] { v->setAlpha(0.5); }, [&](bool finished) { done.push_back(finished); });
    EXPECT_TRUE(done.empty());
    advance(0.45);
    EXPECT_TRUE(done.empty());
    advance(0.1);
    ASSERT_EQ(done.size(), 1u);
    EXPECT_TRUE(done[0]);
    advance(5);
    EXPECT_EQ(done.size(), 1u);

    // No duration: no animation, and the completion at once.
    UIView::animateWithDuration(0, 0, 0, [&] { v->setAlpha(0.2); }, [&](bool finished) { done.push_back(finished); });
    EXPECT_EQ(done.size(), 2u);
    EXPECT_TRUE(v->animationsAt(now()).empty());
    EXPECT_EQ(v->presentationAlpha(now()), 0.2);
}

TEST_F(AnimationTest, ProcessEndDropsPendingCompletions) {
    auto keep = std::make_shared<int>(1);
    std::weak_ptr<int> watch = keep;
    bool ran = false;
    UIView::animateWithDuration(1.0, 0, 0, [] {}, [keep, &ran](bool) { ran = true; });
    keep.reset();
    EXPECT_FALSE(watch.expired());
    Process::terminate();
    EXPECT_TRUE(watch.expired());
    advance(2);
    EXPECT_FALSE(ran);
}

TEST_F(AnimationTest, LayerAnimationsByKeyWithBeginTime) {
    CALayer layer;
    advance(1.0);
    auto fade = CATransition::animation();
    fade->setDuration(1.0);
    fade->setTimingFunction(CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionEaseInEaseOut));
    layer.addAnimation(fade, "kCATransitionFade");
    ASSERT_EQ(layer.animations().size(), 1u);
    EXPECT_EQ(layer.animations()[0].beginTime, now());
    EXPECT_EQ(std::static_pointer_cast<CATransition>(layer.animations()[0].animation)->type(), "fade");
    EXPECT_EQ(layer.animations()[0].animation->timingFunction()->name(), "easeInEaseOut");

    // The same key replaces; no key adds beside.
    layer.addAnimation(CATransition::animation(), "kCATransitionFade");
    layer.addAnimation(CATransition::animation(), "");
    layer.addAnimation(CATransition::animation(), "");
    EXPECT_EQ(layer.animations().size(), 3u);
    EXPECT_EQ(layer.animationsAt(now() + 0.2).size(), 3u);
    EXPECT_TRUE(layer.animationsAt(now() + 0.25).empty());  // the default 0.25 s
    // Finished ones leave when another is added.
    advance(1.0);
    layer.addAnimation(CATransition::animation(), "");
    EXPECT_EQ(layer.animations().size(), 1u);
}

// Tests that a zero, negative or meaningless duration runs for Core
// Animation's default quarter of a second, and that any positive duration,
// short or long, runs for exactly itself.
TEST_F(AnimationTest, LayerAnimationWithNoUsableDurationRunsTheDefault) {
    CALayer layer;
    for (double d : {0.0, -1.0, std::nan(""), std::numeric_limits<double>::infinity()}) {
        auto a = CATransition::animation();
        a->setDuration(d);
        layer.removeAllAnimations();
        layer.addAnimation(a, "fade");
        EXPECT_EQ(a->effectiveDuration(), 0.25) << d;
        EXPECT_EQ(layer.animationsAt(now() + 0.24).size(), 1u) << d;
        EXPECT_TRUE(layer.animationsAt(now() + 0.25).empty()) << d;
    }
    for (double d : {0.1, 0.5, 1.0, 3.0}) {
        auto a = CATransition::animation();
        a->setDuration(d);
        EXPECT_EQ(a->effectiveDuration(), d);
    }
}
