#include "KqLabel.h"

#include "KqAnchors.h"
#include "KqBasicItems.h"
#include "KqEvent.h"

KQ_DEFINE_CLASS(KqLabel, KqWidgetItem, 'LAEL', &kqMakeInstance<KqLabel>)

KqLabel::KqLabel(KqGraphicsItem* parentItem) : KqWidgetItem(parentItem)
{
    setFlag(Focusable | AcceptsHover | KeepsClickFocus | StopsPointSearch, false);
    setFocusPolicy(0);
    setAcceptedMouseButtons(KqMouseEvent::LeftButton, false);
    setObjectName(KqString(u"label"));
    m_text = new KqGraphicsSimpleTextItem(this);
    m_text->setObjectName(KqString(u"text"));
    m_text->anchors()->setCenterIn(this);
    setMargins(m_margins);
}

void KqLabel::setMargins(const KqMargins& margins)
{
    m_margins = margins;
    // The middle of the area inside the margins: shifted by half the
    // difference of the opposite margins along each axis.
    KqAnchors* a = m_text->anchors();
    a->setHorizontalCenterOffset((double(margins.left) - margins.right) / 2);
    a->setVerticalCenterOffset((double(margins.top) - margins.bottom) / 2);
    adjustSize();
}

void KqLabel::setText(const KqString& text)
{
    m_text->setText(text);
    adjustSize();
}

KqString KqLabel::text() const { return m_text->text(); }

void KqLabel::adjustSize()
{
    KqRectF r = m_text->rect();
    setRect(KqRectF(0, 0, r.width + m_margins.left + m_margins.right, r.height + m_margins.top + m_margins.bottom));
}
