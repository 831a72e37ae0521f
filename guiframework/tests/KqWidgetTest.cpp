#include "KqAnchors.h"
#include "KqAnimation.h"
#include "KqApplication.h"
#include "KqBasicItems.h"
#include "KqCursor.h"
#include "KqEvent.h"
#include "KqGraphicsFrameItem.h"
#include "KqGraphicsScene.h"
#include "KqLabel.h"
#include "KqPainter.h"
#include "KqProgressBar.h"
#include "KqPushButton.h"
#include "KqScrollArea.h"
#include "KqServices.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

// GDI+ and the skins for the whole program.
KqApplication* g_app;
struct AppEnvironment : testing::Environment {
    void SetUp() override
    {
        kqRegisterFrameworkClasses();
        g_app = new KqApplication;
    }
    void TearDown() override { delete g_app; }
};
testing::Environment* const g_env = testing::AddGlobalTestEnvironment(new AppEnvironment);

uint32_t g_tick = 1000;
uint32_t fakeTick() { return g_tick; }

struct FakeClock {
    FakeClock()
    {
        kqSetTickSource(fakeTick);
        KqAnimationDriver::instance()->startPending();
    }
    ~FakeClock()
    {
        KqDeferredDeleter::instance()->flushAll();
        kqSetTickSource(nullptr);
    }
    void step(uint32_t ms)
    {
        KqAnimationDriver::instance()->startPending();
        g_tick += ms;
        KqAnimationDriver::instance()->advance();
    }
};

template <class E> bool send(KqGraphicsItem* item, int x = 0, int y = 0)
{
    E e;
    e.button = KqMouseEvent::LeftButton;
    e.scenePos = KqPoint(x, y);
    return item->scene()->sendEvent(item, &e);
}

bool click(KqGraphicsItem* item, int x = 0, int y = 0)
{
    KqMouseClickedEvent e(item);
    e.button = KqMouseEvent::LeftButton;
    e.scenePos = KqPoint(x, y);
    return item->scene()->sendEvent(item, &e);
}

template <class E> bool sendPlain(KqGraphicsItem* item)
{
    E e;
    return item->scene()->sendEvent(item, &e);
}

KqPointF scenePos(KqGraphicsItem* item) { return item->sceneTransform().map(KqPointF(0, 0)); }

// Counts the widget events it is given, keeping the last check box state.
struct Recorder : KqTrackable {
    int calls = 0;
    bool lastChecked = false;
    bool accept = false;
    void record(KqGraphicsItem*, KqEvent* event)
    {
        ++calls;
        if (event->dynamicClassInfo() == KqCheckBoxEvent::classInfo())
            lastChecked = static_cast<KqCheckBoxEvent*>(event)->checked;
        if (accept)
            event->setAccepted(true);
    }
};

TEST(KqFrameItemTest, FillsOnlyWithAVisibleColour)
{
    KqGraphicsScene scene;
    KqGraphicsFrameItem* frame = new KqGraphicsFrameItem;
    scene.addItem(frame);
    frame->setGeometry(0, 0, 20, 10);
    EXPECT_EQ(KqString(u"frameitem"), frame->objectName());
    KqImagePaintEngine target(30, 20);
    KqPainter painter(&target);
    scene.drawItems(&painter, nullptr, KqRectF(0, 0, 30, 20));
    EXPECT_EQ(0u, target.pixel(5, 5));
    frame->setColor(KqColor(0, 0, 255, 255));
    scene.drawItems(&painter, nullptr, KqRectF(0, 0, 30, 20));
    EXPECT_EQ(0xFF0000FFu, target.pixel(5, 5));
    EXPECT_EQ(0xFF0000FFu, target.pixel(19, 9));
    EXPECT_EQ(0u, target.pixel(20, 9));
    delete frame;
}

