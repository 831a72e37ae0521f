// A plain Win32 window showing the panel until the GUI framework's frame
// window takes its place: a caption strip with the title, the page's latest
// picture at the web view's place (or the loading text over white), and the
// mouse and keys inside the page forwarded to it.
#pragma once

#include "BrowserWindow.h"
#include "BrowserWindowFrame.h"

#include <windows.h>

class NativePanelFrame : public IBrowserWindowFrame {
public:
    static constexpr int kWidth = BrowserWindow::kWebViewX + BrowserWindow::kWebViewWidth + 2;
    static constexpr int kHeight = BrowserWindow::kWebViewY + BrowserWindow::kWebViewHeight + 2;

    explicit NativePanelFrame(BrowserWindow* logic);
    ~NativePanelFrame() override;

    void setTitle(const KqString& title) override;
    void showWindow() override;
    void closeWindow() override;
    void setWebViewVisible(bool visible) override;
    void setLoadingVisible(bool visible) override;
    void setLoadingText(const KqString& text) override;
    void webViewChanged() override;

    HWND window() const { return m_window; }

private:
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    void paint(HDC dc);
    bool mouse(UINT message, WPARAM wParam, LPARAM lParam);
    void contextMenu(PanelWebView* view, POINT at);

    BrowserWindow* m_logic;
    HWND m_window = nullptr;
    bool m_webViewVisible = false;
    bool m_loadingVisible = false;
    std::wstring m_title;
    std::wstring m_loadingText;
};
