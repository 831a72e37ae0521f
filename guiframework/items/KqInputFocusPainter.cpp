#include "KqInputFocusPainter.h"

#include "KqGraphicsItem.h"
#include "KqPainter.h"
#include "KqServices.h"
#include "KqTimer.h"

KQ_DEFINE_CLASS(KqInputFocusPainter, KqRttiObject, 'IFPR', &kqMakeInstance<KqInputFocusPainter>)

KqInputFocusPainter* KqInputFocusPainter::instance() { return KqSingleton<KqInputFocusPainter>::instance(); }

KqInputFocusPainter::KqInputFocusPainter() : m_timer(new KqTimer) { m_timer->timeout.connect(this, &KqInputFocusPainter::tick); }

KqInputFocusPainter::~KqInputFocusPainter() { delete m_timer; }

KqGraphicsItem* KqInputFocusPainter::focusedEdit() const { return static_cast<KqGraphicsItem*>(m_edit.get()); }

void KqInputFocusPainter::start(KqGraphicsItem* edit)
{
    m_shown = true;
    m_edit = KqWeakPointer(edit);
    if (!m_timer->isActive()) {
        m_tickMarker = kBlinkMs;
        m_timer->start(kBlinkMs);
    }
}

void KqInputFocusPainter::stop()
{
    m_timer->stop();
    if (KqGraphicsItem* edit = focusedEdit())
        edit->update();
    m_edit.reset();
}

void KqInputFocusPainter::setBlinking(bool on)
{
    if (on) {
        if (m_tickMarker == kBlinkMs)
            return;
        m_tickMarker = kBlinkMs;
        m_shown = true;
        m_timer->start(kBlinkMs);
    } else {
        m_shown = false;
        m_tickMarker = 0;
        m_timer->stop();
    }
}

void KqInputFocusPainter::tick()
{
    KqGraphicsItem* edit = focusedEdit();
    if (edit && edit->hasFocus()) {
        edit->update();
        m_tickMarker = kBlinkMs;
    }
}

void KqInputFocusPainter::draw(KqPainter* painter, KqGraphicsItem* item, const KqPointF& top, const KqPointF& bottom,
                               const KqColor& color)
{
    KqGraphicsItem* edit = focusedEdit();
    if (!item || !edit || (item->parentItem() && item->parentItem() != edit) || m_tickMarker != kBlinkMs)
        return;
    if (m_shown && edit->hasFocus() && painter)
        painter->drawLine(KqPoint(roundHalfUp(top.x), roundHalfUp(top.y)), KqPoint(roundHalfUp(bottom.x), roundHalfUp(bottom.y)), color);
    m_tickMarker = 0;
    m_shown = !m_shown;
}
