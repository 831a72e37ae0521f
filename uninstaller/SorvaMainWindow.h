// The relocated copy's progress window: a status text over a bar that
// creeps forward on its own and jumps with each report, a list of the
// deleted files two to a line, and the finish state with "完成" enabled.
#pragma once

#include "KqFrameWindow.h"
#include "KqString.h"
#include "UninstallInterfaces.h"

class KqColumnPositioner;
class KqGraphicsMarginsPixmapItem;
class KqGraphicsPixmapItem;
class KqGraphicsSimpleTextItem;
class KqProgressBar;
class KqPushButton;
class KqScrollArea;
class KqTimer;

class SorvaMainWindow : public KqFrameWindow {
    KQ_DECLARE_CLASS(SorvaMainWindow)
public:
    // The list never holds more lines than this; later ones overwrite the last.
    static constexpr int kMaxListItems = 200;
    static constexpr int kButtonBottomMargin = 20;
    static constexpr int kListTopGap = 8;

    SorvaMainWindow();
    ~SorvaMainWindow() override;
    // Frees the reports still queued for the native window, then closes it.
    void closeWindow();

    KqGraphicsSimpleTextItem* statusText() const { return m_status; }
    KqProgressBar* progressBar() const { return m_bar; }
    KqGraphicsPixmapItem* finishPicture() const { return m_finishPicture; }
    KqGraphicsSimpleTextItem* finishText() const { return m_finishText; }
    KqPushButton* button() const { return m_button; }
    KqPushButton* closeButton() const { return m_close; }
    KqGraphicsMarginsPixmapItem* list() const { return m_list; }
    KqColumnPositioner* listColumn() const { return m_column; }
    KqScrollArea* listArea() const { return m_scroll; }
    KqTimer* timer() const { return m_timer; }
    const KqString& pendingText() const { return m_pending; }

private:
    void onWindowMessage(KqGraphicsItem* item, KqEvent* event);
    void onResized(KqGraphicsItem* item, KqEvent* event);
    void onClose(KqGraphicsItem* item, KqEvent* event);
    void onMinimize(KqGraphicsItem* item, KqEvent* event);
    void onTick();
    void onProgress(const KqString& path, double fraction);
    void onFinish();
    void flushList();
    void dropQueuedReports();

    KqTimer* m_timer;
    KqString m_pending;
    int32_t m_pendingPaths = 0;
    KqGraphicsSimpleTextItem* m_status;
    KqProgressBar* m_bar;
    KqGraphicsPixmapItem* m_finishPicture;
    KqGraphicsSimpleTextItem* m_finishText;
    KqPushButton* m_button;
    KqPushButton* m_close;
    KqGraphicsMarginsPixmapItem* m_list;
    KqScrollArea* m_scroll;
    KqColumnPositioner* m_column;
};
