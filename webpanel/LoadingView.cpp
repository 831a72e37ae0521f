#include "LoadingView.h"

#include "DuiXmlUI.h"
#include "KqAnchors.h"
#include "KqLabel.h"
#include "KqPainter.h"

LoadingView::LoadingView(KqGraphicsItem* window) : KqGraphicsItem(window)
{
    setObjectName(KqString(u"loadingWidget"));
    // It takes no button, so a press on it reaches nothing behind it either.
    setAcceptedMouseButtons(1 | 2 | 4, false);
    setFlag(AcceptsHover, true);
    anchors()->setFill(window);
    anchors()->setLeftMargin(kInsetLeft);
    anchors()->setTopMargin(kInsetTop);
    anchors()->setRightMargin(kInsetRight);
    anchors()->setBottomMargin(kInsetBottom);

    m_content = new KqGraphicsItem(this);
    m_content->anchors()->setFill(this);
    if (DuiXmlUI::createFromFile(KqString(u"layout/loadingwidget.xml"), m_content))
        m_label = kq_cast<KqLabel>(DuiXmlUI::findChild(m_content, KqString(u"labelLoadingStatus")));
}

void LoadingView::setText(const KqString& text)
{
    if (m_label)
        m_label->setText(text);
}

void LoadingView::paint(KqPainter* painter) { painter->fillRect(rect(), KqColor(255, 255, 255, 255)); }
