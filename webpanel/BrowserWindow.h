// The panel: the effect-depot page in its window, the page's commands served
// by BrowserProxy, completed downloads told to the page and to the host.
#pragma once

#include "BrowserEngine.h"
#include "BrowserProxy.h"
#include "BrowserWindowFrame.h"
#include "KqSignal.h"
#include "PanelWebView.h"

#include <memory>

extern "C" {
typedef void(__cdecl* AuraeDownloadCallback)(const wchar_t* savePath, const wchar_t* fileMd5, const wchar_t* fileName,
                                             int duration);
}

class BrowserWindow : public KqTrackable {
public:
    static constexpr int kWebViewX = 1;
    static constexpr int kWebViewY = 31;
    static constexpr int kWebViewWidth = 733;
    static constexpr int kWebViewHeight = 568;

    struct Services {
        std::function<std::unique_ptr<IBrowserEngine>()> createEngine;
        BrowserProxy::DownloadFactory createDownload;
        BrowserProxy::UrlOpener openUrl;
        // A first load that has not ended by then counts as failed.
        unsigned loadLimitMs = 30000;
    };

    BrowserWindow(IBrowserWindowFrame* frame, UiThreadQueue* queue, const Services& services);
    ~BrowserWindow() override;

    // Builds the content: proxy, web view loading the page (hidden until
    // the first load finishes), loading overlay, connections.
    void setupContent(const KqString& pageUrl);
    void setFrame(IBrowserWindowFrame* frame) { m_frame = frame; }
    void setCallback(AuraeDownloadCallback callback) { m_callback = callback; }
    AuraeDownloadCallback callback() const { return m_callback; }

    // The window's close request; true when the window may close now.
    bool closeRequest();

    void finishLoading(bool ok);
    void on_handleJsMessage(const KqString& name, const PageValueList& args);
    void on_handleFileDurationReturn(int length);
    void on_handleCompleteDownload(const KqString& savePath, const KqString& md5, const KqString& name,
                                   int32_t duration);

    PanelWebView* webView() { return m_webView.get(); }
    BrowserProxy* proxy() { return m_proxy; }

    // The window's close was accepted (at once, or once the browser closed
    // after the first close request): the window is going.
    KqSignalOf<> closed;

    // Test seams: forget, or mark, that a close has begun in this process.
    static void resetCloseFlagForTest();
    static void markCloseBegunForTest();

private:
    void onBrowserClosed();
    void acceptClose();
    void onLoadLimit();
    void onFrameChanged() { if (m_frame) m_frame->webViewChanged(); }

    IBrowserWindowFrame* m_frame;
    UiThreadQueue* m_queue;
    Services m_services;
    BrowserProxy* m_proxy = nullptr;
    std::unique_ptr<PanelWebView> m_webView;
    bool m_loadingVisible = false;
    bool m_closeAccepted = false;
    unsigned m_loadLimitTimer = 0;
    KqString m_pageUrl;
    AuraeDownloadCallback m_callback = nullptr;
};
