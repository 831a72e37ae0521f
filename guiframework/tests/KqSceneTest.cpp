#include "KqGraphicsItem.h"
#include "KqGraphicsScene.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

KqGraphicsItem* box(KqGraphicsItem* parent, KqGraphicsScene* scene, char name, double x, double y, double w, double h)
{
    KqGraphicsItem* item = new KqGraphicsItem(parent, scene);
    char text[2] = {name, 0};
    item->setObjectName(KqString::fromAnsi(text));
    item->setGeometry(x, y, w, h);
    return item;
}

std::string names(const KqVector<KqGraphicsItem*>& items)
{
    std::string out;
    for (int i = 0; i < items.count(); ++i)
        out += char(items.at(i)->objectName().unitAt(0));
    return out;
}

TEST(KqSceneTest, AddingAndRemovingSubtrees)
{
    KqGraphicsScene scene, other;
    KqGraphicsItem* root = box(nullptr, nullptr, 'r', 0, 0, 100, 100);
    KqGraphicsItem* child = box(root, nullptr, 'c', 0, 0, 10, 10);
    box(child, nullptr, 'g', 0, 0, 5, 5);
    scene.addItem(root);
    EXPECT_EQ(3, scene.itemCount());
    scene.addItem(root);
    EXPECT_EQ(3, scene.itemCount());
    EXPECT_EQ(&scene, child->scene());
    // Re-parenting into another scene's tree moves the subtree.
    KqGraphicsItem* otherRoot = box(nullptr, &other, 'o', 0, 0, 50, 50);
    child->setParentItem(otherRoot);
    EXPECT_EQ(1, scene.itemCount());
    EXPECT_EQ(3, other.itemCount());
    EXPECT_EQ(&other, child->children().at(0)->scene());
    // Removing a child detaches it from its parent and makes it no one's.
    other.removeItem(child);
    EXPECT_EQ(nullptr, child->scene());
    EXPECT_EQ(nullptr, child->parentItem());
    EXPECT_EQ(1, other.itemCount());
    delete child;
    delete otherRoot;
    EXPECT_EQ(0, other.itemCount());
    EXPECT_EQ(0, other.topLevelItems().count());
    delete root;
    EXPECT_EQ(0, scene.itemCount());
}

TEST(KqSceneTest, PointQueriesTopmostFirst)
{
    KqGraphicsScene scene;
    KqGraphicsItem* back = box(nullptr, &scene, 'b', 0, 0, 100, 100);
    KqGraphicsItem* front = box(nullptr, &scene, 'f', 50, 50, 100, 100); // equal z: later on top
    KqGraphicsItem* inner = box(back, nullptr, 'i', 60, 60, 30, 30);
    KqGraphicsItem* outside = box(back, nullptr, 'x', 120, 120, 10, 10);
    EXPECT_EQ("fb", names(scene.topLevelItems()));
    struct Row {
        double x, y;
        const char* items;
    } rows[] = {{70, 70, "fib"}, {10, 10, "b"}, {125, 125, "fx"}, {200, 200, ""}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.items);
        scene.invalidatePointCache();
        EXPECT_EQ(row.items, names(scene.items(KqPointF(row.x, row.y))));
    }
    back->setFlag(KqGraphicsItem::ClipsChildren, true); // children only where the parent is hit
    scene.invalidatePointCache();
    EXPECT_EQ("f", names(scene.items(KqPointF(125, 125))));
    front->setVisible(false);
    scene.invalidatePointCache();
    EXPECT_EQ("ib", names(scene.items(KqPointF(70, 70))));
    back->setZValue(-1);
    front->setVisible(true);
    front->setZValue(-2);
    EXPECT_EQ("bf", names(scene.topLevelItems()));
    (void)inner;
    (void)outside;
    delete back;
    delete front;
}

