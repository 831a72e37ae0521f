#include "SetupTextBlock.h"

SetupTextBlock::SetupTextBlock(KqGraphicsItem* parent, const KqColor& color, int pixelSize)
    : KqColumnPositioner(parent), m_color(color), m_pixelSize(pixelSize)
{
    setSpacing(2);
}

void SetupTextBlock::setText(const KqString& text)
{
    m_text = text;
    while (children().count() > 0)
        delete children().at(children().count() - 1);
    int start = 0;
    const int length = text.length();
    for (int i = 0; i <= length; ++i) {
        if (i < length && text.data()[i] != u'\n')
            continue;
        KqGraphicsSimpleTextItem* line = new KqGraphicsSimpleTextItem(this);
        line->setPixelSize(m_pixelSize);
        line->setColor(m_color);
        // An empty line still takes a line's height.
        line->setText(i > start ? text.mid(start, i - start) : KqString(u" "));
        start = i + 1;
    }
}