TEST(KqFrameItemTest, HoverPictureFadesInAndOut)
{
    FakeClock clock;
    KqGraphicsFrameItem frame;
    frame.setGeometry(0, 0, 80, 30);
    frame.setMargins(KqMargins{3, 3, 3, 3});
    frame.setStateImageUrl(0, KqString(u"kqgui:btn_4word_normal.png"));
    frame.setStateImageUrl(1, KqString(u"kqgui:btn_4word_hover.png"));
    KqGraphicsMarginsPixmapItem* hover = frame.stateItem(1);
    ASSERT_NE(nullptr, hover);
    EXPECT_FALSE(hover->isVisible());
    EXPECT_EQ(80, hover->width()); // the picture fills the frame, not its own size
    EXPECT_EQ(3, hover->margins().left);

    frame.setHovered(true);
    EXPECT_TRUE(hover->isVisible());
    clock.step(75);
    EXPECT_DOUBLE_EQ(0.5, hover->opacity());
    clock.step(75);
    EXPECT_EQ(1.0, hover->opacity());

    frame.setHovered(false);
    clock.step(190);
    EXPECT_DOUBLE_EQ(0.5, hover->opacity());
    clock.step(190);
    EXPECT_EQ(0.0, hover->opacity());
    EXPECT_TRUE(hover->isVisible()); // faded out, still shown
    KqDeferredDeleter::instance()->flushAll();
    EXPECT_EQ(0, hover->animationCount());

    // A second change while fading replaces the running fade.
    frame.setHovered(true);
    clock.step(30);
    frame.setHovered(false);
    clock.step(10);
    KqDeferredDeleter::instance()->flushAll();
    EXPECT_EQ(1, hover->animationCount());
    clock.step(400);
    EXPECT_EQ(0.0, hover->opacity());

    // Still pictures never reach the frame ticker.
    KqFrameTicker* ticker = KqFrameTicker::existing();
    EXPECT_TRUE(!ticker || !ticker->contains(&frame));
}

TEST(KqFrameItemTest, MissingHoverPictureChangesNothing)
{
    FakeClock clock;
    KqGraphicsFrameItem frame;
    frame.setStateImageUrl(0, KqString(u"kqgui:btn_4word_normal.png"));
    frame.setHovered(true);
    EXPECT_TRUE(frame.isHovered());
    EXPECT_EQ(nullptr, frame.stateItem(1));
    // Pressed without an animation bit just switches.
    frame.setStateImageUrl(2, KqString(u"kqgui:btn_4word_pushed.png"));
    frame.setPressed(true);
    EXPECT_TRUE(frame.stateItem(2)->isVisible());
    EXPECT_EQ(0, frame.stateItem(2)->animationCount());
    frame.setPressed(false);
    EXPECT_FALSE(frame.stateItem(2)->isVisible());
}

TEST(KqFrameTickerTest, IntervalFollowsTheShortestWait)
{
    KqFrameTicker ticker;
    KqGraphicsFrameItem a, b;
    ticker.schedule(&a, 100);
    EXPECT_EQ(100, ticker.interval());
    ticker.schedule(&b, 30);
    EXPECT_EQ(30, ticker.interval());
    ticker.schedule(&b, 0); // no delay: leaves
    EXPECT_FALSE(ticker.contains(&b));
    EXPECT_EQ(100, ticker.interval());
    ticker.remove(&a);
    EXPECT_EQ(0, ticker.count());
    EXPECT_EQ(0, ticker.interval());
}

void put16(std::string& s, int v)
{
    s += char(v & 0xFF);
    s += char((v >> 8) & 0xFF);
}

// A 1x1 animated GIF with the given frame delays in hundredths.
KqImage gif(const std::vector<int>& delays)
{
    std::string s = "GIF89a";
    put16(s, 1);
    put16(s, 1);
    s += std::string("\x80\x00\x00", 3);
    s += std::string("\xff\x00\x00\x00\x00\xff", 6);
    s += std::string("\x21\xff\x0bNETSCAPE2.0\x03\x01\x00\x00\x00", 19);
    for (int delay : delays) {
        s += std::string("\x21\xf9\x04\x00", 4);
        put16(s, delay);
        s += std::string("\x00\x00", 2);
        s += char(0x2c);
        put16(s, 0);
        put16(s, 0);
        put16(s, 1);
        put16(s, 1);
        s += char(0);
        s += std::string("\x02\x02\x44\x01\x00", 5);
    }
    s += char(0x3b);
    return KqImage::fromBytes(KqByteArray(s.data(), int(s.size())));
}

