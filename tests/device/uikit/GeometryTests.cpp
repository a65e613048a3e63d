#include <gtest/gtest.h>

#include <limits>
#include <numbers>

#include "UIKitTestSupport.h"
#include "uikit/Geometry.h"

using uikit_test::expectNear;

// Tests that a rect contains its origin and its inside, but not its far
// edges, also when given with a negative size.
TEST(Geometry, ContainmentIncludesOriginExcludesFarEdges) {
    const CGRect r = CGRectMake(10, 20, 30, 40);
    EXPECT_TRUE(CGRectContainsPoint(r, {10, 20}));
    EXPECT_TRUE(CGRectContainsPoint(r, {39.999, 59.999}));
    EXPECT_FALSE(CGRectContainsPoint(r, {40, 30}));
    EXPECT_FALSE(CGRectContainsPoint(r, {20, 60}));
    EXPECT_FALSE(CGRectContainsPoint(r, {9.999, 30}));
    EXPECT_FALSE(CGRectContainsPoint(r, {std::nan(""), 30}));
    EXPECT_FALSE(CGRectContainsPoint(CGRectMake(0, 0, 0, 0), {0, 0}));
    // (40, 60) with size (-30, -40) is the same rect as above.
    const CGRect negative = CGRectMake(40, 60, -30, -40);
    EXPECT_EQ(CGRectStandardize(negative), r);
    EXPECT_TRUE(CGRectContainsPoint(negative, {10, 20}));
    EXPECT_FALSE(CGRectContainsPoint(negative, {40, 60}));
}

TEST(Geometry, InsetGrowsShrinksAndVanishes) {
    EXPECT_EQ(CGRectInset(CGRectMake(0, 0, 50, 50), -70, -70), CGRectMake(-70, -70, 190, 190));
    EXPECT_EQ(CGRectInset(CGRectMake(0, 0, 50, 50), 25, 10), CGRectMake(25, 10, 0, 30));
    EXPECT_TRUE(CGRectIsNull(CGRectInset(CGRectMake(0, 0, 50, 50), 26, 0)));
    EXPECT_FALSE(CGRectContainsPoint(CGRectNull, {0, 0}));
    EXPECT_TRUE(CGRectIsEmpty(CGRectMake(5, 5, 0, 10)));
    EXPECT_FALSE(CGRectIsEmpty(CGRectMake(5, 5, 1, 1)));
}

// Tests that one infinite origin coordinate is enough to make the null
// rect, as CoreGraphics reads it: such a rect contains nothing and stays
// where it is when moved or standardised.
TEST(Geometry, OneInfiniteCoordinateIsNull) {
    const double inf = std::numeric_limits<double>::infinity();
    for (const CGRect& r : {CGRectMake(inf, 0, 10, 10), CGRectMake(0, -inf, 10, 10)}) {
        EXPECT_TRUE(CGRectIsNull(r));
        EXPECT_TRUE(CGRectIsEmpty(r));
        EXPECT_FALSE(CGRectContainsPoint(r, {5, 5}));
        EXPECT_TRUE(CGRectIsNull(CGRectOffset(r, 1, 1)));
    }
    EXPECT_FALSE(CGRectIsNull(CGRectMake(-1e308, 1e308, 10, 10)));
}

// Tests that standardising only turns negative sizes round: a size below
// one point is a size like any other.
TEST(Geometry, StandardizeKeepsSmallPositiveSizes) {
    EXPECT_EQ(CGRectStandardize(CGRectMake(3, 4, 0.5, 0.25)), CGRectMake(3, 4, 0.5, 0.25));
    EXPECT_EQ(CGRectStandardize(CGRectMake(3, 4, 0, 0)), CGRectMake(3, 4, 0, 0));
    EXPECT_EQ(CGRectStandardize(CGRectMake(3, 4, -0.5, -0.25)), CGRectMake(2.5, 3.75, 0.5, 0.25));
}

TEST(Geometry, RotationTurnsClockwiseOnScreen) {
    // y grows downwards: a quarter turn takes +x to +y.
    const auto q = CGAffineTransformMakeRotation(std::numbers::pi / 2);
    expectNear(CGPointApplyAffineTransform({1, 0}, q), {0, 1});
    expectNear(CGPointApplyAffineTransform({0, 1}, q), {-1, 0});
    const auto half = CGAffineTransformMakeRotation(std::numbers::pi);
    expectNear(CGPointApplyAffineTransform({3, 4}, half), {-3, -4});
    EXPECT_TRUE(CGAffineTransformIsIdentity(CGAffineTransformMakeRotation(0)));
}

TEST(Geometry, ConcatAppliesFirstThenSecond) {
    const auto scale = CGAffineTransformMakeScale(2, 3);
    const auto move = CGAffineTransformMakeTranslation(10, 20);
    expectNear(CGPointApplyAffineTransform({1, 1}, CGAffineTransformConcat(scale, move)), {12, 23});
    expectNear(CGPointApplyAffineTransform({1, 1}, CGAffineTransformConcat(move, scale)), {22, 63});
    // Rotate/Scale/Translate put their own step before the given transform.
    expectNear(CGPointApplyAffineTransform({1, 1}, CGAffineTransformScale(move, 2, 3)), {12, 23});
    expectNear(CGPointApplyAffineTransform({1, 0}, CGAffineTransformRotate(move, std::numbers::pi / 2)), {10, 21});
    expectNear(CGPointApplyAffineTransform({0, 0}, CGAffineTransformTranslate(scale, 1, 1)), {2, 3});
}

TEST(Geometry, InverseUndoesAndSingularIsReturnedUnchanged) {
    const auto t = CGAffineTransformConcat(CGAffineTransformMakeRotation(0.7),
                                           CGAffineTransformConcat(CGAffineTransformMakeScale(2, 0.5),
                                                                   CGAffineTransformMakeTranslation(-3, 8)));
    const CGPoint p{12.5, -4};
    expectNear(CGPointApplyAffineTransform(CGPointApplyAffineTransform(p, t), CGAffineTransformInvert(t)), p);
    const auto singular = CGAffineTransformMakeScale(0, 1);
    EXPECT_EQ(CGAffineTransformInvert(singular), singular);
}

TEST(Geometry, RectTransformGivesBoundingBox) {
    const auto q = CGAffineTransformMakeRotation(std::numbers::pi / 2);
    expectNear(CGRectApplyAffineTransform(CGRectMake(0, 0, 40, 10), q), CGRectMake(-10, 0, 10, 40));
    const auto eighth = CGAffineTransformMakeRotation(std::numbers::pi / 4);
    const CGRect box = CGRectApplyAffineTransform(CGRectMake(-1, -1, 2, 2), eighth);
    EXPECT_NEAR(box.size.width, 2 * std::sqrt(2.0), 1e-12);
    const CGSize s = CGSizeApplyAffineTransform({40, 10}, CGAffineTransformMakeScale(2, -1));
    EXPECT_EQ(s.width, 80);
    EXPECT_EQ(s.height, -10);
}
