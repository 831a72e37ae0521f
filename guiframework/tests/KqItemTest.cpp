#include "KqAnchors.h"
#include "KqGraphicsItem.h"
#include "KqItemChangeListener.h"
#include "KqServices.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

KqString text(const char* s) { return KqString::fromUtf8(s); }

std::string utf8(const KqString& s)
{
    KqByteArray b = s.toUtf8();
    return std::string(b.data(), size_t(b.size()));
}

struct CountingItem : KqGraphicsItem {
    explicit CountingItem(KqGraphicsItem* parent = nullptr) : KqGraphicsItem(parent) {}
    void itemChanged(int kind, const KqVariant& n, const KqVariant& o) override
    {
        kinds.push_back(kind);
        KqGraphicsItem::itemChanged(kind, n, o);
    }
    std::vector<int> kinds;
};

struct BitLog : KqItemChangeListener {
    BitLog() : KqItemChangeListener(0xFFFFFFFF) {}
    void itemChanged(uint32_t bit, KqGraphicsItem*, const KqVariant&, const KqVariant&) override { bits.push_back(bit); }
    std::vector<uint32_t> bits;
};

TEST(KqItemTest, GeometryReportsOncePerChange)
{
    CountingItem item;
    BitLog log;
    log.watch(&item);
    item.setGeometry(10, 20, 30, 40);
    // The position is told as it changes, the whole geometry once at the end.
    EXPECT_EQ((std::vector<uint32_t>{32, 1}), log.bits);
    EXPECT_EQ((std::vector<int>{0, 14}), item.kinds);
    EXPECT_EQ(KqRectF(10, 20, 30, 40), item.geometry());

    struct Row {
        const char* name;
        void (*change)(KqGraphicsItem*);
        std::vector<uint32_t> bits;
        std::vector<int> kinds;
    } rows[] = {
        {"fuzzy-equal rect", [](KqGraphicsItem* i) { i->setRect(KqRectF(0, 0, 30 * (1 + 1e-14), 40)); }, {}, {}},
        {"same geometry", [](KqGraphicsItem* i) { i->setGeometry(10, 20, 30, 40); }, {}, {}},
        {"resize only", [](KqGraphicsItem* i) { i->setWidth(31); }, {1}, {14}},
        {"move only", [](KqGraphicsItem* i) { i->setX(11); }, {1, 32}, {14, 0}},
        {"move and resize", [](KqGraphicsItem* i) { i->setGeometry(1, 2, 3, 4); }, {32, 1}, {0, 14}},
        {"rect", [](KqGraphicsItem* i) { i->setRect(KqRectF(0, 0, 5, 5)); }, {1}, {14}},
        {"visibility", [](KqGraphicsItem* i) { i->setVisible(false); }, {4}, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        log.bits.clear();
        item.kinds.clear();
        row.change(&item);
        EXPECT_EQ(row.bits, log.bits);
        EXPECT_EQ(row.kinds, item.kinds);
    }
}

TEST(KqItemTest, DeadItemLeavesNoFieldWithItsProxy)
{
    KqGraphicsItem* proxy = new KqGraphicsItem;
    KqGraphicsItem* other = new KqGraphicsItem;
    KqGraphicsItem* dying = new KqGraphicsItem;
    dying->setFocusProxy(proxy);
    delete dying;
    // The pool hands the freed block out again: the next item lives where
    // the dead one's proxy field was.
    KqGraphicsItem* reborn = new KqGraphicsItem;
    reborn->setFocusProxy(other);
    delete proxy; // must not clear a field of the dead item, now reborn's
    EXPECT_EQ(other, reborn->focusProxy());
    delete other;
    EXPECT_EQ(nullptr, reborn->focusProxy()); // its own proxy going does clear it
    delete reborn;
}

TEST(KqItemTest, ObjectPathAndProperties)
{
    KqGraphicsItem* main = new KqGraphicsItem;
    KqGraphicsItem* button = new KqGraphicsItem(main);
    KqGraphicsItem* label = new KqGraphicsItem(button);
    main->setObjectName(text("main"));
    button->setObjectName(text("pushButton"));
    label->setObjectName(text("text"));
    EXPECT_EQ("main.pushButton.text", utf8(label->objectPath()));
    EXPECT_EQ("main", utf8(main->objectPath()));

    struct Row {
        KqVariant value;
        double opacity;
    } rows[] = {{KqVariant(int32_t(1)), 1.0}, {KqVariant(0.25), 0.25}, {KqVariant(true), 1.0},
                {KqVariant::fromString(text("0.5")), 0.0}, {KqVariant(0.75f), 0.75},
                {KqVariant(static_cast<unsigned long long>(3)), 3.0}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.opacity);
        button->setOpacity(0.1);
        EXPECT_TRUE(button->setProperty(text("opacity"), row.value));
        EXPECT_EQ(row.opacity, button->opacity());
        EXPECT_EQ(row.opacity, button->property(text("opacity")).toDouble());
    }
    EXPECT_TRUE(button->hasProperty(text("opacity")));
    EXPECT_FALSE(button->hasProperty(text("colour")));
    button->setProperty(text("colour"), KqVariant(int32_t(7)));
    EXPECT_TRUE(button->hasProperty(text("colour")));
    EXPECT_FALSE(label->hasProperty(text("colour")));
    EXPECT_EQ(7, button->property(text("colour")).toInt());
    EXPECT_TRUE(label->property(text("colour")).isNull());
    delete main;
}

