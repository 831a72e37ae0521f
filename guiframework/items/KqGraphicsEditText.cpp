#include "KqGraphicsEditText.h"

#include "KqCharFormat.h"
#include "KqColor.h"
#include "KqInputFocusPainter.h"
#include "KqPainter.h"
#include "KqTextDocument.h"
#include "KqTextLayoutEngine.h"

#include <vector>

KQ_DEFINE_CLASS(KqGraphicsEditText, KqGraphicsItem, 'GETT', &kqMakeInstance<KqGraphicsEditText>)

KqGraphicsEditText::KqGraphicsEditText(KqGraphicsItem* parentItem)
    : KqGraphicsItem(parentItem), m_document(new KqTextDocument), m_layout(new KqTextLayoutEngine)
{
    setObjectName(KqString(u"graphicsEditText"));
    setFlag(ClippedContent, true);
}

KqGraphicsEditText::~KqGraphicsEditText()
{
    delete m_layout;
    delete m_document;
}

const KqColor& KqGraphicsEditText::caretColor()
{
    static const KqColor colour(0, 0, 0, 255);
    return colour;
}

const KqColor& KqGraphicsEditText::selectionColor()
{
    static const KqColor colour(0, 0, 151, 64);
    return colour;
}

void KqGraphicsEditText::setScrollOffset(const KqPointF& offset)
{
    if (offset.x == m_scrollOffset.x && offset.y == m_scrollOffset.y)
        return;
    m_scrollOffset = offset;
    update();
}

int KqGraphicsEditText::hitTest(double x)
{
    const KqRectF r = rect();
    return m_layout->hitTest(m_document, KqLayoutOrigin{r.x, r.y, r.width}, x);
}

void KqGraphicsEditText::paint(KqPainter* painter)
{
    const KqRectF r = rect();
    const double dx = roundHalfUp(m_scrollOffset.x), dy = roundHalfUp(m_scrollOffset.y);
    std::vector<KqRectF> rects;
    std::vector<KqCharFormat*> formats;
    if (m_layout->layout(m_document, KqLayoutOrigin{r.x, r.y, r.width}, rects, formats)) {
        for (size_t i = 0; i < rects.size() && int(i) < m_document->runCount(); ++i) {
            KqRectF at = rects[i];
            at.x += dx;
            at.y += dy;
            formats[i]->draw(painter, at, m_document->textRange(m_document->runStart(int(i)), m_document->runEnd(int(i))));
        }
    }
    KqPoint top, bottom;
    if (m_layout->caretLine(m_document, r, top, bottom))
        KqInputFocusPainter::instance()->draw(painter, this, KqPointF(top.x + dx, top.y + dy), KqPointF(bottom.x + dx, bottom.y + dy),
                                              caretColor());
    rects.clear();
    if (m_layout->selectionRects(m_document, r, rects)) {
        for (KqRectF s : rects) {
            s.x += dx;
            s.y += dy;
            painter->fillRect(s, selectionColor());
        }
    }
}
