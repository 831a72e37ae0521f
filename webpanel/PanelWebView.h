// The web view of the panel: asks the engine for the page once it has a
// size, remembers what to load while the engine is being created, and hands
// the page's news on as signals (on the UI thread).
#pragma once

#include "BrowserEngine.h"
#include "ClientHandler.h"
#include "KqSignal.h"
#include "KqString.h"
#include "PageValue.h"

#include <memory>

class PanelWebView : public KqTrackable, public ClientHandler::Listener {
public:
    enum State { NoBrowser = 0, Creating = 1, Created = 2 };

    PanelWebView(std::unique_ptr<IBrowserEngine> engine, UiThreadQueue* queue);
    ~PanelWebView() override;

    void load(const KqString& url);
    bool createBrowser(int width, int height);
    // False without a browser; otherwise the script is on its way (it has
    // not run yet when this returns).
    bool evaluateJavaScript(const KqString& script);
    void back();
    void forward();
    void reload();
    void stop();

    // What the widget hears from its window.
    void showEvent();
    void resizeEvent(int width, int height);
    void closeEvent();
    void mouseEvent(const EngineMouseEvent& event);
    void keyEvent(const EngineKeyEvent& event);

    // The widget's size without a resize event (a widget not yet shown).
    void setSize(int width, int height) { m_width = width; m_height = height; }
    void setVisible(bool visible) { m_visible = visible; }
    bool isVisible() const { return m_visible; }
    int width() const { return m_width; }
    int height() const { return m_height; }
    State state() const { return m_state; }
    const KqString& url() const { return m_url; }
    bool pendingLoad() const { return m_pendingLoad; }
    bool pendingResize() const { return m_pendingResize; }
    // The latest picture of the page; null before the first.
    std::shared_ptr<const EngineFrame> currentFrame() const { return m_frame; }
    ClientHandler& handler() { return *m_handler; }

    KqSignalOf<const KqString&> titleChanged;
    KqSignalOf<const KqString&> urlChanged;
    KqSignalOf<> loadStarted;
    KqSignalOf<bool> loadFinished;
    KqSignalOf<bool, bool> navStateChanged;
    KqSignalOf<const KqString&, const PageValueList&> jsMessage;
    KqSignalOf<> frameChanged;
    KqSignalOf<> browserClosed;

    // ClientHandler::Listener
    void OnAddressChanged(const KqString& url) override;
    void OnTitleChanged(const KqString& title) override;
    void OnLoadingStateChanged(bool isLoading) override;
    void OnNavStateChanged(bool canGoBack, bool canGoForward) override;
    void OnBrowserCreated() override;
    void OnJsMessage(const KqString& name, const PageValueList& args) override;
    void OnFrame(const std::shared_ptr<const EngineFrame>& frame) override;
    void OnBrowserClosed() override;

private:
    // The engine goes before the handler it reports to.
    std::unique_ptr<ClientHandler> m_handler;
    std::unique_ptr<IBrowserEngine> m_engine;
    State m_state = NoBrowser;
    bool m_pendingResize = false;
    bool m_pendingLoad = false;
    bool m_visible = true;
    int m_width = 0;
    int m_height = 0;
    KqString m_url;
    std::shared_ptr<const EngineFrame> m_frame;
};
