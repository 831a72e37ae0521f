#include "KqEvent.h"
#include "KqGraphicsItem.h"
#include "KqItemChangeListener.h"
#include "KqStackingOrder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace {

struct Registered {
    Registered() { kqRegisterFrameworkClasses(); }
};

TEST(KqEventTest, ClassesAreNumberedInRegistrationOrderWithTheirBases)
{
    Registered once;
    struct Row {
        int number;
        const KqClassInfo* info;
        const KqClassInfo* base;
    } rows[] = {
        {1, KqEvent::classInfo(), KqRttiObject::classInfo()},
        {2, KqSceneEvent::classInfo(), KqEvent::classInfo()},
        {3, KqEventAcceptedEvent::classInfo(), KqSceneEvent::classInfo()},
        {4, KqMouseEvent::classInfo(), KqSceneEvent::classInfo()},
        {5, KqSceneMouseEvent::classInfo(), KqMouseEvent::classInfo()},
        {6, KqMouseDownEvent::classInfo(), KqMouseEvent::classInfo()},
        {7, KqMouseUpEvent::classInfo(), KqMouseEvent::classInfo()},
        {8, KqMouseWheelEvent::classInfo(), KqMouseEvent::classInfo()},
        {9, KqMouseMoveEvent::classInfo(), KqMouseEvent::classInfo()},
        {10, KqMouseDbClickEvent::classInfo(), KqMouseEvent::classInfo()},
        {11, KqMouseClickedEvent::classInfo(), KqMouseEvent::classInfo()},
        {12, KqMouseHoverEvent::classInfo(), KqMouseEvent::classInfo()},
        {13, KqMouseLeaveEvent::classInfo(), KqMouseEvent::classInfo()},
        {14, KqKeyEvent::classInfo(), KqSceneEvent::classInfo()},
        {15, KqKeyDownEvent::classInfo(), KqKeyEvent::classInfo()},
        {16, KqKeyUpEvent::classInfo(), KqKeyEvent::classInfo()},
        {17, KqCharEvent::classInfo(), KqSceneEvent::classInfo()},
        {18, KqHoverEvent::classInfo(), KqSceneEvent::classInfo()},
        {19, KqHoverEnterEvent::classInfo(), KqHoverEvent::classInfo()},
        {20, KqHoverGainEvent::classInfo(), KqHoverEvent::classInfo()},
        {21, KqHoverLeaveEvent::classInfo(), KqHoverEvent::classInfo()},
        {22, KqFocusEvent::classInfo(), KqSceneEvent::classInfo()},
        {23, KqFocusInEvent::classInfo(), KqFocusEvent::classInfo()},
        {24, KqFocusOutEvent::classInfo(), KqFocusEvent::classInfo()},
        {25, KqFocusGainEvent::classInfo(), KqFocusEvent::classInfo()},
        {26, KqSceneDragEvent::classInfo(), KqSceneEvent::classInfo()},
        {27, KqDragStartEvent::classInfo(), KqSceneDragEvent::classInfo()},
        {28, KqDragMoveEvent::classInfo(), KqSceneDragEvent::classInfo()},
        {29, KqDragEndEvent::classInfo(), KqSceneDragEvent::classInfo()},
        {30, KqDragDropEvent::classInfo(), KqMouseEvent::classInfo()},
        {31, KqWinEventBase::classInfo(), KqSceneEvent::classInfo()},
        {32, KqResizeEvent::classInfo(), KqWinEventBase::classInfo()},
        {33, KqMoveEvent::classInfo(), KqWinEventBase::classInfo()},
        {34, KqWinOnShowEvent::classInfo(), KqWinEventBase::classInfo()},
        {35, KqWinEvent::classInfo(), KqWinEventBase::classInfo()},
        {36, KqNcHitTestEvent::classInfo(), KqWinEvent::classInfo()},
        {37, KqWinCommandEventBase::classInfo(), KqWinEventBase::classInfo()},
        {38, KqWinCommandEvent::classInfo(), KqWinCommandEventBase::classInfo()},
        {39, KqWinSysCommandEvent::classInfo(), KqWinCommandEventBase::classInfo()},
        {40, KqPaintEvent::classInfo(), KqSceneEvent::classInfo()},
        {41, KqEraseBkgndEvent::classInfo(), KqSceneEvent::classInfo()},
        {42, KqMouseNcToClientEvent::classInfo(), KqSceneEvent::classInfo()},
        {43, KqWindowEvent::classInfo(), KqWinEventBase::classInfo()},
        {44, KqUpdateHoverEvent::classInfo(), KqSceneEvent::classInfo()},
        {45, KqWidgetEvent::classInfo(), KqSceneEvent::classInfo()},
        {46, KqCheckBoxEvent::classInfo(), KqWidgetEvent::classInfo()},
        {47, KqTextEditEvent::classInfo(), KqWidgetEvent::classInfo()},
        {48, KqMessageBoxEvent::classInfo(), KqWidgetEvent::classInfo()},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.number);
        ASSERT_NE(nullptr, row.info);
        EXPECT_EQ(row.number, row.info->code);
        EXPECT_EQ(row.base, row.info->base);
        // The factory builds an instance of exactly this class, which reports it as its event type.
        KqRttiObject* made = row.info->create();
        ASSERT_NE(nullptr, made);
        EXPECT_EQ(row.info, made->dynamicClassInfo());
        EXPECT_EQ(row.info, static_cast<KqEvent*>(made)->eventType());
        delete made;
    }
}

