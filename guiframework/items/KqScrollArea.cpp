#include "KqScrollArea.h"

#include "KqAnchors.h"
#include "KqEvent.h"
#include "KqGraphicsFrameItem.h"
#include "KqImage.h"

KQ_DEFINE_CLASS(KqScrollBar, KqWidgetItem, 'SLBR', &kqMakeInstance<KqScrollBar>)
KQ_DEFINE_CLASS(KqScrollBarEventHandler, KqWidgetEventHandler, 'SBEH', &kqMakeInstance<KqScrollBarEventHandler>)
KQ_DEFINE_CLASS(KqScrollArea, KqWidgetItem, 'SLAA', &kqMakeInstance<KqScrollArea>)

namespace {
const double kTiny = 0.00001;
const double kThumbLength = 50;

double clampTo(double v, double lo, double hi) { return v < lo ? lo : (v > hi ? hi : v); }
double anchorMargin(KqGraphicsItem* item, double (KqAnchors::*margin)() const)
{
    return item->hasAnchors() ? (item->anchors()->*margin)() : 0;
}
}

// ---- scroll bar

KqScrollBar::KqScrollBar(KqGraphicsItem* parentItem) : KqWidgetItem(parentItem)
{
    m_area = parentItem ? kq_cast<KqScrollArea>(static_cast<KqRttiObject*>(parentItem)) : nullptr;
    KqGraphicsFrameItem* b = background();
    b->setStateImageUrl(KqGraphicsFrameItem::NormalImage, KqString(u"kqgui:scroll_bk.png"));
    b->setMargins(KqMargins{0, 3, 0, 3});
    const KqString track(u"kqgui:scroll_bk.png");
    setWidth(KqImage::fromUrl(track).size().width);

    m_thumb = new KqPushButton(this);
    m_thumb->setObjectName(KqString(u"thumb"));
    m_thumb->setFlag(AcceptsDrag, true);
    m_thumb->setStateImage(KqGraphicsFrameItem::NormalImage, KqString(u"kqgui:slider_normal.png"));
    m_thumb->setStateImage(KqGraphicsFrameItem::HoverImage, KqString(u"kqgui:slider_hover.png"));
    m_thumb->setStateImage(KqGraphicsFrameItem::PressedImage, KqString(u"kqgui:slider_pressdown.png"));
    m_thumb->setStateImage(KqGraphicsFrameItem::FocusImage, KqString(u"kqgui:edit_focus.png"));
    m_thumb->setStateImage(KqGraphicsFrameItem::DisabledImage, KqString(u"kqgui:edit_disable.png"));
    m_thumb->background()->setMargins(KqMargins{0, 6, 0, 6});
    m_thumb->setImage(KqString(u"kqgui:slider_normal.png"));
    m_thumb->setFocusProxy(this);
    if (KqEventSignalDispatch* dispatch = m_thumb->eventSignalDispatch())
        dispatch->connect(KqDragMoveEvent::classInfo(), this, &KqScrollBar::onThumbDragMove);

    setEventHandler(new KqScrollBarEventHandler(this));
    setOrientation(Vertical);
    setValue(0);
}

void KqScrollBar::setOrientation(int orientation)
{
    m_orientation = orientation;
    m_thumb->removeAnchors();
    const double thickness = KqImage::fromUrl(KqString(u"kqgui:scroll_bk.png")).size().width;
    if (orientation == Vertical) {
        m_thumb->setHeight(kThumbLength);
        m_thumb->anchors()->setHorizontalCenter(KqAnchorLine(this, KqAnchorLine::HCenter));
    } else {
        // Across the bar a horizontal one is as thick as a vertical one is wide.
        if (height() <= 0)
            setHeight(thickness);
        m_thumb->setWidth(kThumbLength);
        m_thumb->anchors()->setVerticalCenter(KqAnchorLine(this, KqAnchorLine::VCenter));
    }
    positionThumb();
}