std::vector<std::string> g_messages;
void capture(const KqString& message) { g_messages.push_back(utf8(message)); }

struct Captured {
    Captured()
    {
        g_messages.clear();
        kqSetDebugCapture(capture);
    }
    ~Captured() { kqSetDebugCapture(nullptr); }
    bool saw(const char* text) const
    {
        for (const std::string& m : g_messages)
            if (m.find(text) != std::string::npos)
                return true;
        return false;
    }
};

TEST(KqAnchorsTest, MarginsCentresAndFollowingTheParent)
{
    KqGraphicsItem parent;
    parent.setGeometry(0, 0, 100, 21);
    KqGraphicsItem* child = new KqGraphicsItem(&parent);
    child->resize(10, 10);
    KqAnchors* a = child->anchors();
    a->setLeftMargin(5);
    a->setRightMargin(5);
    a->setLeft(KqAnchorLine(&parent, KqAnchorLine::Left));
    a->setRight(KqAnchorLine(&parent, KqAnchorLine::Right));
    EXPECT_EQ(5, child->x());
    EXPECT_EQ(90, child->width());
    a->setVerticalCenter(KqAnchorLine(&parent, KqAnchorLine::VCenter));
    EXPECT_EQ(6, child->y()); // 11 - 5: the odd half rounds up
    parent.setWidth(200);
    EXPECT_EQ(190, child->width());
    // Moving the child by hand is undone; moving the parent recomputes nothing.
    child->setX(50);
    EXPECT_EQ(5, child->x());
    BitLog log;
    log.watch(child);
    parent.setPos(30, 30);
    EXPECT_TRUE(log.bits.empty());
    EXPECT_EQ(5, child->x());

    // Half extents.
    struct Half {
        double extent, half;
    } halves[] = {{21, 11}, {20, 10}, {21.5, 11.25}, {0, 0}, {1, 1}};
    for (const Half& h : halves)
        EXPECT_EQ(h.half, KqAnchors::half(h.extent)) << h.extent;
}

