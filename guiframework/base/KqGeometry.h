// Integer and real points, sizes, rectangles and margins.
#pragma once

#include <cstdint>

// Nearest integer, halves towards positive infinity.
int roundHalfUp(double x);

struct KqPoint {
    int32_t x = 0, y = 0;
    KqPoint() = default;
    KqPoint(int32_t x_, int32_t y_) : x(x_), y(y_) {}
    KqPoint& operator+=(const KqPoint& o) { x += o.x; y += o.y; return *this; }
    KqPoint& operator-=(const KqPoint& o) { x -= o.x; y -= o.y; return *this; }
    KqPoint& operator*=(double f) { x = roundHalfUp(x * f); y = roundHalfUp(y * f); return *this; }
    bool operator==(const KqPoint& o) const { return x == o.x && y == o.y; }
};

struct KqPointF {
    double x = 0, y = 0;
    KqPointF() = default;
    KqPointF(double x_, double y_) : x(x_), y(y_) {}
    KqPointF& operator+=(const KqPointF& o) { x += o.x; y += o.y; return *this; }
    KqPointF& operator*=(double f) { x *= f; y *= f; return *this; }
    bool operator==(const KqPointF& o) const { return x == o.x && y == o.y; }
};

struct KqSize {
    int32_t width = 0, height = 0;
};

struct KqSizeF {
    double width = 0, height = 0;
};

struct KqMargins {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
};

struct KqRect {
    int32_t left = 0, top = 0, right = -1, bottom = -1;
    KqRect() = default;
    KqRect(int32_t x, int32_t y, int32_t width, int32_t height)
        : left(x), top(y), right(x + width - 1), bottom(y + height - 1) {}
    static KqRect fromEdges(int32_t l, int32_t t, int32_t r, int32_t b)
    {
        KqRect rect;
        rect.left = l; rect.top = t; rect.right = r; rect.bottom = b;
        return rect;
    }
    bool isNull() const { return left == right + 1 && top == bottom + 1; }
    bool contains(int32_t x, int32_t y, bool proper = false) const;
    bool contains(const KqRect& r, bool proper = false) const;
    KqRect unionWith(const KqRect& r) const;
    KqRect intersection(const KqRect& r) const;
    bool operator==(const KqRect& o) const { return left == o.left && top == o.top && right == o.right && bottom == o.bottom; }
};

struct KqRectF {
    double x = 0, y = 0, width = 0, height = 0;
    KqRectF() = default;
    KqRectF(double x_, double y_, double w, double h) : x(x_), y(y_), width(w), height(h) {}
    explicit KqRectF(const KqRect& r)
        : x(r.left), y(r.top), width(double(r.right) - r.left + 1), height(double(r.bottom) - r.top + 1) {}
    bool isNull() const { return width == 0 && height == 0; }
    KqRect toRect() const;
    KqRect enclosingRect() const;
    bool contains(double px, double py) const;
    bool contains(const KqRectF& r) const;
    KqRectF unionWith(const KqRectF& r) const;
    KqRectF intersection(const KqRectF& r) const;
    bool operator==(const KqRectF& o) const { return x == o.x && y == o.y && width == o.width && height == o.height; }
};

static_assert(sizeof(KqPoint) == 8 && sizeof(KqRect) == 16 && sizeof(KqRectF) == 32, "value layouts");
