// The framework's Win32 top-level window: a borderless layered pop-up of the
// class "DUI_HOST_WINDOW" that shows one view. Its native part answers
// creation and destruction itself and hands every other message to its
// adapter (KqWindowAdapter).
#pragma once

#include "KqClassInfo.h"
#include "KqGeometry.h"
#include "KqObject.h"
#include "KqSignal.h"
#include "KqString.h"

#include <windows.h>

class KqGraphicsView;
class KqHostWindow;
class KqWindowAdapter;

class KqWindow : public KqObject, public KqRttiObject, public KqTrackable {
    KQ_DECLARE_CLASS(KqWindow)
public:
    enum : DWORD { HostStyle = 0x800F0000, HostExStyle = 0xC0000 };

    KqWindow();
    ~KqWindow() override;

    // Creates the native window on first use, then shows it with the command.
    void show(int showCommand, const KqRect& geometry);
    // Inclusive edges; moves and sizes the window when they differ.
    void setGeometry(const KqRect& geometry);
    void setTitle(const KqString& title);
    KqString title() const;
    void setIcon(int resourceId);
    // Centres on a visible, not minimised owner, else on the nearest work area.
    void center(HWND owner = nullptr);
    KqSize clientSize() const;
    int clientWidth() const { return clientSize().width; }
    int clientHeight() const { return clientSize().height; }
    HWND winId() const;
    void destroy();
    void invalidate(const KqRect& rect);
    void setView(KqGraphicsView* view);
    KqGraphicsView* view() const;
    KqWindowAdapter* adapter() const;

    KqSignal0 created;
    KqSignal0 destroyed;
    KqSignal0 finalDestroyed;

private:
    void makeHost();
    void onCreate();
    void onDestroy();
    void onFinalDestroy();

    KqHostWindow* m_host = nullptr;
    KqGraphicsView* m_view = nullptr; // kept across native windows
    KqString m_title;
};