TEST(KqFrameTickerTest, AnimatedStatePicturesAdvance)
{
    KqGraphicsFrameItem frame;
    frame.setStateImageUrl(0, KqString(u"kqgui:btn_4word_normal.png"));
    KqImage animated = gif({10, 0, 30});
    ASSERT_EQ(3, animated.frameCount());
    frame.stateItem(0)->setPixmap(animated);
    frame.setHovered(true); // a state change restarts the frame animation
    KqFrameTicker* ticker = KqFrameTicker::existing();
    ASSERT_NE(nullptr, ticker);
    EXPECT_TRUE(ticker->contains(&frame));
    EXPECT_EQ(100, ticker->interval());
    ticker->tick();
    EXPECT_EQ(1, animated.activeFrame());
    // The next frame has no delay: it leaves the ticker until a restart
    // skips to a frame that has one.
    EXPECT_FALSE(ticker->contains(&frame));
    frame.setHovered(false);
    EXPECT_EQ(2, animated.activeFrame());
    EXPECT_TRUE(ticker->contains(&frame));
    EXPECT_EQ(300, ticker->interval());
}

TEST(KqWidgetTest, PressShiftsTheContentOnePixel)
{
    KqGraphicsScene scene;
    KqPushButton* button = new KqPushButton;
    scene.addItem(button);
    EXPECT_EQ(KqString(u"pushButton"), button->objectName());
    EXPECT_EQ(60, button->width()); // the normal picture's size
    EXPECT_EQ(20, button->height());
    EXPECT_EQ(60, button->background()->width());
    button->setText(KqString(u"OK"));
    KqGraphicsSimpleTextItem* text = button->text();
    ASSERT_NE(nullptr, text);
    // Without an icon the text sits in the middle.
    EXPECT_EQ(KqAnchors::half(60) - KqAnchors::half(text->width()), text->x());
    const KqPointF rest = scenePos(text);
    button->adjustSize(); // needs an icon as well
    EXPECT_EQ(60, button->width());

    EXPECT_TRUE(send<KqMouseDownEvent>(button));
    EXPECT_TRUE(button->background()->isPressed());
    EXPECT_EQ(rest.x + 1, scenePos(text).x);
    EXPECT_EQ(rest.y + 1, scenePos(text).y);
    EXPECT_EQ(60, button->content()->width());
    EXPECT_TRUE(send<KqMouseUpEvent>(button));
    EXPECT_FALSE(button->background()->isPressed());
    EXPECT_EQ(rest.x, scenePos(text).x);
    EXPECT_EQ(rest.y, scenePos(text).y);

    // A slot that accepts the press keeps the default state change away.
    Recorder recorder;
    recorder.accept = true;
    button->eventSignalDispatch()->connect(KqMouseDownEvent::classInfo(), &recorder, &Recorder::record);
    EXPECT_TRUE(send<KqMouseDownEvent>(button));
    EXPECT_EQ(1, recorder.calls);
    EXPECT_FALSE(button->background()->isPressed());

    // A disabled widget's handler ignores everything.
    recorder.accept = false;
    button->setEnabled(false);
    EXPECT_FALSE(send<KqMouseDownEvent>(button));
    EXPECT_EQ(1, recorder.calls);
    EXPECT_FALSE(button->background()->isPressed());
    delete button;
}

TEST(KqWidgetTest, IconBesideOrAboveTheText)
{
    KqGraphicsScene scene;
    KqPushButton* button = new KqPushButton;
    scene.addItem(button);
    button->setIcon(KqString(u"kqgui:checkbox_default_normal.png"));
    button->setText(KqString(u"Go"));
    button->setIconTextSpacing(4, 3, 5);
    KqGraphicsPixmapItem* icon = button->icon();
    KqGraphicsSimpleTextItem* text = button->text();
    EXPECT_EQ(4, icon->x());
    EXPECT_EQ(4 + 16 + 3, text->x());
    button->adjustSize();
    EXPECT_EQ(16 + text->width() + 4 + 3 + 5, button->width());

    button->setIconBesideText(false);
    button->setIconTextSpacing(1, 2, 0);
    EXPECT_EQ(1, icon->y());
    EXPECT_EQ(1 + 16 + 2, text->y());
    const double before = button->width();
    button->adjustSize();
    EXPECT_EQ(before, button->width());
    EXPECT_EQ(16 + text->height() + 1 + 2, button->height());

    button->clearIcon();
    EXPECT_EQ(nullptr, button->icon());
    EXPECT_EQ(KqAnchors::half(button->width()) - KqAnchors::half(text->width()), text->x());
    delete button;
}