TEST(KqSceneTest, FocusRolesAndGrabs)
{
    KqGraphicsScene scene;
    KqGraphicsItem* a = box(nullptr, &scene, 'a', 0, 0, 10, 10);
    KqGraphicsItem* b = box(nullptr, &scene, 'b', 0, 0, 10, 10);
    KqGraphicsItem* proxy = box(nullptr, &scene, 'p', 0, 0, 10, 10);
    a->setFlag(KqGraphicsItem::Focusable, true);
    b->setFlag(KqGraphicsItem::Focusable, true);
    scene.setFocus(a, 8);
    EXPECT_TRUE(a->hasFocus());
    EXPECT_EQ(a, scene.roleItem(KqGraphicsScene::FocusItem));
    proxy->setFocusProxy(b);
    scene.setFocus(proxy, 8); // follows the proxy to b
    EXPECT_EQ(b, scene.focusItem());
    EXPECT_EQ(a, scene.roleItem(KqGraphicsScene::LastFocusItem));
    EXPECT_TRUE(proxy->hasFocus());
    a->setVisible(false);
    scene.setFocus(a, 8); // an invisible item takes the focus away
    EXPECT_FALSE(scene.hasFocus());
    EXPECT_FALSE(b->hasFocus());
    scene.setFocus(b, 8);
    scene.clearFocus();
    EXPECT_EQ(nullptr, scene.focusItem());

    scene.setRoleItem(KqGraphicsScene::HoverItem, b);
    scene.grabMouse(a, false);
    scene.grabMouse(b, false);
    scene.updateGrabber();
    EXPECT_TRUE(b->isMouseGrabber());
    scene.ungrabMouse(a); // everything pushed after it goes too
    scene.updateGrabber();
    EXPECT_EQ(0, scene.grabStack().count());
    EXPECT_EQ(nullptr, scene.mouseGrabber());
    scene.grabMouse(a, true);
    scene.grabMouse(b, false); // an implicit grab gives way
    EXPECT_EQ(1, scene.grabStack().count());
    scene.updateGrabber();
    delete b; // roles and grabs that name it are cleared
    EXPECT_EQ(nullptr, scene.roleItem(KqGraphicsScene::HoverItem));
    EXPECT_EQ(nullptr, scene.mouseGrabber());
    EXPECT_EQ(0, scene.grabStack().count());
    delete a;
    delete proxy;
}

struct Collector : KqTrackable {
    std::vector<std::vector<KqRectF>> passes;
    void take(const KqVector<KqRectF>& rects)
    {
        std::vector<KqRectF> pass;
        for (int i = 0; i < rects.count(); ++i)
            pass.push_back(rects.at(i));
        passes.push_back(pass);
    }
};

TEST(KqSceneTest, DirtyAreasReachViewsOncePerPass)
{
    KqGraphicsScene scene;
    scene.setSceneRect(KqRectF(0, 0, 640, 480));
    Collector views;
    scene.sceneUpdated.connect(&views, &Collector::take);
    KqGraphicsItem* item = box(nullptr, &scene, 'i', 10, 10, 20, 20);
    scene.processUpdates();
    views.passes.clear();

    EXPECT_FALSE(scene.updatePending());
    scene.invalidate(KqRectF(0, 0, 0, 5)); // empty: ignored
    EXPECT_FALSE(scene.updatePending());
    scene.invalidate(KqRectF(1, 1, 5, 5));
    scene.invalidate(KqRectF(100, 100, 5, 5));
    EXPECT_TRUE(scene.updatePending());
    scene.processUpdates();
    ASSERT_EQ(1u, views.passes.size());
    EXPECT_EQ(2u, views.passes[0].size());
    EXPECT_FALSE(scene.updatePending());

    scene.invalidate(KqRectF(-10, -10, 1000, 1000)); // the whole scene
    scene.invalidate(KqRectF(1, 1, 5, 5));           // dropped
    scene.processUpdates();
    ASSERT_EQ(2u, views.passes.size());
    ASSERT_EQ(1u, views.passes[1].size());
    EXPECT_EQ(KqRectF(0, 0, 640, 480), views.passes[1][0]);

    // An item registers itself once however often it changes.
    item->setX(50);
    item->setX(60);
    item->setWidth(5);
    EXPECT_TRUE(item->stateBits() & KqGraphicsItem::DirtyRegistered);
    scene.processUpdates();
    EXPECT_FALSE(item->stateBits() & (KqGraphicsItem::DirtyRegistered | KqGraphicsItem::GeometryPrepared));
    ASSERT_EQ(3u, views.passes.size());
    EXPECT_FALSE(views.passes[2].empty());
    scene.processUpdates(); // nothing pending: no pass
    EXPECT_EQ(3u, views.passes.size());
    delete item;
}