TEST(KqAnchorsTest, RefusalsPrintTheirTexts)
{
    KqGraphicsItem grand;
    KqGraphicsItem* parent = new KqGraphicsItem(&grand);
    KqGraphicsItem* item = new KqGraphicsItem(parent);
    KqGraphicsItem* sibling = new KqGraphicsItem(parent);
    KqGraphicsItem stranger;
    item->setObjectName(text("anchored"));
    struct Row {
        const char* name;
        void (*set)(KqAnchors*, KqGraphicsItem*, KqGraphicsItem*, KqGraphicsItem*, KqGraphicsItem*);
        const char* message;
    } rows[] = {
        {"null", [](KqAnchors* a, KqGraphicsItem*, KqGraphicsItem*, KqGraphicsItem*, KqGraphicsItem*) {
             a->setLeft(KqAnchorLine(nullptr, KqAnchorLine::Left)); },
         "Cannot anchor to a null item."},
        {"h to v", [](KqAnchors* a, KqGraphicsItem* p, KqGraphicsItem*, KqGraphicsItem*, KqGraphicsItem*) {
             a->setLeft(KqAnchorLine(p, KqAnchorLine::Top)); },
         "Cannot anchor a horizontal edge to a vertical edge."},
        {"v to h", [](KqAnchors* a, KqGraphicsItem* p, KqGraphicsItem*, KqGraphicsItem*, KqGraphicsItem*) {
             a->setBottom(KqAnchorLine(p, KqAnchorLine::HCenter)); },
         "Cannot anchor a vertical edge to a horizontal edge."},
        {"grandparent", [](KqAnchors* a, KqGraphicsItem*, KqGraphicsItem* g, KqGraphicsItem*, KqGraphicsItem*) {
             a->setLeft(KqAnchorLine(g, KqAnchorLine::Left)); },
         "Cannot anchor to an item that isn't a parent or sibling."},
        {"stranger fill", [](KqAnchors* a, KqGraphicsItem*, KqGraphicsItem*, KqGraphicsItem*, KqGraphicsItem* s) {
             a->setFill(s); },
         "Cannot anchor to an item that isn't a parent or sibling."},
        {"self", [](KqAnchors* a, KqGraphicsItem*, KqGraphicsItem*, KqGraphicsItem* self, KqGraphicsItem*) {
             a->setTop(KqAnchorLine(self, KqAnchorLine::Top)); },
         "Cannot anchor item to self."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Captured captured;
        row.set(item->anchors(), parent, &grand, item, &stranger);
        EXPECT_TRUE(captured.saw(row.message));
        EXPECT_TRUE(captured.saw("anchored"));
        EXPECT_EQ(0u, item->anchors()->usedLines());
        EXPECT_EQ(nullptr, item->anchors()->fill());
    }
    KqAnchors* a = item->anchors();
    a->setLeft(KqAnchorLine(parent, KqAnchorLine::Left));
    a->setRight(KqAnchorLine(sibling, KqAnchorLine::Left));
    {
        Captured captured;
        a->setHorizontalCenter(KqAnchorLine(parent, KqAnchorLine::HCenter));
        EXPECT_TRUE(captured.saw("Cannot specify left, right, and hcenter anchors."));
        EXPECT_EQ(uint32_t(KqAnchorLine::Left | KqAnchorLine::Right), a->usedLines());
    }
    a->setTop(KqAnchorLine(parent, KqAnchorLine::Top));
    a->setBottom(KqAnchorLine(sibling, KqAnchorLine::Baseline));
    {
        Captured captured;
        a->setVerticalCenter(KqAnchorLine(parent, KqAnchorLine::VCenter));
        EXPECT_TRUE(captured.saw("Cannot specify top, bottom, and vcenter anchors."));
    }
    // A dying target is forgotten: its lines leave the used set.
    delete sibling;
    EXPECT_EQ(uint32_t(KqAnchorLine::Left | KqAnchorLine::Top), a->usedLines());
    EXPECT_EQ(nullptr, a->right().item);
}

TEST(KqAnchorsTest, SiblingLoopStopsWithItsMessage)
{
    KqGraphicsItem parent;
    parent.resize(500, 50);
    KqGraphicsItem* first = new KqGraphicsItem(&parent);
    KqGraphicsItem* second = new KqGraphicsItem(&parent);
    first->resize(10, 10);
    second->resize(10, 10);
    first->anchors()->setLeftMargin(1);
    second->anchors()->setLeftMargin(1);
    Captured captured;
    first->anchors()->setLeft(KqAnchorLine(second, KqAnchorLine::Right));
    second->anchors()->setLeft(KqAnchorLine(first, KqAnchorLine::Right));
    EXPECT_TRUE(captured.saw("Possible anchor loop detected on horizontal anchor."));
    EXPECT_LT(first->x(), 500);
}

TEST(KqAnchorsTest, PlacingAnItemIsNoLoop)
{
    KqGraphicsItem parent;
    parent.resize(200, 100);
    Captured captured;
    const struct { double left, right, top; } cases[] = {{0, 0, 0}, {3, 0, 0}, {3, 4, 5}, {0, 6, 2}};
    for (const auto& c : cases) {
        KqGraphicsItem* child = new KqGraphicsItem(&parent);
        child->setHeight(10);
        KqAnchors* a = child->anchors();
        a->setLeft(KqAnchorLine(&parent, KqAnchorLine::Left));
        a->setRight(KqAnchorLine(&parent, KqAnchorLine::Right));
        a->setTop(KqAnchorLine(&parent, KqAnchorLine::Top));
        a->setLeftMargin(c.left);
        a->setRightMargin(c.right);
        a->setTopMargin(c.top);
        parent.resize(250, 100);
        EXPECT_EQ(c.left, child->x());
        EXPECT_EQ(250 - c.left - c.right, child->width());
        EXPECT_EQ(c.top, child->y());
        parent.resize(200, 100);
        EXPECT_EQ(200 - c.left - c.right, child->width());
        delete child;
    }
    EXPECT_TRUE(g_messages.empty()) << g_messages.front();
}

TEST(KqAnchorsTest, FillCentreAndCommonMargins)
{
    KqGraphicsItem parent;
    parent.setGeometry(7, 7, 100, 60);
    KqGraphicsItem* filler = new KqGraphicsItem(&parent);
    KqAnchors* a = filler->anchors();
    a->setLeftMargin(2);
    a->setMargins(4);
    EXPECT_EQ(2, a->leftMargin());
    EXPECT_EQ(4, a->rightMargin());
    EXPECT_EQ(4, a->topMargin());
    EXPECT_EQ(4, a->bottomMargin());
    a->setFill(&parent);
    EXPECT_EQ(KqRectF(2, 4, 94, 52), filler->geometry());
    parent.resize(50, 30);
    EXPECT_EQ(KqRectF(2, 4, 44, 22), filler->geometry());

    KqGraphicsItem* centred = new KqGraphicsItem(&parent);
    centred->resize(11, 10);
    centred->anchors()->setHorizontalCenterOffset(1);
    centred->anchors()->setCenterIn(&parent);
    EXPECT_EQ(25 - 6 + 1, centred->x());
    EXPECT_EQ(15 - 5, centred->y());
    // Removing anchors stops the following.
    centred->removeAnchors();
    parent.resize(80, 30);
    EXPECT_EQ(20, centred->x());
}

} // namespace