TEST(KqWidgetTest, StatesCursorAndDragging)
{
    struct Backend : KqCursorBackend {
        void* load(int id) override { return reinterpret_cast<void*>(static_cast<uintptr_t>(id)); }
        void* current() override { return onScreen; }
        void set(void* handle) override { onScreen = handle; }
        void* onScreen = nullptr;
    } backend;
    KqCursorManager::setBackend(&backend);
    KqCursorManager::instance()->setCursorShape(0);
    FakeClock clock;
    KqGraphicsScene scene;
    KqWidgetItem* plain = new KqWidgetItem;
    KqWidgetItem* draggable = new KqWidgetItem;
    scene.addItem(plain);
    scene.addItem(draggable);
    draggable->setFlag(KqGraphicsItem::AcceptsDrag, true);
    draggable->setPos(10, 20);
    EXPECT_TRUE(plain->testFlag(KqGraphicsItem::Focusable | KqGraphicsItem::AcceptsHover));
    EXPECT_EQ(uint32_t(KqGraphicsItem::ClickFocus), plain->focusPolicy());

    EXPECT_TRUE(sendPlain<KqHoverEnterEvent>(plain));
    EXPECT_TRUE(plain->background()->isHovered());
    EXPECT_EQ(32512u, reinterpret_cast<uintptr_t>(backend.onScreen)); // no hand over an ordinary widget
    EXPECT_TRUE(sendPlain<KqHoverLeaveEvent>(plain));
    EXPECT_FALSE(plain->background()->isHovered());

    EXPECT_TRUE(sendPlain<KqHoverEnterEvent>(draggable));
    EXPECT_EQ(32649u, reinterpret_cast<uintptr_t>(backend.onScreen));
    EXPECT_TRUE(sendPlain<KqHoverLeaveEvent>(draggable));
    EXPECT_EQ(32512u, reinterpret_cast<uintptr_t>(backend.onScreen));

    // Focus changes the state but leaves the event to others.
    EXPECT_FALSE(sendPlain<KqFocusInEvent>(plain));
    EXPECT_TRUE(plain->background()->isFocused());
    EXPECT_FALSE(sendPlain<KqFocusOutEvent>(plain));
    EXPECT_FALSE(plain->background()->isFocused());

    KqDragMoveEvent move(draggable, KqPoint(10, 10), KqPoint(13, 15));
    EXPECT_TRUE(scene.sendEvent(draggable, &move));
    EXPECT_EQ(13, draggable->x());
    EXPECT_EQ(25, draggable->y());
    delete plain;
    delete draggable;
    KqCursorManager::setBackend(nullptr);
}

