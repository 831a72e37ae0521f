#include "KqAnimation.h"
#include "KqGraphicsItem.h"
#include "KqServices.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

uint32_t g_tick = 1000;
uint32_t fakeTick() { return g_tick; }

struct FakeClock {
    FakeClock() { kqSetTickSource(fakeTick); }
    ~FakeClock() { kqSetTickSource(nullptr); }
    void step(uint32_t ms)
    {
        g_tick += ms;
        KqAnimationDriver::instance()->advance();
    }
};

TEST(KqEasingCurveTest, Values)
{
    struct Row {
        int type;
        double at, value;
    } rows[] = {
        {0, 0.25, 0.25}, {1, 0.25, 0.0625}, {2, 0.25, 0.4375}, {3, 0.25, 0.125}, {3, 0.75, 0.875},
        {4, 0.25, 0.375}, {4, 0.75, 0.625}, {31, 0.25, 0.25}, {38, 0.6, 0.6}, {17, 0.3, 0.3},
        {3, -1, 0}, {3, 2, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.type * 100 + row.at);
        EXPECT_DOUBLE_EQ(row.value, KqEasingCurve(row.type).valueForProgress(row.at));
    }
    KqEasingCurve curve(31);
    EXPECT_TRUE(curve.hasParameters());
    curve.setType(3); // a formula type after parameters still gets its formula
    EXPECT_DOUBLE_EQ(0.125, curve.valueForProgress(0.25));
    KqEasingCurve custom(45);
    custom.setCustomFunction([](double t) { return t * t * t; });
    EXPECT_DOUBLE_EQ(0.125, KqEasingCurve(custom).valueForProgress(0.5));
}

struct Recording : KqVariantAnimation {
    void updateCurrentValue(const KqVariant& value) override { values.push_back(value); }
    std::vector<KqVariant> values;
};

TEST(KqVariantAnimationTest, KeyValuesAndInterpolation)
{
    Recording a;
    a.setDuration(100);
    a.setStartValue(KqVariant(int32_t(1)));
    EXPECT_TRUE(a.values.empty()); // one key value, no default start: nothing
    a.setEndValue(KqVariant(int32_t(30)));
    a.setCurrentTime(50);
    EXPECT_EQ(15, a.currentValue().toInt()); // 15.5 truncated
    a.setKeyValueAt(1.5, KqVariant(int32_t(99)));
    a.setKeyValueAt(-0.1, KqVariant(int32_t(99)));
    EXPECT_EQ(2, a.keyValueCount());
    a.setKeyValueAt(0.5, KqVariant(int32_t(100)));
    EXPECT_EQ(3, a.keyValueCount());
    a.setCurrentTime(75);
    EXPECT_EQ(65, a.currentValue().toInt()); // halfway from 100 to 30
    a.setKeyValueAt(0.5, KqVariant()); // no kind: removed
    EXPECT_EQ(2, a.keyValueCount());

    struct Row {
        KqVariant from, to, expected;
    } rows[] = {
        {KqVariant(0.0), KqVariant(2.0), KqVariant(1.0)},
        {KqVariant(KqPoint(0, 0)), KqVariant(KqPoint(3, 5)), KqVariant(KqPoint(2, 3))},
        {KqVariant(KqRectF(0, 0, 10, 10)), KqVariant(KqRectF(10, 20, 30, 40)), KqVariant(KqRectF(5, 10, 20, 25))},
        {KqVariant(KqSize{2, 2}), KqVariant(KqSize{5, 5}), KqVariant(KqSize{4, 4})},
    };
    for (const Row& row : rows) {
        Recording r;
        r.setDuration(100);
        r.setStartValue(row.from);
        r.setEndValue(row.to);
        r.setCurrentTime(50);
        EXPECT_TRUE(r.currentValue().toRectF() == row.expected.toRectF());
        EXPECT_TRUE(r.currentValue().toPoint() == row.expected.toPoint());
        EXPECT_EQ(row.expected.toDouble(), r.currentValue().toDouble());
        EXPECT_EQ(row.expected.toSize().width, r.currentValue().toSize().width);
    }
    // Different kinds at the two ends: a null value.
    Recording mixed;
    mixed.setStartValue(KqVariant(int32_t(1)));
    mixed.setEndValue(KqVariant(2.0));
    mixed.setCurrentTime(100);
    EXPECT_TRUE(mixed.currentValue().isNull());
}

TEST(KqVariantAnimationTest, LoneKeyAtZeroGivesItsValue)
{
    Recording a;
    a.setDuration(100);
    a.setDefaultStartValue(KqVariant(int32_t(5)));
    a.setKeyValueAt(0.0, KqVariant(int32_t(9)));
    a.setCurrentTime(0);
    ASSERT_FALSE(a.values.empty());
    EXPECT_EQ(9, a.currentValue().toInt());
}

