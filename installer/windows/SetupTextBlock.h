// Text of several lines: one simple text item per line ("\n" breaks), in a
// column, all in one colour and size.
#pragma once

#include "KqBasicItems.h"
#include "KqColor.h"
#include "KqPositioner.h"

class SetupTextBlock : public KqColumnPositioner {
public:
    explicit SetupTextBlock(KqGraphicsItem* parent, const KqColor& color, int pixelSize = 12);
    void setText(const KqString& text);
    const KqString& text() const { return m_text; }

private:
    KqString m_text;
    KqColor m_color;
    int m_pixelSize;
};