double KqScrollBar::trackLength() const
{
    if (m_orientation == Vertical)
        return height() - m_thumb->height() - anchorMargin(m_thumb, &KqAnchors::topMargin) -
               anchorMargin(m_thumb, &KqAnchors::bottomMargin);
    return width() - m_thumb->width() - anchorMargin(m_thumb, &KqAnchors::leftMargin) -
           anchorMargin(m_thumb, &KqAnchors::rightMargin);
}

double KqScrollBar::thumbOrigin() const
{
    return anchorMargin(m_thumb, m_orientation == Vertical ? &KqAnchors::topMargin : &KqAnchors::leftMargin);
}

void KqScrollBar::positionThumb()
{
    const double at = thumbOrigin() + trackLength() * m_value;
    if (m_orientation == Vertical)
        m_thumb->setY(at);
    else
        m_thumb->setX(at);
}

void KqScrollBar::applyToArea()
{
    const double range = m_maximum - m_minimum;
    if (range < kTiny || !m_area)
        return;
    m_area->scrollTo(m_value / range, m_orientation);
}

void KqScrollBar::setValue(double value)
{
    m_value = value;
    positionThumb();
    applyToArea();
}

void KqScrollBar::setRange(double minimum, double maximum)
{
    m_minimum = minimum;
    m_maximum = maximum;
}

void KqScrollBar::stepBack(double s)
{
    if (m_value <= m_minimum)
        return;
    setValue(clampTo(m_value - s, m_minimum, m_maximum));
}

void KqScrollBar::stepForward(double s)
{
    if (m_value >= m_maximum)
        return;
    setValue(clampTo(m_value + s, m_minimum, m_maximum));
}

void KqScrollBar::moveBy(double d)
{
    if (d > 0)
        stepForward(d);
    else
        stepBack(-d);
}

double KqScrollBar::pixelsToValue(double pixels) const
{
    if (pixels == 0 || width() <= kTiny || height() <= kTiny)
        return 0;
    const double track = trackLength();
    return track <= kTiny ? 0 : pixels / track;
}

void KqScrollBar::onThumbDragMove(KqGraphicsItem*, KqEvent* event)
{
    if (event->dynamicClassInfo() != KqDragMoveEvent::classInfo())
        return;
    const KqDragMoveEvent* move = static_cast<const KqDragMoveEvent*>(event);
    const int delta = m_orientation == Vertical ? move->to.y - move->from.y : move->to.x - move->from.x;
    moveBy(pixelsToValue(delta));
    event->setAccepted(true);
}

void KqScrollBarEventHandler::mouseWheel(KqMouseEvent* event)
{
    if (!m_bar || event->dynamicClassInfo() != KqMouseWheelEvent::classInfo())
        return;
    if (static_cast<KqMouseWheelEvent*>(event)->delta > 0)
        m_bar->stepBack(m_bar->step());
    else
        m_bar->stepForward(m_bar->step());
    event->setAccepted(true);
}

void KqScrollBarEventHandler::mouseClicked(KqMouseEvent* event)
{
    if (!m_bar)
        return;
    const KqPointF local = m_bar->sceneTransform().inverse().map(KqPointF(event->scenePos.x, event->scenePos.y));
    const KqPushButton* thumb = m_bar->thumb();
    const bool vertical = m_bar->orientation() == KqScrollBar::Vertical;
    const double at = vertical ? local.y : local.x;
    const double nearEdge = vertical ? thumb->y() : thumb->x();
    const double farEdge = nearEdge + (vertical ? thumb->height() : thumb->width());
    if (at >= farEdge)
        m_bar->stepForward(m_bar->step());
    else if (at < nearEdge)
        m_bar->stepBack(m_bar->step());
    event->setAccepted(true);
}

// ---- scroll area

namespace {
// Wheel turns over the content reach the area through the content's handler.
void wheelOverContent(void* target, KqEvent* event)
{
    KqGraphicsItem* content = static_cast<KqGraphicsItem*>(target);
    KqScrollArea* area = content ? kq_cast<KqScrollArea>(static_cast<KqRttiObject*>(content->parentItem())) : nullptr;
    if (!area || area->widget() != content || event->dynamicClassInfo() != KqMouseWheelEvent::classInfo())
        return;
    area->wheel(static_cast<KqMouseWheelEvent*>(event)->delta);
    event->setAccepted(true);
}
}