TEST(KqEventTest, ConstructionDefaults)
{
    Registered once;
    KqResizeEvent resize;
    EXPECT_EQ(uint32_t(KqEvent::DeliverToChildren), resize.flags);
    EXPECT_EQ(-1, resize.minWidth);
    KqMoveEvent move;
    EXPECT_EQ(KqPoint(-1, -1), move.pos);
    KqNcHitTestEvent hit;
    EXPECT_EQ(1, hit.hitTest);
    KqFocusInEvent focus;
    EXPECT_EQ(8, focus.reason);
    KqWinOnShowEvent show;
    EXPECT_EQ(1, show.showCommand);

    KqGraphicsItem* item = new KqGraphicsItem;
    KqMouseClickedEvent clicked(item);
    EXPECT_EQ(item, clicked.resolveTarget(nullptr));
    KqHoverGainEvent gain(item);
    EXPECT_EQ(item, gain.target(nullptr));
    KqDragStartEvent drag(item);
    EXPECT_EQ(item, drag.target(nullptr));
    delete item;
    // The cached target is weak: it goes with the item.
    EXPECT_EQ(nullptr, gain.target(nullptr));
    EXPECT_EQ(nullptr, drag.target(nullptr));

    KqEvent plain;
    plain.setFlag(KqEvent::Accepted | KqEvent::DeliverToChildren, true);
    plain.setFlag(KqEvent::DeliverToChildren, false);
    EXPECT_EQ(uint32_t(KqEvent::Accepted), plain.flags);
}

// Item set-ups for the accept rules.
enum ItemSetup { Plain, LeftButton, RightButton, Focusable, Hover, HoverStateOnly, Draggable, Hidden, DropTarget, DropTargetDisabled, Dragged };

KqGraphicsItem* makeItem(ItemSetup setup)
{
    KqGraphicsItem* item = new KqGraphicsItem;
    switch (setup) {
    case Plain: break;
    case LeftButton: item->setAcceptedMouseButtons(1, true); break;
    case RightButton: item->setAcceptedMouseButtons(2, true); break;
    case Focusable: item->setFlag(KqGraphicsItem::Focusable, true); break;
    case Hover: item->setFlag(KqGraphicsItem::AcceptsHover, true); break;
    case HoverStateOnly: item->setStateBits(KqGraphicsItem::FullRepaintPending, true); break;
    case Draggable: item->setFlag(KqGraphicsItem::AcceptsDrag, true); break;
    case Hidden: item->setVisible(false); break;
    case DropTarget:
    case Dragged: item->setStateBits(KqGraphicsItem::AcceptsDrops, true); break;
    case DropTargetDisabled:
        item->setStateBits(KqGraphicsItem::AcceptsDrops, true);
        item->setEnabled(false);
        break;
    }
    return item;
}

