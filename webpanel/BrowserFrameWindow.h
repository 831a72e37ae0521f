// The panel's window: a framework frame window built from
// "layout/browserwindow.xml" (its caption label and close button), with the
// web view item at the page's place and the loading overlay over it. The
// window's close (its button, the system's close) asks the panel's logic
// first; the first close waits for the browser.
#pragma once

#include "BrowserWindowFrame.h"
#include "DuiFrameWindow.h"

#include <windows.h>

class BrowserWindow;
class KqEvent;
class KqLabel;
class LoadingView;
class WebViewItem;

class BrowserFrameWindow : public DuiFrameWindow, public IBrowserWindowFrame {
public:
    static constexpr int kWidth = 736;
    static constexpr int kHeight = 601;

    explicit BrowserFrameWindow(KqObject* parent = nullptr);
    ~BrowserFrameWindow() override;

    // Registers the class with the layout loader under "BrowserWindow".
    static void registerFactory();
    // The window the layout file builds, tied to the logic; null when the
    // file does not produce one.
    static BrowserFrameWindow* create(BrowserWindow* logic);

    void setupContent() override;
    void attach(BrowserWindow* logic);

    void setTitle(const KqString& title) override;
    void showWindow() override;
    void closeWindow() override;
    void setWebViewVisible(bool visible) override;
    void setLoadingVisible(bool visible) override;
    void setLoadingText(const KqString& text) override;
    void webViewChanged() override;

    // The close the user asked for: the logic decides.
    void requestClose();

    WebViewItem* webViewItem() const { return m_webView; }
    LoadingView* loadingView() const { return m_loading; }

private:
    static LRESULT CALLBACK closeFilter(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void hookClose();
    void unhookClose();
    void onCloseClicked(KqGraphicsItem*, KqEvent* event);

    BrowserWindow* m_logic = nullptr;
    WebViewItem* m_webView = nullptr;
    LoadingView* m_loading = nullptr;
    KqLabel* m_caption = nullptr;
    HWND m_hooked = nullptr;
    WNDPROC m_previousProc = nullptr;
    bool m_closed = false;
};
