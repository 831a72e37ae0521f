#include "KqGeometry.h"
#include "KqTransform.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(KqGeometryTest, RoundHalfUp)
{
    const struct { double in; int out; } cases[] = {{0.5, 1}, {-0.5, 0}, {-1.5, -1}, {2.5, 3}, {-2.5, -2}, {-2.6, -3}, {2.49, 2}, {0, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(c.out, roundHalfUp(c.in)) << c.in;
    KqPoint p(3, -3);
    p *= 0.5;
    EXPECT_EQ(KqPoint(2, -1), p);
}

TEST(KqGeometryTest, IntegerRectangles)
{
    EXPECT_TRUE(KqRect(10, 20, 0, 0).isNull());
    EXPECT_FALSE(KqRect(10, 20, 1, 0).isNull());
    KqRect a(0, 0, 10, 10), b(9, 0, 10, 10), c(20, 20, 5, 5);
    EXPECT_EQ(KqRect::fromEdges(9, 0, 9, 9), a.intersection(b)); // the shared edge column
    EXPECT_EQ(KqRect(), a.intersection(c));
    EXPECT_EQ(KqRect::fromEdges(0, 0, 24, 24), a.unionWith(c));
    EXPECT_EQ(c, KqRect(5, 5, 0, 0).unionWith(c));
    const struct { int x, y; bool proper, inside; } points[] = {
        {0, 0, false, true}, {0, 0, true, false}, {9, 9, false, true}, {10, 5, false, false}, {5, 5, true, true}};
    for (const auto& p : points)
        EXPECT_EQ(p.inside, a.contains(p.x, p.y, p.proper)) << p.x << "," << p.y;
    KqRect reversed = KqRect::fromEdges(9, 9, 0, 0);
    EXPECT_TRUE(reversed.contains(5, 5));
    EXPECT_TRUE(a.contains(KqRect(2, 2, 3, 3)));
    EXPECT_FALSE(a.contains(KqRect(2, 2, 0, 0)));
}

TEST(KqGeometryTest, RealRectangles)
{
    KqRectF r(100, 100, 10, 10);
    EXPECT_TRUE(r.contains(105, 105));
    EXPECT_TRUE(r.contains(110, 110));
    EXPECT_FALSE(r.contains(110.5, 110));
    EXPECT_TRUE(KqRectF(10, 10, -5, -5).contains(6, 7));
    EXPECT_EQ(KqRectF(0, 0, 0, 0), KqRectF(0, 0, 1, 1).intersection(KqRectF(2, 2, 1, 1)));
    EXPECT_EQ(KqRectF(1, 1, 0, 1), KqRectF(0, 0, 1, 2).intersection(KqRectF(1, 1, 3, 3)));
    EXPECT_EQ(KqRect::fromEdges(1, 2, 4, 6), KqRectF(1.2, 2.7, 3.1, 3.9).enclosingRect());
    EXPECT_EQ(KqRect(1, 3, 3, 4), KqRectF(1.2, 2.7, 3.1, 3.9).toRect());
    EXPECT_EQ(KqRectF(0, 0, 10, 10), KqRectF(KqRect(0, 0, 10, 10)));
}

TEST(KqGeometryTest, TransformsClassifyThemselves)
{
    const struct { KqTransform t; int type; } cases[] = {
        {KqTransform(2, 0, 0, 0, 2, 0, 5, 5, 1), KqTransform::Scale},
        {KqTransform(0, 1, 0, -1, 0, 0, 0, 0, 1), KqTransform::Rotate},
        {KqTransform(1, 0.5, 0, 0, 1, 0, 0, 0, 1), KqTransform::Shear},
        {KqTransform(1, 0, 0.5, 0, 1, 0, 0, 0, 1), KqTransform::Project},
        {KqTransform(1, 0, 0, 0, 1, 0, 3, 0, 1), KqTransform::Translate},
        {KqTransform(1, 0, 0, 0, 1, 0, 0, 0, 1), KqTransform::None},
        {KqTransform::translation(0, 0), KqTransform::None},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.type, c.t.classify());
}

TEST(KqGeometryTest, InverseAndProducts)
{
    bool ok = true;
    KqTransform flat;
    flat.scale(0, 1);
    KqTransform inv = flat.inverse(&ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(KqTransform::None, inv.classify());

    const KqTransform transforms[] = {
        KqTransform::translation(3, -4), KqTransform(2, 0, 0, 0, 4, 0, 5, 5, 1), KqTransform(0, 1, 0, -1, 0, 0, 7, 1, 1),
        KqTransform(1, 0.5, 0, 0.25, 1, 0, 2, 3, 1), KqTransform(1, 0, 0.001, 0, 1, 0.002, 1, 2, 1)};
    for (const KqTransform& t : transforms) {
        KqTransform back = t.inverse(&ok);
        ASSERT_TRUE(ok);
        KqPointF p = back.map(t.map(KqPointF(12.5, -7)));
        EXPECT_NEAR(12.5, p.x, 1e-9);
        EXPECT_NEAR(-7, p.y, 1e-9);
        KqTransform product = t * back;
        KqPointF q = product.map(KqPointF(3, 4));
        EXPECT_NEAR(3, q.x, 1e-9);
        EXPECT_NEAR(4, q.y, 1e-9);
    }
    KqTransform moved;
    moved.translate(10, 0).scale(2, 2);
    EXPECT_EQ(KqPoint(12, 2), moved.map(KqPoint(1, 1)));
}

TEST(KqGeometryTest, MapRectangles)
{
    KqTransform mirror;
    mirror.scale(-1, 1);
    EXPECT_EQ(KqRectF(-10, 0, 10, 10), mirror.mapRectF(KqRectF(0, 0, 10, 10)));
    KqTransform rotate(0, 1, 0, -1, 0, 0, 0, 0, 1);
    KqRectF rotated = rotate.mapRectF(KqRectF(0, 0, 10, 5));
    EXPECT_EQ(KqRectF(-5, 0, 5, 10), rotated);
    // Part of the rectangle behind the horizon: nothing.
    KqTransform project(1, 0, -0.1, 0, 1, 0, 0, 0, 1);
    EXPECT_EQ(KqRectF(), project.mapRectF(KqRectF(0, 0, 20, 1)));
    // A point exactly on the horizon maps to a finite place.
    KqPointF p = project.map(KqPointF(10, 1));
    EXPECT_TRUE(std::isfinite(p.x) && std::isfinite(p.y));
}

} // namespace