TEST(KqWidgetTest, CheckBoxSendsOneEventPerChange)
{
    KqGraphicsScene scene;
    KqCheckBox* box = new KqCheckBox;
    scene.addItem(box);
    EXPECT_FALSE(box->testFlag(KqGraphicsItem::Focusable));
    EXPECT_FALSE(box->background()->isVisible());
    ASSERT_NE(nullptr, box->icon());
    EXPECT_TRUE(box->icon()->pixmap().sharesDataWith(KqImage::fromUrl(KqString(u"kqgui:checkbox_default_normal.png"))));
    EXPECT_EQ(16, box->width()); // sized before the spacing came
    box->setText(KqString(u"Remember me"));
    EXPECT_EQ(2 + 16 + 2 + box->text()->width() + 2, box->width());
    EXPECT_EQ(2, box->icon()->x());

    Recorder recorder;
    box->eventSignalDispatch()->connect(KqCheckBoxEvent::classInfo(), &recorder, &Recorder::record);
    box->setChecked(false);
    EXPECT_EQ(0, recorder.calls);
    EXPECT_TRUE(click(box));
    EXPECT_TRUE(box->isChecked());
    EXPECT_EQ(1, recorder.calls);
    EXPECT_TRUE(recorder.lastChecked);
    box->setChecked(true);
    EXPECT_EQ(1, recorder.calls);
    box->setChecked(false);
    EXPECT_EQ(2, recorder.calls);
    EXPECT_FALSE(recorder.lastChecked);

    // The icon follows the state, from the list of the check state.
    const struct {
        bool checked;
        int hover, press;
        const char16_t* url;
    } cases[] = {
        {false, 1, 0, u"kqgui:checkbox_default_hover.png"},
        {false, 1, 1, u"kqgui:checkbox_default_pressdown.png"},
        {true, 1, 1, u"kqgui:checkbox_selected_pressdown.png"},
        {true, 1, 0, u"kqgui:checkbox_selected_hover.png"},
        {true, 0, 0, u"kqgui:checkbox_selected_normal.png"},
    };
    for (const auto& c : cases) {
        box->setChecked(c.checked);
        if (c.hover != int(box->background()->isHovered())) {
            if (c.hover)
                sendPlain<KqHoverEnterEvent>(box);
            else
                sendPlain<KqHoverLeaveEvent>(box);
        }
        if (c.press != int(box->background()->isPressed())) {
            if (c.press)
                send<KqMouseDownEvent>(box);
            else
                send<KqMouseUpEvent>(box);
        }
        EXPECT_TRUE(box->icon()->pixmap().sharesDataWith(KqImage::fromUrl(KqString(c.url))))
            << "checked " << c.checked << " hover " << c.hover << " press " << c.press;
    }
    KqDeferredDeleter::instance()->flushAll();
    delete box;
}

TEST(KqWidgetTest, LabelCentresTextInsideUnequalMargins)
{
    KqLabel label;
    EXPECT_EQ(KqString(u"label"), label.objectName());
    EXPECT_EQ(0u, label.acceptedMouseButtons());
    EXPECT_FALSE(label.testFlag(KqGraphicsItem::Focusable | KqGraphicsItem::AcceptsHover | KqGraphicsItem::StopsPointSearch));
    label.setText(KqString(u"Status"));
    KqGraphicsSimpleTextItem* text = label.textItem();
    EXPECT_EQ(text->width() + 4, label.width());
    EXPECT_EQ(2, text->x());
    EXPECT_EQ(2, text->y());
    label.setMargins(KqMargins{10, 4, 2, 0});
    EXPECT_EQ(text->width() + 12, label.width());
    EXPECT_EQ(text->height() + 4, label.height());
    EXPECT_EQ(10, text->x());
    EXPECT_EQ(4, text->y());
    label.setText(KqString(u"A longer status line"));
    EXPECT_EQ(10, text->x());
    EXPECT_EQ(4, text->y());
}

// Columns of a row whose pixels differ between two pictures.
std::vector<int> changedColumns(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b)
{
    std::vector<int> out;
    for (size_t x = 0; x < a.size(); ++x) {
        if (a[x] != b[x])
            out.push_back(int(x));
    }
    return out;
}

std::vector<uint32_t> row(const KqPaintEngine& engine, int y, int width)
{
    std::vector<uint32_t> out;
    for (int x = 0; x < width; ++x)
        out.push_back(engine.pixel(x, y));
    return out;
}

