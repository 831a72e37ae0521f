// The one blinking caret of the process: the focused edit's caret shows and
// hides on alternate 600 ms ticks; every edit switches it on again.
#pragma once

#include "KqClassInfo.h"
#include "KqColor.h"
#include "KqGeometry.h"
#include "KqObject.h"
#include "KqSignal.h"

class KqGraphicsItem;
class KqPainter;
class KqTimer;

class KqInputFocusPainter : public KqRttiObject, public KqTrackable {
    KQ_DECLARE_CLASS(KqInputFocusPainter)
public:
    static const int32_t kBlinkMs = 600;
    static KqInputFocusPainter* instance();
    KqInputFocusPainter();
    ~KqInputFocusPainter() override;

    void start(KqGraphicsItem* edit);
    void stop();
    void setBlinking(bool on);
    // Draws the caret of an edit's text item when its turn has come.
    void draw(KqPainter* painter, KqGraphicsItem* item, const KqPointF& top, const KqPointF& bottom, const KqColor& color);
    // The timer's work, callable by hand.
    void tick();

    KqGraphicsItem* focusedEdit() const;
    bool isShownPhase() const { return m_shown; }
    int32_t tickMarker() const { return m_tickMarker; }
    KqTimer* timer() const { return m_timer; }

private:
    KqWeakPointer m_edit;
    KqTimer* m_timer;
    bool m_shown = false;
    int32_t m_tickMarker = 0;
};