TEST(KqPropertyAnimationTest, FadesOpacityThenDeletesItself)
{
    kqRegisterFrameworkClasses();
    FakeClock clock;
    KqGraphicsItem* item = new KqGraphicsItem;
    KqPropertyAnimation* fade = new KqPropertyAnimation;
    fade->setTargetObject(item);
    EXPECT_EQ(1, item->animationCount());
    fade->setPropertyName(KqString(u"opacity"));
    fade->setStartValue(KqVariant(0.0));
    fade->setEndValue(KqVariant(1.0));
    fade->setEasingCurve(KqEasingCurve(3));
    fade->setDuration(150);
    KqWeakPointer alive(fade);
    fade->start(KqAbstractAnimation::DeleteWhenStopped);
    EXPECT_EQ(0.0, item->opacity());
    KqAnimationDriver::instance()->startPending();
    EXPECT_EQ(1, KqAnimationDriver::instance()->runningCount());
    clock.step(75);
    EXPECT_DOUBLE_EQ(0.5, item->opacity());
    clock.step(100);
    EXPECT_EQ(1.0, item->opacity());
    EXPECT_EQ(KqAbstractAnimation::Stopped, fade->state());
    EXPECT_EQ(0, KqAnimationDriver::instance()->runningCount());
    ASSERT_NE(nullptr, alive.get()); // deleted later, not during the tick
    KqDeferredDeleter::instance()->flushAll();
    EXPECT_EQ(nullptr, alive.get());
    EXPECT_EQ(0, item->animationCount()); // the dead animation left the item
    delete item;
}

TEST(KqPropertyAnimationTest, DeletingTheItemStopsTheAnimation)
{
    FakeClock clock;
    KqGraphicsItem* item = new KqGraphicsItem;
    KqPropertyAnimation fade;
    fade.setTargetObject(item);
    fade.setPropertyName(KqString(u"opacity"));
    fade.setStartValue(KqVariant(1.0));
    fade.setEndValue(KqVariant(0.0));
    fade.setDuration(1000);
    fade.start();
    KqAnimationDriver::instance()->startPending();
    clock.step(100);
    delete item;
    EXPECT_EQ(KqAbstractAnimation::Stopped, fade.state());
    EXPECT_EQ(nullptr, fade.target());
    EXPECT_EQ(nullptr, fade.targetItem());
    clock.step(100); // writes nothing anywhere
    EXPECT_EQ(0, KqAnimationDriver::instance()->runningCount());

    // Either deletion order leaves nothing dangling.
    for (bool animationFirst : {true, false}) {
        KqGraphicsItem* other = new KqGraphicsItem;
        KqPropertyAnimation* a = new KqPropertyAnimation;
        a->setTargetObject(other);
        a->setDuration(100);
        a->start();
        if (animationFirst) {
            delete a;
            EXPECT_EQ(0, other->animationCount());
            delete other;
        } else {
            delete other;
            EXPECT_EQ(nullptr, a->targetItem());
            delete a;
        }
        EXPECT_EQ(0, KqAnimationDriver::instance()->runningCount() + KqAnimationDriver::instance()->waitingCount());
    }
}

TEST(KqAnimationTest, LoopsAndDirection)
{
    Recording a;
    a.setDuration(100);
    a.setLoopCount(3);
    EXPECT_EQ(300, a.totalDuration());
    a.setStartValue(KqVariant(0.0));
    a.setEndValue(KqVariant(100.0));
    a.setCurrentTime(250);
    EXPECT_EQ(2, a.currentLoop());
    EXPECT_EQ(50, a.currentTime());
    a.setCurrentTime(900);
    EXPECT_EQ(300, a.totalCurrentTime());
    EXPECT_EQ(2, a.currentLoop());
    EXPECT_EQ(100, a.currentTime());
    a.setLoopCount(-1);
    EXPECT_EQ(-1, a.totalDuration());
    a.setDirection(KqAbstractAnimation::Backward);
    a.setLoopCount(1);
    a.setCurrentTime(100);
    EXPECT_EQ(100, a.currentTime());
    EXPECT_EQ(0, a.currentLoop());
}

} // namespace

#include "KqAnchors.h"
#include "KqPositioner.h"

namespace {

// A window's worth of items: a row of buttons with anchored contents,
// focus proxies and fades; destroyed with the animations or the items first.
TEST(KqLifetimeTest, BuildingAndDestroyingLeavesNothingBehind)
{
    int itemsBefore = KqItemRegistry::instance()->count();
    for (int cycle = 0; cycle < 1000; ++cycle) {
        bool animationsFirst = cycle % 2 == 0;
        KqGraphicsItem* window = new KqGraphicsItem;
        window->resize(640, 480);
        KqRowPositioner* row = new KqRowPositioner(window);
        row->setSpacing(4);
        std::vector<KqPropertyAnimation*> fades;
        KqGraphicsItem* previous = nullptr;
        for (int i = 0; i < 6; ++i) {
            KqGraphicsItem* button = new KqGraphicsItem(row);
            button->resize(60, 20);
            KqGraphicsItem* content = new KqGraphicsItem(button);
            content->anchors()->setFill(button);
            KqGraphicsItem* label = new KqGraphicsItem(content);
            label->resize(20, 10);
            label->anchors()->setCenterIn(content);
            button->setFocusProxy(content);
            if (previous)
                previous->setFocusProxy(label);
            previous = content;
            KqPropertyAnimation* fade = new KqPropertyAnimation;
            fade->setTargetObject(label);
            fade->setPropertyName(KqString(u"opacity"));
            fade->setStartValue(KqVariant(0.0));
            fade->setEndValue(KqVariant(1.0));
            fade->start();
            fades.push_back(fade);
        }
        ASSERT_EQ(6 * 60 + 5 * 4, row->width());
        if (animationsFirst) {
            for (KqPropertyAnimation* fade : fades)
                delete fade;
            delete window;
        } else {
            delete window;
            for (KqPropertyAnimation* fade : fades) {
                ASSERT_EQ(nullptr, fade->targetItem());
                delete fade;
            }
        }
        ASSERT_EQ(itemsBefore, KqItemRegistry::instance()->count());
        ASSERT_EQ(0, KqAnimationDriver::instance()->runningCount() + KqAnimationDriver::instance()->waitingCount());
    }
}

} // namespace