TEST(KqSceneTest, ItemsOutlivingTheSceneForgetIt)
{
    KqGraphicsItem* root = box(nullptr, nullptr, 'r', 0, 0, 10, 10);
    KqGraphicsItem* child = box(root, nullptr, 'c', 0, 0, 5, 5);
    {
        KqGraphicsScene scene;
        scene.addItem(root);
    }
    EXPECT_EQ(nullptr, root->scene());
    EXPECT_EQ(nullptr, child->scene());
    EXPECT_EQ(root, child->parentItem());
    delete root;

    KqGraphicsScene* owning = new KqGraphicsScene;
    owning->setDeletesItems(true);
    int before = KqItemRegistry::instance()->count();
    box(box(nullptr, owning, 'a', 0, 0, 1, 1), nullptr, 'b', 0, 0, 1, 1);
    delete owning;
    EXPECT_EQ(before, KqItemRegistry::instance()->count());
}

} // namespace

#include "KqPainter.h"
#include "KqApplication.h"

namespace {

struct Filled : KqGraphicsItem {
    Filled(KqGraphicsItem* parent, KqGraphicsScene* scene, const KqColor& color_) : KqGraphicsItem(parent, scene), color(color_) {}
    void paint(KqPainter* painter) override
    {
        ++paints;
        painter->fillRect(rect(), color);
    }
    KqColor color;
    int paints = 0;
};

uint32_t channel(uint32_t argb, int shift) { return (argb >> shift) & 0xFF; }

TEST(KqSceneTest, DrawingWithOpacityGreyAndStacking)
{
    KqApplication app; // GDI+
    KqGraphicsScene scene;
    Filled* plain = new Filled(nullptr, &scene, KqColor(255, 0, 0));
    plain->setGeometry(0, 0, 10, 10);
    Filled* half = new Filled(nullptr, &scene, KqColor(255, 0, 0));
    half->setGeometry(20, 0, 10, 10);
    half->setOpacity(0.5);
    Filled* hidden = new Filled(nullptr, &scene, KqColor(255, 0, 0));
    hidden->setGeometry(40, 0, 10, 10);
    hidden->setOpacity(0);
    Filled* underHidden = new Filled(hidden, nullptr, KqColor(0, 255, 0));
    underHidden->setGeometry(0, 0, 5, 5);
    Filled* parent = new Filled(nullptr, &scene, KqColor(0, 0, 255));
    parent->setGeometry(60, 0, 30, 30);
    Filled* disabled = new Filled(parent, nullptr, KqColor(255, 0, 0));
    disabled->setGeometry(0, 0, 10, 10);
    disabled->setEnabled(false);
    Filled* greyChild = new Filled(disabled, nullptr, KqColor(255, 0, 0));
    greyChild->setGeometry(0, 0, 4, 4);
    // Equal z at the same place: the later one ends on top.
    Filled* first = new Filled(nullptr, &scene, KqColor(0, 255, 0));
    first->setGeometry(0, 50, 10, 10);
    Filled* second = new Filled(nullptr, &scene, KqColor(0, 0, 255));
    second->setGeometry(0, 50, 10, 10);
    Filled* off = new Filled(nullptr, &scene, KqColor(255, 255, 255));
    off->setGeometry(20, 50, 10, 10);
    off->setEnabled(false); // a disabled top-level item is not drawn

    KqImagePaintEngine target(100, 100);
    KqPainter painter(&target);
    scene.drawItems(&painter, nullptr, KqRectF(0, 0, 100, 100));

    EXPECT_EQ(0xFFFF0000u, target.pixel(5, 5));
    uint32_t translucent = target.pixel(25, 5);
    EXPECT_NEAR(128, int(channel(translucent, 24)), 1);
    EXPECT_EQ(255u, channel(translucent, 16));
    EXPECT_EQ(1, half->paints);
    EXPECT_EQ(0u, target.pixel(45, 5));
    EXPECT_EQ(0, hidden->paints);
    EXPECT_EQ(0, underHidden->paints);
    EXPECT_EQ(0xFF0000FFu, target.pixel(80, 20));  // the enabled parent in colour
    uint32_t grey = target.pixel(67, 7);             // its disabled child in grey
    EXPECT_NEAR(76, int(channel(grey, 16)), 1);
    EXPECT_EQ(channel(grey, 16), channel(grey, 8));
    EXPECT_EQ(channel(grey, 16), channel(grey, 0));
    uint32_t greyToo = target.pixel(61, 1);          // and the child's child
    EXPECT_EQ(channel(greyToo, 16), channel(greyToo, 8));
    EXPECT_EQ(0xFF0000FFu, target.pixel(5, 55));
    EXPECT_EQ(0u, target.pixel(25, 55));
    EXPECT_EQ(0, off->paints);

    // Only what meets the exposed rectangle paints itself.
    int before = plain->paints;
    scene.drawItems(&painter, nullptr, KqRectF(20, 0, 10, 10));
    EXPECT_EQ(before, plain->paints);
    EXPECT_EQ(2, half->paints);
    for (KqGraphicsItem* item : {static_cast<KqGraphicsItem*>(plain), static_cast<KqGraphicsItem*>(half), static_cast<KqGraphicsItem*>(hidden),
                                 static_cast<KqGraphicsItem*>(parent), static_cast<KqGraphicsItem*>(first), static_cast<KqGraphicsItem*>(second),
                                 static_cast<KqGraphicsItem*>(off)})
        delete item;
}

} // namespace