TEST(KqEventTest, AcceptRules)
{
    Registered once;
    KqGraphicsItem* dragged = makeItem(Dragged);
    auto mouse = [](int button) {
        KqMouseDownEvent* e = new KqMouseDownEvent;
        e->button = button;
        return static_cast<KqEvent*>(e);
    };
    auto drop = [dragged]() {
        KqDragDropEvent* e = new KqDragDropEvent;
        e->draggedItem = KqWeakPointer(dragged);
        return static_cast<KqEvent*>(e);
    };
    struct Row {
        const char* name;
        KqEvent* event;
        ItemSetup setup;
        bool accepts;
    } rows[] = {
        {"base never", new KqEvent, Plain, false},
        {"scene event always", new KqSceneEvent, Plain, true},
        {"accepted-event never", new KqEventAcceptedEvent, LeftButton, false},
        {"button 0 skips the test", mouse(0), Plain, true},
        {"left on plain", mouse(1), Plain, false},
        {"left on left", mouse(1), LeftButton, true},
        {"left on right", mouse(1), RightButton, false},
        {"wheel needs focusable", new KqMouseWheelEvent, Plain, false},
        {"wheel on focusable", new KqMouseWheelEvent, Focusable, true},
        {"key without focus", new KqKeyDownEvent, Focusable, false},
        {"char without focus", new KqCharEvent, Focusable, false},
        {"hover on hover flag", new KqHoverEnterEvent, Hover, true},
        {"hover not on repaint state", new KqHoverLeaveEvent, HoverStateOnly, false},
        {"focus needs focusable", new KqFocusInEvent, Plain, false},
        {"focus on focusable", new KqFocusOutEvent, Focusable, true},
        {"drag needs flag 1", new KqDragMoveEvent, Focusable, false},
        {"drag on flag 1", new KqDragEndEvent, Draggable, true},
        {"drop on target", drop(), DropTarget, true},
        {"drop on disabled target", drop(), DropTargetDisabled, false},
        {"drop on plain", drop(), Plain, false},
        {"window event always", new KqWinCommandEvent, Hidden, true},
        {"resize needs visible", new KqResizeEvent, Hidden, false},
        {"resize on visible", new KqResizeEvent, Plain, true},
        {"hit test needs a widget", new KqNcHitTestEvent, LeftButton, false},
        {"widget event always", new KqCheckBoxEvent, Plain, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        KqGraphicsItem* item = makeItem(row.setup);
        EXPECT_EQ(row.accepts, row.event->accepts(item));
        delete item;
        delete row.event;
    }
    // The dragged item itself never takes its own drop.
    KqEvent* own = drop();
    EXPECT_FALSE(own->accepts(dragged));
    delete own;
    delete dragged;
}

int16_t g_keyStates[256];
int16_t fakeKeyState(int key) { return g_keyStates[key & 0xFF]; }

TEST(KqEventTest, ModifiersSampledAtConstruction)
{
    Registered once;
    kqSetKeyStateSource(fakeKeyState);
    struct Row {
        int16_t shift, control, alt;
        uint8_t flags;
        int32_t modifiers;
    } rows[] = {
        {0, 0, 0, 0, 0},
        {int16_t(0xFF80), 0, 0, 0x1, 0x2000000},
        {0, int16_t(0x8000), 0, 0x2, 0x4000000},
        {0, 0, int16_t(0x8001), 0x4, 0x8000000},
        {0x0001, 0x00FF, 0, 0, 0},           // toggled or low byte only: up
        {0x0100, 0x0100, 0x0100, 0x7, 0xE000000}, // 256 counts as down
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.modifiers);
        g_keyStates[16] = row.shift;
        g_keyStates[17] = row.control;
        g_keyStates[18] = row.alt;
        KqKeyDownEvent key(65);
        EXPECT_EQ(row.flags, key.modifierFlags);
        EXPECT_EQ(row.modifiers, key.modifiers);
        KqKeyEvent later(65);
        g_keyStates[16] = g_keyStates[17] = g_keyStates[18] = 0;
        EXPECT_EQ(row.modifiers, later.modifiers); // kept after release
    }
    g_keyStates[16] = int16_t(0x8000);
    EXPECT_TRUE(kqIsModifierDown(KqKeyEvent::ShiftModifier));
    EXPECT_FALSE(kqIsModifierDown(0x1000000));
    EXPECT_FALSE(kqIsModifierDown(KqKeyEvent::ShiftModifier | KqKeyEvent::ControlModifier));
    kqSetKeyStateSource(nullptr);
}

std::string names(const KqVector<KqGraphicsItem*>& items)
{
    std::string out;
    for (int i = 0; i < items.count(); ++i)
        out += static_cast<char>(items.at(i)->objectName().unitAt(0));
    return out;
}

KqGraphicsItem* named(char name, KqGraphicsItem* parent, double z = 0)
{
    KqGraphicsItem* item = new KqGraphicsItem(parent);
    char text[2] = {name, 0};
    item->setObjectName(KqString::fromAnsi(text));
    item->setZValue(z);
    return item;
}

