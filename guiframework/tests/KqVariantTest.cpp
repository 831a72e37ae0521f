#include "KqVariant.h"

#include <gtest/gtest.h>

namespace {

TEST(KqVariantTest, NullAndKinds)
{
    KqVariant null;
    EXPECT_EQ(0, null.kind());
    EXPECT_TRUE(null.isNull());
    KqVariant rect(KqRect(1, 2, 3, 4));
    EXPECT_EQ(KqVariant::Rect, rect.kind());
    EXPECT_FALSE(rect.isNull());
    rect = null;
    EXPECT_EQ(0, rect.kind());
    EXPECT_TRUE(rect.isNull());
    EXPECT_EQ(nullptr, rect.heapCopy());
}

TEST(KqVariantTest, StrictAndConvertingAccessors)
{
    bool ok = true;
    KqVariant u(uint32_t(0xFFFFFFFEu));
    EXPECT_EQ(0, u.asInt(&ok));
    EXPECT_FALSE(ok);
    EXPECT_EQ(-2, u.toInt(&ok));
    EXPECT_TRUE(ok);
    EXPECT_EQ(9223372036854775808.0, KqVariant(1ull << 63).toDouble(&ok));
    EXPECT_TRUE(ok);
    EXPECT_EQ(KqRect::fromEdges(1, 0, 10, 10), KqVariant(KqRectF(0.5, -0.5, 10.4, 10.5)).toRect(&ok));
    EXPECT_EQ(KqRect(), KqVariant(3).asRect(&ok));
    EXPECT_FALSE(ok);
    KqSizeF size = KqVariant(KqSize{3, 4}).toSizeF(&ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(3.0, size.width);
    EXPECT_EQ(4.0, size.height);

    struct Case { KqVariant v; int32_t asInt; double asDouble; };
    const Case cases[] = {
        {KqVariant(true), 1, 1.0},
        {KqVariant(static_cast<char>(-1)), 255, 255.0},
        {KqVariant(static_cast<unsigned char>(200)), 200, 200.0},
        {KqVariant(-3.9), -3, -3.9},
        {KqVariant(2.5f), 2, 2.5},
        {KqVariant(0x100000005ll), 5, 4294967301.0},
        {KqVariant(int32_t(-7)), -7, -7.0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.asInt, c.v.toInt(&ok)) << c.v.kind();
        EXPECT_TRUE(ok);
        EXPECT_EQ(c.asDouble, c.v.toDouble(&ok)) << c.v.kind();
        EXPECT_EQ(static_cast<uint32_t>(c.asInt), c.v.toUInt(&ok)) << c.v.kind();
    }
    EXPECT_EQ(KqPoint(2, -1), KqVariant(KqPointF(1.5, -1.5)).toPoint(&ok));
    EXPECT_EQ(KqRectF(1, 2, 3, 4), KqVariant(KqRect(1, 2, 3, 4)).toRectF(&ok));
    int anything = 0;
    EXPECT_EQ(&anything, KqVariant(static_cast<void*>(&anything)).asPointer(&ok));
    EXPECT_TRUE(ok);
}

TEST(KqVariantTest, AssignmentReusesTheHeapCopy)
{
    KqVariant a(KqPointF(1, 2)), b(KqPointF(3, 4));
    const void* copy = a.heapCopy();
    a = b;
    EXPECT_EQ(copy, a.heapCopy());
    EXPECT_EQ(KqPointF(3, 4), a.asPointF());
    EXPECT_NE(b.heapCopy(), a.heapCopy());
    KqVariant s = KqVariant::fromString(KqString(u"text"));
    KqVariant t(s);
    KqVariant w(KqRectF(1, 1, 1, 1));
    w = s;
    EXPECT_TRUE(t.asString() == KqString(u"text"));
    EXPECT_TRUE(w.asString() == KqString(u"text"));
    s = KqVariant(5);
    EXPECT_TRUE(t.asString() == KqString(u"text"));
    EXPECT_EQ(5, s.asInt());
}

} // namespace
