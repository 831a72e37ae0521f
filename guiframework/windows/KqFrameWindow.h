// The base of every top-level window: a widget that owns a scene, a view on
// it and (once shown) a layered native window, with a fixed layer tree (a
// full-window layer, a nine-grid shadow ring, a content layer with rounded
// corners, the window item and a popup layer). It answers the native
// window's hit tests, moves, resizes and shows so that the borderless
// window can be dragged, resized and maximised.
#pragma once

#include "KqColor.h"
#include "KqContainers.h"
#include "KqGeometry.h"
#include "KqObject.h"
#include "KqString.h"
#include "KqWidgetItem.h"

#include <windows.h>

#include <bitset>

class KqGraphicsMarginsPixmapItem;
class KqGraphicsScene;
class KqGraphicsView;

class KqFrameWindow : public KqWidgetItem {
    KQ_DECLARE_CLASS(KqFrameWindow)
public:
    // Window flag bits.
    enum WindowFlag { DeleteOnClose = 55, Resizable = 133, WindowFlagCount = 160 };
    static const int kCornerRadius = 5;
    static const int kShadowMargin = 5;
    static const int kShadowNineGrid = 12;

    explicit KqFrameWindow(KqObject* parent = nullptr);
    ~KqFrameWindow() override;

    void showWindow(int showCommand = SW_SHOW);
    void hide() { showWindow(SW_HIDE); }
    void minimize() { showWindow(SW_MINIMIZE); }
    void close();
    // Paints pending changes and the window at once, without waiting for
    // the scene's next update round.
    void redrawNow();

    void setWindowTitle(const KqString& title);
    KqString windowTitle() const { return m_title; }
    void setWindowIcon(int resourceId);
    int windowIcon() const { return m_iconId; }
    void setWindowFlag(int bit, bool on);
    bool windowFlag(int bit) const;
    // Inclusive edges.
    KqRect geometry() const { return m_geometry; }
    void setGeometry(const KqRect& geometry);
    void setGeometry(int x, int y, int width, int height) { setGeometry(KqRect(x, y, width, height)); }
    void resize(int width, int height) { setGeometry(KqRect(m_geometry.left, m_geometry.top, width, height)); }
    void setCenterOnShow(bool on) { m_centerOnShow = on; }
    void setBackgroundColor(const KqColor& color);
    HWND winId() const;

    KqString objectPath() const override;

    KqGraphicsScene* graphicsScene() const { return m_scene; }
    KqGraphicsView* view() const { return m_view; }
    KqGraphicsItem* fullLayer() const { return m_fullLayer; }
    KqGraphicsItem* contentLayer() const { return m_contentLayer; }
    KqGraphicsItem* popupLayer() const { return m_popupLayer; }
    KqGraphicsMarginsPixmapItem* border() const { return m_border; }

    // The hit-test code for a client point of a w x h window with border b.
    static int hitTestCode(int width, int height, int x, int y, int border, bool maximised);

private:
    static KqFrameWindow* of(void* view);
    static void onResize(void* view, KqEvent* event);
    static void onMove(void* view, KqEvent* event);
    static void onHitTest(void* view, KqEvent* event);
    static void onShow(void* view, KqEvent* event);
    static void onWindowEvent(void* view, KqEvent* event);
    static void onNcToClient(void* view, KqEvent* event);
    static void onKeyUp(void* view, KqEvent* event);
    static void onDragMove(void* item, KqEvent* event);
    void connectClosed();
    void windowClosed();
    void layoutContent(bool maximised);
    int dragModeFrom(KqGraphicsItem* item) const;

    KqObject* m_object;
    KqGraphicsScene* m_scene = nullptr;
    KqGraphicsView* m_view = nullptr;
    KqGraphicsMarginsPixmapItem* m_border = nullptr;
    KqGraphicsItem* m_fullLayer = nullptr;
    KqGraphicsItem* m_contentLayer = nullptr;
    KqGraphicsItem* m_popupLayer = nullptr;
    KqString m_title;
    int32_t m_iconId = 101;
    KqRect m_geometry{0, 0, 640, 480};
    bool m_centerOnShow = true;
    int32_t m_windowKind = 0; // 1 or 2: a topmost tool window
    int32_t m_cornerRadius = kCornerRadius;
    int32_t m_shadowMargin = kShadowMargin;
    std::bitset<WindowFlagCount> m_windowFlags;
    KqMap<uint16_t, KqWeakPointer> m_keyItems; // a key release clicks the mapped item
    bool m_closedConnected = false;
};