#include "KqEvent.h"
#include "KqEventHandler.h"

namespace {

std::string g_log;
KqGraphicsItem* g_deleteOnClick = nullptr;

void logOnly(void* target, KqEvent*) { g_log += char(static_cast<KqGraphicsItem*>(target)->objectName().unitAt(0)); }
void logAndAccept(void* target, KqEvent* event)
{
    logOnly(target, event);
    event->setAccepted(true);
}
void deleteAndAccept(void* target, KqEvent* event)
{
    logOnly(target, event);
    delete g_deleteOnClick; // the click closes the window
    g_deleteOnClick = nullptr;
    event->setAccepted(true);
}
int g_acceptedEvents = 0;
KqGraphicsItem* g_acceptedBy = nullptr;
void sceneSawAccepted(void*, KqEvent* event)
{
    ++g_acceptedEvents;
    KqEventAcceptedEvent* accepted = static_cast<KqEventAcceptedEvent*>(event);
    g_acceptedBy = static_cast<KqGraphicsItem*>(static_cast<KqSceneEvent*>(accepted->acceptedEvent)->acceptedBy.get());
}

KqItemEventHandler* handlerWith(const KqClassInfo* eventClass, KqEventCallback callback, uint32_t flags = 0)
{
    KqItemEventHandler* handler = new KqItemEventHandler;
    handler->connectEvent(eventClass, callback);
    handler->setHandlerFlag(flags, true);
    return handler;
}

void aim(KqMouseDownEvent& e, int x, int y)
{
    e.button = 1;
    e.scenePos = KqPoint(x, y);
}

TEST(KqDispatchTest, PointSearchGrabsAndStops)
{
    kqRegisterFrameworkClasses();
    KqGraphicsScene scene;
    KqGraphicsItem* lower = box(nullptr, &scene, 'l', 0, 0, 100, 100);
    KqGraphicsItem* upper = box(nullptr, &scene, 'u', 0, 0, 100, 100);
    lower->setAcceptedMouseButtons(1, true);
    lower->setEventHandler(handlerWith(KqMouseDownEvent::classInfo(), logAndAccept));
    upper->setEventHandler(handlerWith(KqMouseDownEvent::classInfo(), logAndAccept));
    struct Row {
        const char* name;
        bool upperStops, grabLower;
        const char* log;
        bool accepted;
    } rows[] = {
        {"top does not take the left button", false, false, "l", true},
        {"top stops the search", true, false, "", false},
        {"grabber takes it anywhere", true, true, "l", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        g_log.clear();
        upper->setFlag(KqGraphicsItem::StopsPointSearch, row.upperStops);
        if (row.grabLower) {
            scene.grabMouse(lower, false);
            scene.updateGrabber();
        }
        scene.invalidatePointCache();
        KqMouseDownEvent e;
        aim(e, row.grabLower ? 500 : 50, 50);
        EXPECT_EQ(row.accepted, scene.sendEvent(&e));
        EXPECT_EQ(row.log, g_log);
    }
    delete lower;
    delete upper;
}

TEST(KqDispatchTest, ClimbingAcceptingAndDescending)
{
    KqGraphicsScene scene;
    KqSceneEventHandler* sceneHandler = new KqSceneEventHandler;
    sceneHandler->setCallback(KqEventAcceptedEvent::classInfo(), sceneSawAccepted);
    scene.setEventHandler(sceneHandler);
    KqGraphicsItem* root = box(nullptr, &scene, 'r', 0, 0, 100, 100);
    KqGraphicsItem* middle = box(root, nullptr, 'm', 0, 0, 100, 100);
    KqGraphicsItem* leaf = box(middle, nullptr, 'f', 0, 0, 100, 100);
    leaf->setAcceptedMouseButtons(1, true);
    middle->setAcceptedMouseButtons(1, true);
    root->setAcceptedMouseButtons(1, true);
    leaf->setEventHandler(handlerWith(KqMouseDownEvent::classInfo(), logOnly));
    middle->setEventHandler(handlerWith(KqMouseDownEvent::classInfo(), logAndAccept)); // no bit 0: skipped when climbing
    root->setEventHandler(handlerWith(KqMouseDownEvent::classInfo(), logAndAccept, KqItemEventHandler::TakesFromChildren));
    g_log.clear();
    g_acceptedEvents = 0;
    KqMouseDownEvent e;
    aim(e, 10, 10);
    EXPECT_TRUE(scene.sendEvent(&e));
    EXPECT_EQ("fr", g_log);
    EXPECT_EQ(1, g_acceptedEvents);
    EXPECT_EQ(root, g_acceptedBy);
    EXPECT_EQ(0, e.upDepth);

    // A resize goes down to the children, topmost first.
    KqGraphicsItem* a = box(root, nullptr, 'a', 0, 0, 1, 1);
    KqGraphicsItem* b = box(root, nullptr, 'b', 0, 0, 1, 1);
    a->setZValue(5);
    for (KqGraphicsItem* item : {root, middle, a, b})
        item->setEventHandler(handlerWith(KqResizeEvent::classInfo(), logOnly, KqItemEventHandler::TakesFromParents));
    g_log.clear();
    KqResizeEvent resize;
    scene.sendEvent(root, &resize);
    EXPECT_EQ("rabm", g_log);
    EXPECT_EQ(0, resize.downDepth);
    delete root;
}

TEST(KqDispatchTest, HandlerThatClosesTheWindowEndsDelivery)
{
    KqGraphicsScene scene;
    KqGraphicsItem* window = box(nullptr, &scene, 'w', 0, 0, 100, 100);
    KqGraphicsItem* button = box(window, nullptr, 'b', 10, 10, 20, 20);
    button->setAcceptedMouseButtons(1, true);
    window->setEventHandler(handlerWith(KqMouseDownEvent::classInfo(), logAndAccept, KqItemEventHandler::TakesFromChildren));
    button->setEventHandler(handlerWith(KqMouseDownEvent::classInfo(), deleteAndAccept));
    g_deleteOnClick = window;
    g_log.clear();
    KqMouseDownEvent e;
    aim(e, 15, 15);
    EXPECT_TRUE(scene.sendEvent(&e));
    EXPECT_EQ("b", g_log);
    EXPECT_EQ(0, scene.itemCount());
    EXPECT_EQ(nullptr, e.acceptedBy.get());

    // Keys go to the focus item.
    KqGraphicsItem* edit = box(nullptr, &scene, 'e', 0, 0, 10, 10);
    edit->setFlag(KqGraphicsItem::Focusable, true);
    edit->setEventHandler(handlerWith(KqKeyDownEvent::classInfo(), logAndAccept));
    KqKeyDownEvent key(65);
    EXPECT_FALSE(scene.sendEvent(&key));
    scene.setFocus(edit, 8);
    g_log.clear();
    KqKeyDownEvent again(65);
    EXPECT_TRUE(scene.sendEvent(&again));
    EXPECT_EQ("e", g_log);
    edit->setEnabled(false); // a disabled item's handler takes nothing
    KqKeyDownEvent third(65);
    third.setCachedTarget(edit);
    EXPECT_FALSE(scene.sendEvent(&third));
    delete edit;
}

} // namespace