KqScrollArea::KqScrollArea(KqGraphicsItem* parentItem) : KqWidgetItem(parentItem)
{
    setObjectName(KqString(u"scrollarea"));
    setFlag(ClipsChildren, true);
    m_listener.watch(this);
    KqGraphicsFrameItem* b = background();
    b->setZValue(-2);
    b->setStateImageUrl(KqGraphicsFrameItem::NormalImage, KqString(u"kqgui:edit_normal.png"));
    b->setMargins(KqMargins{6, 6, 6, 6});
}

KqScrollArea::~KqScrollArea()
{
    // Children die after this body: nothing may reach back into the area.
    m_listener.unwatchAll();
    m_busy = true;
}

void KqScrollArea::setWidget(KqGraphicsItem* content)
{
    if (content == m_content)
        return;
    KqGraphicsItem* old = m_content;
    m_content = nullptr;
    delete old;
    if (!content)
        return;
    m_content = content;
    content->setParentItem(this);
    content->setZValue(-1);
    m_listener.watch(content);
    if (KqItemEventHandler* handler = content->eventHandler())
        handler->connectEvent(KqMouseWheelEvent::classInfo(), &wheelOverContent);
    geometryChanged();
}

KqSizeF KqScrollArea::contentExtent() const
{
    if (!m_content)
        return KqSizeF{0, 0};
    return KqSizeF{anchorMargin(m_content, &KqAnchors::leftMargin) + m_content->width() + anchorMargin(m_content, &KqAnchors::rightMargin),
                   anchorMargin(m_content, &KqAnchors::topMargin) + m_content->height() + anchorMargin(m_content, &KqAnchors::bottomMargin)};
}

void KqScrollArea::wheel(int delta)
{
    KqScrollBar* bar = m_vertical ? m_vertical : m_horizontal;
    if (!bar)
        return;
    if (delta > 0)
        bar->stepBack(bar->step());
    else
        bar->stepForward(bar->step());
}

void KqScrollArea::Listener::itemChanged(uint32_t, KqGraphicsItem*, const KqVariant&, const KqVariant&) { m_area->geometryChanged(); }

void KqScrollArea::Listener::forgetItem(KqGraphicsItem* item)
{
    KqItemChangeListener::forgetItem(item);
    if (item == m_area->m_content)
        m_area->m_content = nullptr;
}

void KqScrollArea::geometryChanged()
{
    if (!m_content || m_busy)
        return;
    updateScrollBars();
    for (KqScrollBar* bar : {m_horizontal, m_vertical}) {
        if (bar) {
            bar->positionThumb();
            bar->applyToArea();
        }
    }
    // Without a bar the content rests at its margins.
    if (!m_horizontal)
        scrollTo(0, KqScrollBar::Horizontal);
    if (!m_vertical)
        scrollTo(0, KqScrollBar::Vertical);
    updateVisiblePart();
}

KqScrollBar* KqScrollArea::makeBar(int orientation)
{
    KqScrollBar* bar = new KqScrollBar(this);
    bar->setVisible(false);
    bar->setOrientation(orientation);
    KqAnchors* a = bar->anchors();
    if (orientation == KqScrollBar::Vertical) {
        bar->setObjectName(KqString(u"verticalscroll"));
        a->setTopMargin(1);
        a->setBottomMargin(1);
        a->setRightMargin(2);
        a->setTop(KqAnchorLine(this, KqAnchorLine::Top));
        a->setBottom(KqAnchorLine(this, KqAnchorLine::Bottom));
        a->setRight(KqAnchorLine(this, KqAnchorLine::Right));
    } else {
        bar->setObjectName(KqString(u"horizontalscroll"));
        a->setLeftMargin(2);
        a->setBottomMargin(2);
        a->setRightMargin(1);
        a->setLeft(KqAnchorLine(this, KqAnchorLine::Left));
        a->setBottom(KqAnchorLine(this, KqAnchorLine::Bottom));
        if (m_vertical)
            a->setRight(KqAnchorLine(m_vertical, KqAnchorLine::Left));
        else
            a->setRight(KqAnchorLine(this, KqAnchorLine::Right));
    }
    return bar;
}

