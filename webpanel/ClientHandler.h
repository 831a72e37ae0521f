// The panel's side of the web engine: hears the engine on its thread, keeps
// the page's rules (which load errors matter, what a crashed page does,
// which messages from the page are commands, popups, developer tools,
// storage quota, location, drags) and hands what the view needs to the UI
// thread. Page messages travel ahead of the other news.
#pragma once

#include "BrowserEngine.h"
#include "KqString.h"
#include "PageValue.h"
#include "UiThreadQueue.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

struct ContextMenuItem {
    int command;
    KqString text;
    bool enabled;
};

class ClientHandler : public IBrowserEngineListener {
public:
    static constexpr int kViewSourceCommand = 132;
    static constexpr int kShowDevToolsCommand = 26500;
    static constexpr int64_t kQuotaLimitBytes = 20971520;
    static constexpr unsigned kDragOperationLink = 2;

    // Told on the UI thread.
    class Listener {
    public:
        virtual ~Listener() = default;
        virtual void OnAddressChanged(const KqString& url) = 0;
        virtual void OnTitleChanged(const KqString& title) = 0;
        virtual void OnLoadingStateChanged(bool isLoading) = 0;
        virtual void OnNavStateChanged(bool canGoBack, bool canGoForward) = 0;
        virtual void OnBrowserCreated() = 0;
        virtual void OnJsMessage(const KqString& name, const PageValueList& args) = 0;
        virtual void OnFrame(const std::shared_ptr<const EngineFrame>& frame) = 0;
        virtual void OnBrowserClosed() = 0;
    };

    // engine: the engine this handler listens to (driven for the crash rule
    // and the developer tools); queue: the UI thread's.
    ClientHandler(IBrowserEngine* engine, UiThreadQueue* queue);
    ~ClientHandler() override;

    // UI thread (as every operation below unless named). Null stops the news (queued news for the old one is dropped).
    void setListener(Listener* listener);
    // UI thread: starts closing the page unless a close already began, and
    // returns at once; the listener hears OnBrowserClosed once it is gone.
    void closeBrowser();
    bool isClosing() const { return m_closing; }

    // Context menu of a page: view source and "&Show DevTools", the latter
    // disabled while the tools are open or the engine has none.
    std::vector<ContextMenuItem> contextMenu();
    // True when the command was ours.
    bool onContextMenuCommand(int command);
    void showDevTools();

    // Rules the engine asks about.
    static bool onQuotaRequest(int64_t newSizeBytes) { return newSizeBytes <= kQuotaLimitBytes; }
    static bool onGeolocationRequest() { return true; }
    // True: the drag is cancelled.
    static bool onDragEnter(unsigned allowedOperations) { return (allowedOperations & kDragOperationLink) != 0; }

    int liveBrowserCount() const { return m_liveBrowsers; }
    int popupCount() const;
    bool devToolsOpen(const std::wstring& url) const;

    // IBrowserEngineListener (engine thread).
    void OnEngineCreated() override;
    void OnAddressChanged(const std::wstring& url) override;
    void OnTitleChanged(const std::wstring& title) override;
    void OnLoadingStateChanged(bool isLoading) override;
    void OnNavStateChanged(bool canGoBack, bool canGoForward) override;
    void OnLoadError(int code, const std::wstring& text, const std::wstring& failedUrl) override;
    void OnPageMessage(const std::wstring& name, const std::string& jsonArgs) override;
    void OnPopupOpened(const std::wstring& url) override;
    void OnPopupClosed(const std::wstring& url) override;
    void OnRendererGone() override;
    void OnFrame(const EngineFrame& frame) override;

private:
    // Runs call with the listener on the UI thread, unless the listener
    // changed or went in between.
    void toListener(std::function<void(Listener*)> call, bool highPriority = false);
    void browserGone();
    void engineClosed();

    // What the engine's report of its close needs, cleared when the handler goes.
    struct CloseGate {
        std::mutex lock;
        UiThreadQueue* queue = nullptr;
        ClientHandler* handler = nullptr;  // read on the UI thread only
    };

    IBrowserEngine* m_engine;
    UiThreadQueue* m_queue;
    std::shared_ptr<std::atomic<Listener*>> m_listener;
    std::atomic<bool> m_closing{false};
    std::atomic<int> m_liveBrowsers{0};
    std::shared_ptr<CloseGate> m_closeGate;

    // The framework's strings count references without locking, so what
    // the engine's thread keeps is held in standard strings.
    mutable std::mutex m_lock;  // guards the fields below
    std::wstring m_mainFrameUrl;
    std::vector<std::wstring> m_popups;
    std::set<std::wstring> m_devToolsUrls;
};
