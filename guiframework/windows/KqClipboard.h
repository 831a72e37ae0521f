// The system clipboard's text, through a hidden window that opens the
// clipboard and sits in the clipboard-viewer chain.
#pragma once

#include "KqString.h"
#include "platform/KqNativeWindowBase.h"

class KqClipboard : private KqNativeWindowBase {
public:
    KqClipboard();
    ~KqClipboard() override;
    static KqClipboard* instance();

    // Mode 0 is the clipboard; other modes read a null string and write nothing.
    KqString text(int mode = 0) const;
    void setText(const KqString& text, int mode = 0);

    HWND window() const { return hwnd(); }
    HWND nextViewer() const { return m_nextViewer; }

private:
    bool processMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    bool open() const; // waits a moment for another holder to let go

    static constexpr unsigned kOpenWaitMs = 1000;
    HWND m_nextViewer = nullptr;
};
