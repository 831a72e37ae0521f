#include "KqProgressBar.h"

#include "KqBasicItems.h"
#include "KqGraphicsFrameItem.h"

#include <cmath>

KQ_DEFINE_CLASS(KqProgressBar, KqWidgetItem, 'PSBR', &kqMakeInstance<KqProgressBar>)

KqProgressBar::KqProgressBar(KqGraphicsItem* parentItem) : KqWidgetItem(parentItem)
{
    setObjectName(KqString(u"progressBar"));
    setRect(KqRectF(0, 0, 120, 22));
    KqGraphicsFrameItem* b = background();
    b->setMargins(KqMargins{3, 3, 3, 3});
    b->setStateImageUrl(KqGraphicsFrameItem::NormalImage, KqString(u"kqgui:edit_normal.png"));
    b->setStateImageUrl(KqGraphicsFrameItem::HoverImage, KqString(u"kqgui:edit_hover.png"));
    b->setStateImageUrl(KqGraphicsFrameItem::PressedImage, KqString(u"kqgui:edit_pressdown.png"));
    b->setStateImageUrl(KqGraphicsFrameItem::FocusImage, KqString(u"kqgui:edit_focus.png"));
    b->setStateImageUrl(KqGraphicsFrameItem::DisabledImage, KqString(u"kqgui:edit_disable.png"));
    m_bar = new KqGraphicsMarginsPixmapItem(this);
    m_bar->setObjectName(KqString(u"rect"));
    updateBar();
}

void KqProgressBar::setValue(double value)
{
    m_value = value < m_minimum ? m_minimum : (value > m_maximum ? m_maximum : value);
    updateBar();
}

void KqProgressBar::setRange(double minimum, double maximum)
{
    m_minimum = minimum;
    m_maximum = maximum;
    setValue(m_value);
}

void KqProgressBar::setBarImage(const KqString& url)
{
    m_bar->setPixmapUrl(url);
    m_bar->setMargins(KqMargins{1, 0, 10, 0});
    updateBar();
}

void KqProgressBar::setBarMargins(int left, int top, int right, int bottom)
{
    m_barMargins = KqMargins{left, top, right, bottom};
    updateBar();
}

KqVariant KqProgressBar::itemChange(int kind, const KqVariant& value)
{
    if (kind == GeometryChange)
        updateBar();
    return KqWidgetItem::itemChange(kind, value);
}

void KqProgressBar::updateBar()
{
    if (!m_bar || m_maximum <= 0.000001)
        return;
    const KqRect r = rect().toRect();
    const int innerLeft = r.left + m_barMargins.left;
    const int innerRight = r.right - m_barMargins.right;
    const int innerTop = r.top + m_barMargins.top;
    const int innerBottom = r.bottom - m_barMargins.bottom;
    if (innerRight < innerLeft || innerBottom < innerTop)
        return;
    const double width = std::trunc((double(innerRight) - innerLeft + 1) * m_value / m_maximum);
    m_bar->setGeometry(innerLeft, innerTop, width, double(innerBottom) - innerTop + 1);
}