TEST(KqWidgetTest, ProgressBarWidthFollowsTheValue)
{
    KqGraphicsScene scene;
    KqProgressBar* progress = new KqProgressBar;
    scene.addItem(progress);
    EXPECT_EQ(KqString(u"progressBar"), progress->objectName());
    EXPECT_EQ(120, progress->width());
    EXPECT_EQ(22, progress->height());
    progress->setBarImage(KqString(u"kqgui:edit_focus.png"));
    EXPECT_EQ(0, progress->bar()->width());
    progress->setValue(1.5);
    EXPECT_EQ(1.0, progress->value());
    EXPECT_EQ(116, progress->bar()->width());
    progress->setValue(-1);
    EXPECT_EQ(0.0, progress->value());

    KqImagePaintEngine empty(130, 30), half(130, 30);
    KqPainter emptyPainter(&empty), halfPainter(&half);
    scene.drawItems(&emptyPainter, nullptr, KqRectF(0, 0, 130, 30));
    progress->setValue(0.5);
    EXPECT_EQ(58, progress->bar()->width());
    scene.drawItems(&halfPainter, nullptr, KqRectF(0, 0, 130, 30));
    std::vector<int> columns = changedColumns(row(empty, 11, 130), row(half, 11, 130));
    ASSERT_FALSE(columns.empty());
    EXPECT_EQ(2, columns.front());
    EXPECT_EQ(59, columns.back());
    EXPECT_EQ(58u, columns.size());

    // Resizing the progress bar re-measures the bar.
    progress->setWidth(220);
    EXPECT_EQ(108, progress->bar()->width());
    progress->setBarMargins(10, 2, 10, 2);
    EXPECT_EQ(100, progress->bar()->width());
    EXPECT_EQ(10, progress->bar()->x());
    // No room inside the margins: the bar stays as it was.
    progress->setWidth(15);
    EXPECT_EQ(100, progress->bar()->width());
    delete progress;
}

struct ScrollFixture {
    KqGraphicsScene scene;
    KqScrollArea* area = new KqScrollArea;
    KqGraphicsItem* content = new KqGraphicsItem;
    ScrollFixture()
    {
        scene.addItem(area);
        area->setGeometry(0, 0, 100, 80);
        content->setEventHandler(new KqItemEventHandler);
        content->setFlag(KqGraphicsItem::Focusable, true); // wheels go to focusable items
        content->anchors()->setLeftMargin(3);
        content->anchors()->setTopMargin(4);
        content->setRect(KqRectF(0, 0, 90, 60));
        area->setWidget(content);
    }
    ~ScrollFixture() { delete area; }
};

TEST(KqScrollAreaTest, BarsAppearAndHideWithTheContent)
{
    ScrollFixture f;
    EXPECT_EQ(KqString(u"scrollarea"), f.area->objectName());
    EXPECT_EQ(f.area, f.content->parentItem());
    EXPECT_EQ(-1, f.content->zValue());
    EXPECT_EQ(-2, f.area->background()->zValue());
    EXPECT_EQ(nullptr, f.area->verticalScrollBar());
    EXPECT_EQ(nullptr, f.area->horizontalScrollBar());
    EXPECT_EQ(3, f.content->x());
    EXPECT_EQ(4, f.content->y());

    f.content->setHeight(200);
    KqScrollBar* vertical = f.area->verticalScrollBar();
    ASSERT_NE(nullptr, vertical);
    EXPECT_TRUE(vertical->isVisible());
    EXPECT_EQ(KqString(u"verticalscroll"), vertical->objectName());
    EXPECT_EQ(nullptr, f.area->horizontalScrollBar());
    EXPECT_EQ(vertical, f.area->focusProxy());
    EXPECT_EQ(100 - 2 - 12, vertical->x());
    EXPECT_EQ(1, vertical->y());
    EXPECT_EQ(78, vertical->height());

    f.area->wheel(-120); // towards the user: forward one step
    EXPECT_DOUBLE_EQ(0.1, vertical->value());
    EXPECT_DOUBLE_EQ(4 + (80.0 - 204) * 0.1, f.content->y());
    EXPECT_DOUBLE_EQ((78 - 50) * 0.1, vertical->thumb()->y());
    // Through the content's handler, as the wheel arrives.
    KqMouseWheelEvent wheel;
    wheel.delta = 120;
    EXPECT_TRUE(f.scene.sendEvent(f.content, &wheel));
    EXPECT_DOUBLE_EQ(0.0, vertical->value());
    EXPECT_EQ(4, f.content->y());

    f.content->setWidth(300);
    KqScrollBar* horizontal = f.area->horizontalScrollBar();
    ASSERT_NE(nullptr, horizontal);
    EXPECT_TRUE(horizontal->isVisible());
    EXPECT_EQ(KqScrollBar::Horizontal, horizontal->orientation());
    EXPECT_EQ(horizontal, f.area->focusProxy());
    EXPECT_EQ(2, horizontal->x());
    EXPECT_EQ(12, horizontal->height());
    EXPECT_EQ(80 - 2 - 12, horizontal->y());
    EXPECT_EQ(vertical->x() - 1, horizontal->x() + horizontal->width());

    horizontal->setValue(1.0);
    EXPECT_DOUBLE_EQ(3 + (100.0 - 303), f.content->x());
    vertical->setValue(0.5);
    f.content->setRect(KqRectF(0, 0, 50, 40)); // fits again
    EXPECT_FALSE(vertical->isVisible());
    EXPECT_FALSE(horizontal->isVisible());
    EXPECT_EQ(0, vertical->value());
    EXPECT_EQ(0, horizontal->value());
    EXPECT_EQ(3, f.content->x());
    EXPECT_EQ(4, f.content->y());
    EXPECT_EQ(nullptr, f.area->focusProxy());

    // A new content replaces and deletes the old one.
    KqWeakPointer old(f.content);
    KqGraphicsItem* next = new KqGraphicsItem;
    f.area->setWidget(next);
    EXPECT_EQ(nullptr, old.get());
    f.content = next;
}