TEST(KqEventTest, StackingOrderByZInsertionAndTree)
{
    Registered once;
    // root: a(z 1) [a1, a2], b(z 0) [b1(z -1)], c(z 1 + 1e-13, fuzzy-equal to a)
    KqGraphicsItem* root = named('r', nullptr);
    KqGraphicsItem* a = named('a', root, 1);
    KqGraphicsItem* a1 = named('1', a);
    KqGraphicsItem* a2 = named('2', a);
    KqGraphicsItem* b = named('b', root, 0);
    KqGraphicsItem* b1 = named('x', b, -1);
    KqGraphicsItem* c = named('c', root, 1 + 1e-13);

    struct Row {
        KqStackKey key;
        KqGraphicsItem* first;
        KqGraphicsItem* second;
        bool less;
    } rows[] = {
        {KqStackKey::ZValue, b, a, true},
        {KqStackKey::ZValue, a, c, true},  // nearly equal z: insertion decides
        {KqStackKey::ZValue, c, a, false},
        {KqStackKey::Insertion, c, b, false},
        {KqStackKey::Tree, root, a1, true}, // an ancestor first
        {KqStackKey::Tree, a1, a, false},
        {KqStackKey::Tree, a, a1, true},
        {KqStackKey::Tree, b1, a2, true}, // through the siblings b < a
        {KqStackKey::Tree, a2, b1, false},
        {KqStackKey::Tree, a1, a2, true},
        {KqStackKey::Tree, a2, c, true},
        {KqStackKey::Tree, a, a, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(int(&row - rows));
        EXPECT_EQ(row.less, kqStackLess(row.key, row.first, row.second));
    }

    KqVector<KqGraphicsItem*> all;
    for (KqGraphicsItem* item : {c, a2, b1, root, a, b, a1})
        all.append(item);
    kqSortItems(all, KqStackKey::Tree, true);
    EXPECT_EQ("rbxa12c", names(all));
    kqSortItems(all, KqStackKey::Tree, false);
    EXPECT_EQ("c21axbr", names(all));

    // Children come back in stacking order with equal values in insertion order.
    root->sortChildren();
    EXPECT_EQ("bac", names(root->children()));
    EXPECT_EQ(0, a->siblingIndex());
    EXPECT_EQ(2, c->siblingIndex());
    delete root;
}

TEST(KqEventTest, MergeSortIsStableUnderTheFuzzyComparison)
{
    Registered once;
    // Many equal stacking values: the sort keeps insertion order among them,
    // ascending and (reversed) descending.
    KqGraphicsItem* root = named('r', nullptr);
    std::mt19937 random(7);
    std::vector<KqGraphicsItem*> made;
    for (int i = 0; i < 300; ++i)
        made.push_back(named('i', root, double(random() % 5)));
    KqVector<KqGraphicsItem*> list;
    for (KqGraphicsItem* item : made)
        list.append(item);
    kqSortItems(list, KqStackKey::ZValue, true);
    std::vector<KqGraphicsItem*> expected = made;
    std::stable_sort(expected.begin(), expected.end(), [](KqGraphicsItem* x, KqGraphicsItem* y) {
        return x->zValue() < y->zValue();
    });
    for (int i = 0; i < list.count(); ++i)
        ASSERT_EQ(expected[size_t(i)], list.at(i)) << i;
    kqSortItems(list, KqStackKey::ZValue, false);
    for (int i = 0; i + 1 < list.count(); ++i) {
        ASSERT_GE(list.at(i)->zValue(), list.at(i + 1)->zValue());
        if (list.at(i)->zValue() == list.at(i + 1)->zValue()) {
            ASSERT_GT(list.at(i)->siblingIndex(), list.at(i + 1)->siblingIndex());
        }
    }
    delete root;
}

TEST(KqEventTest, FlagSearchFallsBackToTheFirstItemsAncestors)
{
    Registered once;
    KqGraphicsItem* root = named('r', nullptr);
    KqGraphicsItem* mid = named('m', root);
    KqGraphicsItem* leaf1 = named('1', mid);
    KqGraphicsItem* leaf2 = named('2', mid);
    KqVector<KqGraphicsItem*> list;
    list.append(leaf1);
    list.append(leaf2);
    EXPECT_EQ(nullptr, kqFindItemWithFlags(list, 0x10));
    root->setFlag(0x10, true);
    EXPECT_EQ(root, kqFindItemWithFlags(list, 0x10 | 0x4));
    leaf2->setFlag(0x4, true);
    EXPECT_EQ(leaf2, kqFindItemWithFlags(list, 0x10 | 0x4));
    EXPECT_EQ(nullptr, kqFindItemWithFlags(KqVector<KqGraphicsItem*>(), 0x10));
    delete root;
}

struct Recorder : KqItemChangeListener {
    explicit Recorder(uint32_t mask) : KqItemChangeListener(mask) {}
    void itemChanged(uint32_t bit, KqGraphicsItem* item, const KqVariant& newValue, const KqVariant&) override
    {
        log += std::to_string(bit) + ":" + char(item->objectName().unitAt(0)) + "=" + std::to_string(newValue.toInt()) + " ";
        if (unwatchOnCall)
            unwatch(item);
    }
    std::string log;
    bool unwatchOnCall = false;
};

TEST(KqEventTest, ChangeListenersWatchAndForget)
{
    Registered once;
    KqGraphicsItem* a = named('a', nullptr);
    KqGraphicsItem* b = named('b', nullptr);
    Recorder visibility(KqGraphicsItem::VisibilityChanged | KqGraphicsItem::ItemDestroyed);
    Recorder geometryOnly(KqGraphicsItem::GeometryChanged);
    visibility.watch(a);
    visibility.watch(b);
    geometryOnly.watch(a);
    a->setVisible(false);
    a->setVisible(false); // no change, no call
    b->setVisible(true);
    EXPECT_EQ("4:a=0 ", visibility.log);
    EXPECT_EQ("", geometryOnly.log);

    visibility.unwatch(b);
    b->setVisible(false);
    EXPECT_EQ("4:a=0 ", visibility.log);
    EXPECT_EQ(1, visibility.watchedItems().count());

    // Destruction: told once, then the item is forgotten everywhere.
    delete a;
    EXPECT_EQ("4:a=0 16:a=0 ", visibility.log);
    EXPECT_EQ(0, visibility.watchedItems().count());
    EXPECT_EQ(0, geometryOnly.watchedItems().count());

    // unwatchAll over several items, with a listener that unwatches inside its call.
    Recorder selfRemoving(KqGraphicsItem::VisibilityChanged);
    selfRemoving.unwatchOnCall = true;
    KqGraphicsItem* c = named('c', nullptr);
    selfRemoving.watch(b);
    selfRemoving.watch(c);
    b->setVisible(true);
    b->setVisible(false);
    EXPECT_EQ("4:b=1 ", selfRemoving.log);
    selfRemoving.unwatchAll();
    EXPECT_EQ(0, selfRemoving.watchedItems().count());
    c->setVisible(false);
    EXPECT_EQ("4:b=1 ", selfRemoving.log);
    delete b;
    delete c;
}

TEST(KqEventTest, FocusProxyFieldsAreClearedWhicheverDiesFirst)
{
    Registered once;
    for (bool proxyFirst : {true, false}) {
        SCOPED_TRACE(proxyFirst);
        KqGraphicsItem* proxy = named('p', nullptr);
        KqGraphicsItem* user = named('u', nullptr);
        KqGraphicsItem* other = named('o', nullptr);
        user->setFocusProxy(proxy);
        other->setFocusProxy(proxy);
        proxy->setFocusProxy(user); // would close a loop: refused
        EXPECT_EQ(nullptr, proxy->focusProxy());
        if (proxyFirst) {
            delete proxy;
            EXPECT_EQ(nullptr, user->focusProxy());
            EXPECT_EQ(nullptr, other->focusProxy());
            delete user;
        } else {
            delete user; // leaves the proxy's list before it dies
            EXPECT_EQ(proxy, other->focusProxy());
            delete proxy;
            EXPECT_EQ(nullptr, other->focusProxy());
        }
        delete other;
    }
}

TEST(KqEventTest, ReparentingRefusesCyclesAndNumbersSiblings)
{
    Registered once;
    KqGraphicsItem* root = named('r', nullptr);
    KqGraphicsItem* a = named('a', root);
    KqGraphicsItem* b = named('b', root);
    KqGraphicsItem* a1 = named('1', a);
    EXPECT_EQ(2, a1->depth());
    root->setParentItem(a1); // a1 descends from root
    EXPECT_EQ(nullptr, root->parentItem());
    a->setParentItem(a);
    EXPECT_EQ(root, a->parentItem());
    a1->setParentItem(b);
    EXPECT_EQ(b, a1->parentItem());
    EXPECT_EQ(0, a->children().count());
    EXPECT_EQ(0, a1->siblingIndex());
    a->setParentItem(b);
    EXPECT_EQ(1, a->siblingIndex());
    EXPECT_EQ(2, a1->depth());
    EXPECT_EQ(root, a1->commonAncestorItem(a)->parentItem());
    int before = KqItemRegistry::instance()->count();
    delete root;
    EXPECT_EQ(before - 4, KqItemRegistry::instance()->count());
}

} // namespace
