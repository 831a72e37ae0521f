// The base of the controls: an item that takes clicks and focus, carries a
// skinned background frame filling it, and offers its events as signals.
#pragma once

#include "KqGraphicsItem.h"
#include "KqSignal.h"

class KqEventSignalDispatch;
class KqGraphicsFrameItem;

class KqWidgetItem : public KqGraphicsItem, public KqTrackable {
    KQ_DECLARE_CLASS(KqWidgetItem)
public:
    // How the frame window's hit test treats a press on the widget.
    enum WindowDragMode { ClientArea = 0, DragsWindow = 1, AsParent = 2 };

    explicit KqWidgetItem(KqGraphicsItem* parentItem = nullptr);
    // The handler's signal dispatch (made on first use); null when the
    // handler is not a widget handler.
    virtual KqEventSignalDispatch* eventSignalDispatch();

    void setWindowDragMode(int mode) { m_windowDragMode = mode; }
    int windowDragMode() const { return m_windowDragMode; }
    KqGraphicsFrameItem* background() const { return m_background; }

private:
    int32_t m_windowDragMode = ClientArea;
    KqGraphicsFrameItem* m_background;
};
