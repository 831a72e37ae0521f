// A line of text centred within margins; the label takes the text's size
// plus the margins and takes no input.
#pragma once

#include "KqWidgetItem.h"

class KqGraphicsSimpleTextItem;

class KqLabel : public KqWidgetItem {
    KQ_DECLARE_CLASS(KqLabel)
public:
    explicit KqLabel(KqGraphicsItem* parentItem = nullptr);
    void setText(const KqString& text);
    KqString text() const;
    void setMargins(const KqMargins& margins);
    const KqMargins& margins() const { return m_margins; }
    KqGraphicsSimpleTextItem* textItem() const { return m_text; }

private:
    void adjustSize();
    KqGraphicsSimpleTextItem* m_text;
    KqMargins m_margins{2, 2, 2, 2};
};
