// CoreGraphics geometry as small value types, in double precision.
// A rect contains its origin but not its far edges.
#pragma once

#include <cmath>
#include <limits>

struct CGPoint {
    double x = 0, y = 0;
    bool operator==(const CGPoint&) const = default;
};
struct CGSize {
    double width = 0, height = 0;
    bool operator==(const CGSize&) const = default;
};
struct CGRect {
    CGPoint origin;
    CGSize size;
    bool operator==(const CGRect&) const = default;
};
struct CGAffineTransform {
    double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;
    bool operator==(const CGAffineTransform&) const = default;
};

inline constexpr CGAffineTransform CGAffineTransformIdentity{};

inline CGPoint CGPointMake(double x, double y) { return {x, y}; }
inline CGSize CGSizeMake(double w, double h) { return {w, h}; }
inline CGRect CGRectMake(double x, double y, double w, double h) { return {{x, y}, {w, h}}; }
inline double CGRectGetMinX(const CGRect& r) { return r.origin.x; }
inline double CGRectGetMinY(const CGRect& r) { return r.origin.y; }
inline double CGRectGetMaxX(const CGRect& r) { return r.origin.x + r.size.width; }
inline double CGRectGetMaxY(const CGRect& r) { return r.origin.y + r.size.height; }
inline double CGRectGetMidX(const CGRect& r) { return r.origin.x + r.size.width / 2; }
inline double CGRectGetMidY(const CGRect& r) { return r.origin.y + r.size.height / 2; }
inline double CGRectGetWidth(const CGRect& r) { return r.size.width; }
inline double CGRectGetHeight(const CGRect& r) { return r.size.height; }
// The rect that stands for "no rect" (an inset past the middle gives it).
inline constexpr CGRect CGRectNull{{std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity()}, {0, 0}};
bool CGRectIsNull(const CGRect& r);
// Null, or of zero (or negative) area.
bool CGRectIsEmpty(const CGRect& r);
CGRect CGRectOffset(const CGRect& r, double dx, double dy);
// Origin inclusive, far edges exclusive; the rect is standardised first.
bool CGRectContainsPoint(const CGRect& r, const CGPoint& p);
CGRect CGRectInset(const CGRect& r, double dx, double dy);
CGRect CGRectStandardize(const CGRect& r);

CGAffineTransform CGAffineTransformMakeRotation(double angle);
CGAffineTransform CGAffineTransformMakeTranslation(double tx, double ty);
CGAffineTransform CGAffineTransformMakeScale(double sx, double sy);
// t followed by a rotation, scale or translation (applied before t's own).
CGAffineTransform CGAffineTransformRotate(const CGAffineTransform& t, double angle);
CGAffineTransform CGAffineTransformScale(const CGAffineTransform& t, double sx, double sy);
CGAffineTransform CGAffineTransformTranslate(const CGAffineTransform& t, double tx, double ty);
// t1 then t2.
CGAffineTransform CGAffineTransformConcat(const CGAffineTransform& t1, const CGAffineTransform& t2);
// A transform that cannot be inverted is answered unchanged, as CoreGraphics does.
CGAffineTransform CGAffineTransformInvert(const CGAffineTransform& t);
bool CGAffineTransformIsIdentity(const CGAffineTransform& t);
CGPoint CGPointApplyAffineTransform(const CGPoint& p, const CGAffineTransform& t);
CGSize CGSizeApplyAffineTransform(const CGSize& s, const CGAffineTransform& t);
// The bounding box of the transformed rect.
CGRect CGRectApplyAffineTransform(const CGRect& r, const CGAffineTransform& t);