TEST(KqScrollAreaTest, StepsClicksAndThumbDrags)
{
    ScrollFixture f;
    f.content->setHeight(400);
    KqScrollBar* bar = f.area->verticalScrollBar();
    ASSERT_NE(nullptr, bar);
    bar->stepBack(0.1);
    EXPECT_EQ(0, bar->value());
    bar->setValue(0.9);
    bar->stepForward(0.3);
    EXPECT_EQ(1.0, bar->value());
    bar->stepForward(0.3);
    EXPECT_EQ(1.0, bar->value());
    bar->moveBy(-0.25);
    EXPECT_DOUBLE_EQ(0.75, bar->value());

    // Clicks before and beyond the thumb step back and forward.
    bar->setValue(0.5);
    const double thumbTop = bar->thumb()->y();
    EXPECT_EQ((78 - 50) * 0.5, thumbTop);
    click(bar, int(bar->x()) + 3, int(bar->y() + thumbTop + 50 + 2));
    EXPECT_DOUBLE_EQ(0.6, bar->value());
    click(bar, int(bar->x()) + 3, int(bar->y()) + 1);
    EXPECT_DOUBLE_EQ(0.5, bar->value());
    // A wheel over the bar itself.
    KqMouseWheelEvent wheel;
    wheel.delta = -120;
    f.scene.sendEvent(bar, &wheel);
    EXPECT_DOUBLE_EQ(0.6, bar->value());

    // Dragging the thumb 7 of the 28 track pixels moves a quarter.
    EXPECT_EQ(28, bar->trackLength());
    EXPECT_EQ(0.25, bar->pixelsToValue(7));
    EXPECT_EQ(0, bar->pixelsToValue(0));
    bar->setValue(0.25);
    KqDragMoveEvent drag(bar->thumb(), KqPoint(0, 10), KqPoint(0, 17));
    EXPECT_TRUE(f.scene.sendEvent(bar->thumb(), &drag));
    EXPECT_DOUBLE_EQ(0.5, bar->value());
    EXPECT_EQ(14, bar->thumb()->y());
    EXPECT_EQ(bar, bar->thumb()->focusProxy());
}

TEST(KqWidgetTest, FactoriesBuildParentlessWidgets)
{
    const char* names[] = {"KqWidgetItem", "KqPushButton", "KqCheckBox", "KqLabel", "KqProgressBar", "KqScrollArea",
                           "KqScrollBar", "KqGraphicsFrameItem"};
    for (const char* name : names) {
        const KqClassInfo* info = KqClassRegistry::instance()->find(KqString(name));
        ASSERT_NE(nullptr, info) << name;
        KqRttiObject* object = info->create();
        ASSERT_NE(nullptr, object) << name;
        KqGraphicsItem* item = kq_cast<KqGraphicsItem>(object);
        ASSERT_NE(nullptr, item) << name;
        EXPECT_EQ(nullptr, item->parentItem()) << name;
        delete object;
    }
}

} // namespace