void KqScrollArea::updateScrollBars()
{
    const KqSizeF extent = contentExtent();
    const bool busy = m_busy;
    m_busy = true; // bars moving in and out change no scroll position here
    if (height() < extent.height) {
        if (!m_vertical)
            m_vertical = makeBar(KqScrollBar::Vertical);
        m_vertical->setVisible(true);
        const bool besideHorizontal = m_horizontal && m_horizontal->isVisible();
        m_vertical->anchors()->setBottom(besideHorizontal ? KqAnchorLine(m_horizontal, KqAnchorLine::Top)
                                                          : KqAnchorLine(this, KqAnchorLine::Bottom));
    } else if (m_vertical && m_vertical->isVisible()) {
        m_vertical->setVisible(false);
        m_busy = busy;
        m_vertical->setValue(0); // back to the start
        m_busy = true;
        if (m_horizontal && m_horizontal->anchors()->right().item == m_vertical)
            m_horizontal->anchors()->setRight(KqAnchorLine(this, KqAnchorLine::Right));
    }
    if (width() < extent.width) {
        if (!m_horizontal)
            m_horizontal = makeBar(KqScrollBar::Horizontal);
        m_horizontal->setVisible(true);
        const bool besideVertical = m_vertical && m_vertical->isVisible();
        m_horizontal->anchors()->setRight(besideVertical ? KqAnchorLine(m_vertical, KqAnchorLine::Left)
                                                         : KqAnchorLine(this, KqAnchorLine::Right));
    } else if (m_horizontal && m_horizontal->isVisible()) {
        m_horizontal->setVisible(false);
        m_busy = busy;
        m_horizontal->setValue(0);
        m_busy = true;
        if (m_vertical)
            m_vertical->anchors()->setBottom(KqAnchorLine(this, KqAnchorLine::Bottom));
    }
    m_busy = busy;
    if (m_horizontal && m_horizontal->isVisible())
        setFocusProxy(m_horizontal);
    else if (m_vertical && m_vertical->isVisible())
        setFocusProxy(m_vertical);
    else
        setFocusProxy(nullptr);
}

void KqScrollArea::scrollTo(double fraction, int orientation)
{
    if (!m_content)
        return;
    const KqSizeF extent = contentExtent();
    const bool horizontal = orientation == KqScrollBar::Horizontal;
    const double areaLength = horizontal ? width() : height();
    const double contentLength = horizontal ? extent.width : extent.height;
    const double startMargin = anchorMargin(m_content, horizontal ? &KqAnchors::leftMargin : &KqAnchors::topMargin);
    if (areaLength >= contentLength) {
        const bool busy = m_busy;
        m_busy = true;
        m_content->setBoundingRectOverride(KqRectF());
        if (horizontal)
            m_content->setX(startMargin);
        else
            m_content->setY(startMargin);
        m_busy = busy;
        return;
    }
    if (areaLength < kTiny)
        return;
    const bool busy = m_busy;
    m_busy = true;
    const double at = startMargin + (areaLength - contentLength) * fraction;
    if (horizontal)
        m_content->setX(at);
    else
        m_content->setY(at);
    updateVisiblePart();
    m_busy = busy;
}

void KqScrollArea::updateVisiblePart()
{
    if (!m_content || !m_content->testFlag(ClipsChildren | ClippedContent))
        return;
    const double lm = anchorMargin(m_content, &KqAnchors::leftMargin), rm = anchorMargin(m_content, &KqAnchors::rightMargin);
    const double tm = anchorMargin(m_content, &KqAnchors::topMargin), bm = anchorMargin(m_content, &KqAnchors::bottomMargin);
    const KqRectF inner(lm, tm, width() - lm - rm, height() - tm - bm);
    const KqRectF placed(m_content->x(), m_content->y(), m_content->width(), m_content->height());
    KqRectF visible = inner.intersection(placed);
    visible.x -= m_content->x();
    visible.y -= m_content->y();
    m_content->setBoundingRectOverride(visible);
}
