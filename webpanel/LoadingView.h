// The overlay shown while the page loads: an opaque white item over the web
// view's place holding the content of "layout/loadingwidget.xml" and its
// status label "labelLoadingStatus". It keeps its inset in the window as the
// window resizes.
#pragma once

#include "KqGraphicsItem.h"
#include "KqString.h"

class KqLabel;

class LoadingView : public KqGraphicsItem {
public:
    static constexpr int kInsetLeft = 2;
    static constexpr int kInsetTop = 30;
    static constexpr int kInsetRight = 2;
    static constexpr int kInsetBottom = 2;

    explicit LoadingView(KqGraphicsItem* window);
    void setText(const KqString& text);
    // Null when the layout file had no such label.
    KqLabel* statusLabel() const { return m_label; }
    void paint(KqPainter* painter) override;

private:
    KqGraphicsItem* m_content;
    KqLabel* m_label = nullptr;
};
