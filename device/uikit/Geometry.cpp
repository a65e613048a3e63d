#include "uikit/Geometry.h"

#include <algorithm>

bool CGRectIsNull(const CGRect& r) { return std::isinf(r.origin.x) || std::isinf(r.origin.y); }

bool CGRectIsEmpty(const CGRect& r) {
    // Negated comparisons so that NaN sizes count as empty.
    return CGRectIsNull(r) || !(r.size.width != 0) || !(r.size.height != 0);
}

CGRect CGRectOffset(const CGRect& r, double dx, double dy) {
    if (CGRectIsNull(r)) return r;
    return {{r.origin.x + dx, r.origin.y + dy}, r.size};
}

CGRect CGRectStandardize(const CGRect& r) {
    if (CGRectIsNull(r)) return r;
    CGRect s = r;
    if (s.size.width < 0) {
        s.origin.x += s.size.width;
        s.size.width = -s.size.width;
    }
    if (s.size.height < 0) {
        s.origin.y += s.size.height;
        s.size.height = -s.size.height;
    }
    return s;
}

bool CGRectContainsPoint(const CGRect& r, const CGPoint& p) {
    if (CGRectIsNull(r)) return false;
    const CGRect s = CGRectStandardize(r);
    // Written so that any NaN answers false.
    return p.x >= s.origin.x && p.x < s.origin.x + s.size.width && p.y >= s.origin.y &&
           p.y < s.origin.y + s.size.height;
}

CGRect CGRectInset(const CGRect& r, double dx, double dy) {
    if (CGRectIsNull(r)) return r;
    CGRect s = CGRectStandardize(r);
    s.origin.x += dx;
    s.origin.y += dy;
    s.size.width -= 2 * dx;
    s.size.height -= 2 * dy;
    // Insetting past the middle leaves nothing, as CoreGraphics answers.
    if (s.size.width < 0 || s.size.height < 0) return CGRectNull;
    return s;
}

CGAffineTransform CGAffineTransformMakeRotation(double angle) {
    const double c = std::cos(angle), s = std::sin(angle);
    return {c, s, -s, c, 0, 0};
}

CGAffineTransform CGAffineTransformMakeTranslation(double tx, double ty) { return {1, 0, 0, 1, tx, ty}; }

CGAffineTransform CGAffineTransformMakeScale(double sx, double sy) { return {sx, 0, 0, sy, 0, 0}; }

CGAffineTransform CGAffineTransformConcat(const CGAffineTransform& t1, const CGAffineTransform& t2) {
    return {t1.a * t2.a + t1.b * t2.c,
            t1.a * t2.b + t1.b * t2.d,
            t1.c * t2.a + t1.d * t2.c,
            t1.c * t2.b + t1.d * t2.d,
            t1.tx * t2.a + t1.ty * t2.c + t2.tx,
            t1.tx * t2.b + t1.ty * t2.d + t2.ty};
}

CGAffineTransform CGAffineTransformRotate(const CGAffineTransform& t, double angle) {
    return CGAffineTransformConcat(CGAffineTransformMakeRotation(angle), t);
}

CGAffineTransform CGAffineTransformScale(const CGAffineTransform& t, double sx, double sy) {
    return CGAffineTransformConcat(CGAffineTransformMakeScale(sx, sy), t);
}

CGAffineTransform CGAffineTransformTranslate(const CGAffineTransform& t, double tx, double ty) {
    return CGAffineTransformConcat(CGAffineTransformMakeTranslation(tx, ty), t);
}

CGAffineTransform CGAffineTransformInvert(const CGAffineTransform& t) {
    const double det = t.a * t.d - t.b * t.c;
    if (det == 0 || !std::isfinite(det)) return t;
    const double a = t.d / det, b = -t.b / det, c = -t.c / det, d = t.a / det;
    return {a, b, c, d, -(t.tx * a + t.ty * c), -(t.tx * b + t.ty * d)};
}

bool CGAffineTransformIsIdentity(const CGAffineTransform& t) { return t == CGAffineTransformIdentity; }

CGPoint CGPointApplyAffineTransform(const CGPoint& p, const CGAffineTransform& t) {
    return {t.a * p.x + t.c * p.y + t.tx, t.b * p.x + t.d * p.y + t.ty};
}

CGSize CGSizeApplyAffineTransform(const CGSize& s, const CGAffineTransform& t) {
    return {t.a * s.width + t.c * s.height, t.b * s.width + t.d * s.height};
}

CGRect CGRectApplyAffineTransform(const CGRect& r, const CGAffineTransform& t) {
    if (CGRectIsNull(r)) return r;
    const CGRect s = CGRectStandardize(r);
    const CGPoint corners[4] = {
        CGPointApplyAffineTransform(s.origin, t),
        CGPointApplyAffineTransform({s.origin.x + s.size.width, s.origin.y}, t),
        CGPointApplyAffineTransform({s.origin.x, s.origin.y + s.size.height}, t),
        CGPointApplyAffineTransform({s.origin.x + s.size.width, s.origin.y + s.size.height}, t),
    };
    double minX = corners[0].x, maxX = corners[0].x, minY = corners[0].y, maxY = corners[0].y;
    for (const CGPoint& c : corners) {
        minX = std::min(minX, c.x);
        maxX = std::max(maxX, c.x);
        minY = std::min(minY, c.y);
        maxY = std::max(maxY, c.y);
    }
    return {{minX, minY}, {maxX - minX, maxY - minY}};
}