#include "KqPositioner.h"

namespace {

KqGraphicsItem* sized(KqGraphicsItem* parent, double w, double h)
{
    KqGraphicsItem* item = new KqGraphicsItem(parent);
    item->resize(w, h);
    return item;
}

TEST(KqPositionerTest, RowsAndColumnsPlaceVisibleChildren)
{
    KqRowPositioner row;
    EXPECT_TRUE(row.testFlag(KqGraphicsItem::NoOwnPaint));
    row.setSpacing(5);
    EXPECT_EQ(0, row.width()); // empty: 0, not minus the spacing
    KqGraphicsItem* a = sized(&row, 30, 10);
    KqGraphicsItem* hidden = sized(&row, 99, 99);
    hidden->setVisible(false);
    KqGraphicsItem* b = sized(&row, 40, 25);
    sized(&row, 0, 50); // zero width: no space
    KqGraphicsItem* c = sized(&row, 50, 5);
    EXPECT_EQ(0, a->x());
    EXPECT_EQ(35, b->x());
    EXPECT_EQ(80, c->x());
    EXPECT_EQ(130, row.width());
    EXPECT_EQ(25, row.height());

    // Hand moves along the axis are undone, across it kept.
    b->setPos(3, 7);
    EXPECT_EQ(35, b->x());
    EXPECT_EQ(7, b->y());
    // Showing, resizing and deleting children re-run the positioning.
    hidden->setVisible(true);
    EXPECT_EQ(35, hidden->x());
    EXPECT_EQ(139, b->x());
    EXPECT_EQ(99, row.height());
    delete hidden;
    EXPECT_EQ(35, b->x());
    a->setWidth(10);
    EXPECT_EQ(15, b->x());
    EXPECT_EQ(110, row.width());

    KqColumnPositioner column;
    column.setSpacing(2);
    KqGraphicsItem* top = sized(&column, 20, 10);
    KqGraphicsItem* bottom = sized(&column, 30, 5);
    EXPECT_EQ(0, top->y());
    EXPECT_EQ(12, bottom->y());
    EXPECT_EQ(17, column.height());
    EXPECT_EQ(30, column.width());
}

TEST(KqPositionerTest, AnchorConflictsAreNamed)
{
    KqRowPositioner row;
    row.setObjectName(text("buttons"));
    KqGraphicsItem* child = sized(&row, 10, 10);
    Captured quiet;
    row.checkAnchors();
    EXPECT_TRUE(g_messages.empty());
    child->anchors()->setVerticalCenter(KqAnchorLine(&row, KqAnchorLine::VCenter)); // across the axis: fine
    row.checkAnchors();
    EXPECT_TRUE(g_messages.empty());
    child->anchors()->setFill(&row);
    row.checkAnchors();
    EXPECT_TRUE(quiet.saw("Cannot specify left, right, horizontalCenter, fill or centerIn anchors for items inside Row"));
}

} // namespace
