// Lays a document's runs out in a rectangle, finds the unit under an x
// position, and gives the caret line and the selection rectangle.
#pragma once

#include "KqClassInfo.h"
#include "KqContainers.h"
#include "KqGeometry.h"

#include <cstdint>
#include <vector>

class KqCharFormat;
class KqTextDocument;

// Where a layout starts: the left and top, and the right limit that wraps.
struct KqLayoutOrigin {
    double left = 0, top = 0, right = 0;
};

class KqTextLayoutEngine : public KqRttiObject {
    KQ_DECLARE_CLASS(KqTextLayoutEngine)
public:
    KqTextLayoutEngine() = default;
    virtual void invalidate(uint32_t bits);
    virtual bool selectionRects(KqTextDocument* document, const KqRectF& rect, std::vector<KqRectF>& rects);
    virtual bool caretLine(KqTextDocument* document, const KqRectF& rect, KqPoint& top, KqPoint& bottom);
    virtual bool layout(KqTextDocument* document, const KqLayoutOrigin& origin, std::vector<KqRectF>& rects,
                        std::vector<KqCharFormat*>& formats);
    virtual int hitTest(KqTextDocument* document, const KqLayoutOrigin& origin, double x);
    virtual KqRectF contentRect(KqTextDocument* document, const KqRectF& rect);
    virtual bool layoutHook1() { return false; }
    virtual bool layoutHook2() { return false; }
    virtual bool caretLineAt(KqTextDocument* document, const KqRectF& rect, int cursor, KqPoint& top, KqPoint& bottom);

    const KqRectF& layoutRect() const { return m_layoutRect; }
    void setLayoutRect(const KqRectF& rect) { m_layoutRect = rect; }
    uint8_t layoutFlags() const { return m_flags; }

private:
    KqRectF m_layoutRect;
    uint8_t m_flags = 0;
};
