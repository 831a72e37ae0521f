// The text of an edit: a document drawn through its layout engine, scrolled
// sideways to keep the caret in view, with the caret and the selection.
#pragma once

#include "KqColor.h"
#include "KqGraphicsItem.h"

class KqTextDocument;
class KqTextLayoutEngine;

class KqGraphicsEditText : public KqGraphicsItem {
    KQ_DECLARE_CLASS(KqGraphicsEditText)
public:
    explicit KqGraphicsEditText(KqGraphicsItem* parentItem = nullptr);
    ~KqGraphicsEditText() override;
    void paint(KqPainter* painter) override;

    KqTextDocument* document() const { return m_document; }
    KqTextLayoutEngine* layoutEngine() const { return m_layout; }
    KqPointF scrollOffset() const { return m_scrollOffset; }
    void setScrollOffset(const KqPointF& offset);
    // The unit under x (item coordinates, the scroll offset already taken off).
    int hitTest(double x);
    static const KqColor& caretColor();
    static const KqColor& selectionColor();

private:
    KqTextDocument* m_document;
    KqTextLayoutEngine* m_layout;
    KqPointF m_scrollOffset;
};
