#include "KqTextLayoutEngine.h"

#include "KqCharFormat.h"
#include "KqTextDocument.h"

KQ_DEFINE_CLASS(KqTextLayoutEngine, KqRttiObject, 'TLEE', &kqMakeInstance<KqTextLayoutEngine>)

void KqTextLayoutEngine::invalidate(uint32_t bits) { m_flags &= static_cast<uint8_t>(~(bits & 0x7)); }

bool KqTextLayoutEngine::layout(KqTextDocument* document, const KqLayoutOrigin& origin, std::vector<KqRectF>& rects,
                                std::vector<KqCharFormat*>& formats)
{
    if (!document)
        return false;
    double x = origin.left, y = origin.top;
    bool any = false;
    for (int run = 0; run < document->runCount(); ++run) {
        KqCharFormat* format = document->runFormat(run);
        if (!format)
            continue;
        const int start = document->runStart(run);
        const KqSizeF size = format->measureUnits(document->units() + start, document->runEnd(run) - start);
        rects.push_back(KqRectF(x, y, size.width, size.height));
        formats.push_back(format);
        any = true;
        x += size.width;
        if (x > origin.right) {
            y += size.height;
            x = origin.left;
        }
    }
    return any;
}

KqRectF KqTextLayoutEngine::contentRect(KqTextDocument* document, const KqRectF& rect)
{
    std::vector<KqRectF> rects;
    std::vector<KqCharFormat*> formats;
    layout(document, KqLayoutOrigin{rect.x, rect.y, rect.x + rect.width}, rects, formats);
    KqRectF content = m_layoutRect;
    for (const KqRectF& r : rects)
        content = content.unionWith(r);
    return content;
}

int KqTextLayoutEngine::hitTest(KqTextDocument* document, const KqLayoutOrigin& origin, double x)
{
    if (!document)
        return 0;
    const double x0 = origin.left + 1;
    for (int run = 0; run < document->runCount(); ++run) {
        KqCharFormat* format = document->runFormat(run);
        if (!format)
            continue;
        const int start = document->runStart(run);
        const int end = document->runEnd(run);
        // Prefix widths grow with j: search for the first that reaches x.
        int lo = start, hi = end;
        while (lo < hi) {
            const int j = lo + (hi - lo) / 2;
            const double width = format->measureUnits(document->units() + start, j - start + 1).width;
            if (x0 + width - 2 >= x)
                hi = j;
            else
                lo = j + 1;
        }
        if (lo < end)
            return lo;
    }
    return document->length();
}

bool KqTextLayoutEngine::caretLineAt(KqTextDocument* document, const KqRectF& rect, int cursor, KqPoint& top, KqPoint& bottom)
{
    top = KqPoint(roundHalfUp(rect.x), roundHalfUp(rect.y));
    bottom = KqPoint(roundHalfUp(rect.x), roundHalfUp(rect.y + rect.height));
    if (!document || document->length() == 0 || cursor <= 0) {
        top.x += 1;
        bottom.x += 1;
        return true;
    }
    double x = rect.x, y = rect.y;
    for (int run = 0; run < document->runCount(); ++run) {
        KqCharFormat* format = document->runFormat(run);
        if (!format)
            continue;
        const int start = document->runStart(run);
        const int end = document->runEnd(run);
        const int upTo = cursor < end ? cursor : end;
        const KqSizeF before = format->measureUnits(document->units() + start, upTo - start);
        if (cursor > start && cursor <= end) {
            top = KqPoint(roundHalfUp(x + before.width), roundHalfUp(y));
            bottom = KqPoint(roundHalfUp(x + before.width), roundHalfUp(y + before.height));
            break;
        }
        x += before.width;
        if (x > rect.width) {
            y += before.height;
            x = rect.x;
        }
    }
    const int shift = cursor >= document->length() ? 3 : 2;
    top.x -= shift;
    bottom.x -= shift;
    return true;
}

bool KqTextLayoutEngine::caretLine(KqTextDocument* document, const KqRectF& rect, KqPoint& top, KqPoint& bottom)
{
    return document && caretLineAt(document, rect, document->cursor().position(), top, bottom);
}

bool KqTextLayoutEngine::selectionRects(KqTextDocument* document, const KqRectF& rect, std::vector<KqRectF>& rects)
{
    if (!document || document->cursor().position() == document->anchor().position())
        return false;
    KqPoint cursorTop, cursorBottom, anchorTop, anchorBottom;
    caretLineAt(document, rect, document->cursor().position(), cursorTop, cursorBottom);
    const bool ok = caretLineAt(document, rect, document->anchor().position(), anchorTop, anchorBottom);
    const int left = cursorTop.x < anchorTop.x ? cursorTop.x : anchorTop.x;
    const int right = cursorTop.x < anchorTop.x ? anchorTop.x : cursorTop.x;
    rects.push_back(KqRectF(left, cursorTop.y, double(right) - left + 1, double(cursorBottom.y) - cursorTop.y + 1));
    return ok;
}
