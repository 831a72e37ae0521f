// The web view as a framework item: paints the page's latest decoded picture
// and hands the mouse, wheel and keys it receives to the page at page
// coordinates; the right button opens the panel's own menu instead.
#pragma once

#include "KqWidgetItem.h"

class BrowserWindow;
class KqEvent;
class PanelWebView;

class WebViewItem : public KqWidgetItem {
public:
    WebViewItem(KqGraphicsItem* parent, BrowserWindow* logic);
    void setLogic(BrowserWindow* logic) { m_logic = logic; }
    void paint(KqPainter* painter) override;

private:
    PanelWebView* view() const;
    void onMouseDown(KqGraphicsItem*, KqEvent* event);
    void onMouseUp(KqGraphicsItem*, KqEvent* event);
    void onMouseMove(KqGraphicsItem*, KqEvent* event);
    void onWheel(KqGraphicsItem*, KqEvent* event);
    void onKeyDown(KqGraphicsItem*, KqEvent* event);
    void onKeyUp(KqGraphicsItem*, KqEvent* event);
    void onChar(KqGraphicsItem*, KqEvent* event);
    void contextMenu(KqEvent* event);

    BrowserWindow* m_logic;
};
