#include "KqGeometry.h"

#include <algorithm>
#include <cmath>

int roundHalfUp(double x)
{
    if (x >= 0)
        return static_cast<int>(x + 0.5);
    int b = static_cast<int>(x - 1);
    return b + static_cast<int>(x - b + 0.5);
}

namespace {

// Extent [low, high] with the two ends swapped when reversed.
void normalise(int32_t a, int32_t b, int32_t& low, int32_t& high)
{
    if (b < a - 1) {
        low = b;
        high = a;
    } else {
        low = a;
        high = b;
    }
}

void normaliseF(double start, double size, double& low, double& high)
{
    low = size < 0 ? start + size : start;
    high = size < 0 ? start : start + size;
}

} // namespace

bool KqRect::contains(int32_t x, int32_t y, bool proper) const
{
    int32_t l, r, t, b;
    normalise(left, right, l, r);
    normalise(top, bottom, t, b);
    if (proper)
        return x > l && x < r && y > t && y < b;
    return x >= l && x <= r && y >= t && y <= b;
}

bool KqRect::contains(const KqRect& o, bool proper) const
{
    if (isNull() || o.isNull())
        return false;
    return contains(o.left, o.top, proper) && contains(o.right, o.top, proper) && contains(o.left, o.bottom, proper)
        && contains(o.right, o.bottom, proper);
}

KqRect KqRect::unionWith(const KqRect& o) const
{
    if (isNull())
        return o;
    if (o.isNull())
        return *this;
    int32_t l1, r1, t1, b1, l2, r2, t2, b2;
    normalise(left, right, l1, r1);
    normalise(top, bottom, t1, b1);
    normalise(o.left, o.right, l2, r2);
    normalise(o.top, o.bottom, t2, b2);
    return fromEdges(std::min(l1, l2), std::min(t1, t2), std::max(r1, r2), std::max(b1, b2));
}

KqRect KqRect::intersection(const KqRect& o) const
{
    if (isNull() || o.isNull())
        return KqRect();
    int32_t l1, r1, t1, b1, l2, r2, t2, b2;
    normalise(left, right, l1, r1);
    normalise(top, bottom, t1, b1);
    normalise(o.left, o.right, l2, r2);
    normalise(o.top, o.bottom, t2, b2);
    if (l1 > r2 || l2 > r1 || t1 > b2 || t2 > b1)
        return KqRect();
    return fromEdges(std::max(l1, l2), std::max(t1, t2), std::min(r1, r2), std::min(b1, b2));
}

KqRect KqRectF::toRect() const
{
    return KqRect(roundHalfUp(x), roundHalfUp(y), roundHalfUp(width), roundHalfUp(height));
}

KqRect KqRectF::enclosingRect() const
{
    double l = std::floor(x), t = std::floor(y);
    return KqRect(static_cast<int32_t>(l), static_cast<int32_t>(t), static_cast<int32_t>(std::ceil(x + width) - l),
        static_cast<int32_t>(std::ceil(y + height) - t));
}

bool KqRectF::contains(double px, double py) const
{
    double l, r, t, b;
    normaliseF(x, width, l, r);
    normaliseF(y, height, t, b);
    return px >= l && px <= r && py >= t && py <= b;
}

bool KqRectF::contains(const KqRectF& o) const
{
    if (isNull() || o.isNull())
        return false;
    return contains(o.x, o.y) && contains(o.x + o.width, o.y) && contains(o.x, o.y + o.height)
        && contains(o.x + o.width, o.y + o.height);
}

KqRectF KqRectF::unionWith(const KqRectF& o) const
{
    if (isNull())
        return o;
    if (o.isNull())
        return *this;
    double l1, r1, t1, b1, l2, r2, t2, b2;
    normaliseF(x, width, l1, r1);
    normaliseF(y, height, t1, b1);
    normaliseF(o.x, o.width, l2, r2);
    normaliseF(o.y, o.height, t2, b2);
    double l = std::min(l1, l2), t = std::min(t1, t2);
    return KqRectF(l, t, std::max(r1, r2) - l, std::max(b1, b2) - t);
}

KqRectF KqRectF::intersection(const KqRectF& o) const
{
    if (isNull() || o.isNull())
        return KqRectF();
    double l1, r1, t1, b1, l2, r2, t2, b2;
    normaliseF(x, width, l1, r1);
    normaliseF(y, height, t1, b1);
    normaliseF(o.x, o.width, l2, r2);
    normaliseF(o.y, o.height, t2, b2);
    if (l1 > r2 || l2 > r1 || t1 > b2 || t2 > b1)
        return KqRectF();
    double l = std::max(l1, l2), t = std::max(t1, t2);
    return KqRectF(l, t, std::min(r1, r2) - l, std::min(b1, b2) - t);
}
