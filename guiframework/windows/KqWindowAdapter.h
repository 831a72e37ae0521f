// Turns a framework window's messages into events for its view, keeps the
// backing store the size of the client area and presents it: BitBlt for an
// ordinary window, UpdateLayeredWindow with per-pixel alpha for a layered one.
#pragma once

#include "KqClassInfo.h"
#include "KqGeometry.h"
#include "KqPainter.h"

#include <windows.h>

class KqEvent;
class KqGraphicsView;
class KqMouseEvent;
class KqWindow;

class KqWindowAdapter : public KqRttiObject {
    KQ_DECLARE_CLASS(KqWindowAdapter)
public:
    KqWindowAdapter() = default;
    ~KqWindowAdapter() override;

    void attach(KqWindow* window, HWND hwnd, KqGraphicsView* view);
    void setView(KqGraphicsView* view) { m_view = view; }
    KqGraphicsView* view() const { return m_view; }
    bool isAttached() const { return m_attached; }
    bool isLayered() const { return m_layered; }
    KqPaintEngine& backingStore() { return m_backingStore; }

    // False: the message goes to default processing.
    bool processMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    void paint(HDC dc, const RECT* update);
    void invalidate(const KqRect& rect);
    void onShow(int showCommand);

private:
    bool send(KqEvent* event);
    void readLayered();
    // Client and non-client mouse messages as events (lastMouseEvent kept).
    void sendMouse(KqMouseEvent* event, LPARAM lParam, int button, bool screenPoint);
    void sendNonClient(KqMouseEvent* event, WPARAM hitTest, LPARAM lParam, int button);
    void remember(const KqMouseEvent& event);
    LRESULT hitTest(LPARAM lParam);

    HWND m_hwnd = nullptr;
    bool m_attached = false;
    KqWindow* m_window = nullptr;
    KqGraphicsView* m_view = nullptr;
    KqPaintEngine m_backingStore;
    KqMouseEvent* m_lastMouseEvent = nullptr;
    bool m_layered = false;
    bool m_ncLeftDown = false;
    bool m_ncRightDown = false;
    bool m_inNonClient = false;
};
