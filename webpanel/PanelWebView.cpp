#include "PanelWebView.h"

#include "PanelText.h"

PanelWebView::PanelWebView(std::unique_ptr<IBrowserEngine> engine, UiThreadQueue* queue)
    : m_handler(new ClientHandler(engine.get(), queue)), m_engine(std::move(engine))
{
}

PanelWebView::~PanelWebView()
{
    m_handler->setListener(nullptr);
    if (m_state != NoBrowser)
        m_handler->closeBrowser();
    m_engine.reset();
}

void PanelWebView::load(const KqString& url)
{
    m_url = url;
    switch (m_state) {
    case NoBrowser:
        createBrowser(m_width, m_height);
        break;
    case Creating:
        m_pendingLoad = true;
        break;
    case Created:
        m_engine->Load(toWide(url));
        break;
    }
}

bool PanelWebView::createBrowser(int width, int height)
{
    if (m_state != NoBrowser || width <= 0 || height <= 0)
        return false;
    m_handler->setListener(this);
    std::wstring start = m_url.isEmpty() ? std::wstring(L"about:blank") : toWide(m_url);
    m_state = Creating;
    if (!m_engine->Create(width, height, start, m_handler.get()))
        return false;  // stays "creating": the engine never arrives, nothing is driven
    return true;
}

bool PanelWebView::evaluateJavaScript(const KqString& script)
{
    if (m_state != Created)
        return false;
    m_engine->EvaluateScript(toWide(script));
    return true;
}

void PanelWebView::back() { if (m_state == Created) m_engine->Back(); }
void PanelWebView::forward() { if (m_state == Created) m_engine->Forward(); }
void PanelWebView::reload() { if (m_state == Created) m_engine->Reload(); }
void PanelWebView::stop() { if (m_state == Created) m_engine->Stop(); }

void PanelWebView::showEvent()
{
    createBrowser(m_width, m_height);
}

void PanelWebView::resizeEvent(int width, int height)
{
    m_width = width;
    m_height = height;
    switch (m_state) {
    case NoBrowser:
        createBrowser(width, height);
        break;
    case Creating:
        m_pendingResize = true;
        break;
    case Created:
        m_engine->Resize(width, height);
        break;
    }
}

void PanelWebView::closeEvent()
{
    if (!m_handler->isClosing() && m_state != NoBrowser)
        m_handler->closeBrowser();
}

void PanelWebView::mouseEvent(const EngineMouseEvent& event)
{
    if (m_state == Created)
        m_engine->SendMouse(event);
}

void PanelWebView::keyEvent(const EngineKeyEvent& event)
{
    if (m_state == Created)
        m_engine->SendKey(event);
}

void PanelWebView::OnAddressChanged(const KqString& url) { urlChanged.emit(url); }
void PanelWebView::OnTitleChanged(const KqString& title) { titleChanged.emit(title); }
void PanelWebView::OnNavStateChanged(bool canGoBack, bool canGoForward) { navStateChanged.emit(canGoBack, canGoForward); }
void PanelWebView::OnJsMessage(const KqString& name, const PageValueList& args) { jsMessage.emit(name, args); }
void PanelWebView::OnBrowserClosed() { browserClosed.emit(); }

void PanelWebView::OnBrowserCreated()
{
    m_state = Created;
    if (m_pendingResize) {
        m_engine->Resize(m_width, m_height);
        m_pendingResize = false;
    }
}

void PanelWebView::OnLoadingStateChanged(bool isLoading)
{
    if (isLoading) {
        if (!m_pendingLoad && !m_url.isEmpty())
            loadStarted.emit();
        return;
    }
    if (m_pendingLoad) {
        m_pendingLoad = false;
        m_engine->Load(toWide(m_url));
    } else if (!m_url.isEmpty()) {
        loadFinished.emit(true);
    }
}

void PanelWebView::OnFrame(const std::shared_ptr<const EngineFrame>& frame)
{
    m_frame = frame;
    frameChanged.emit();
}
