#include "ClientHandler.h"

#include "KqServices.h"
#include "PanelText.h"

#include <algorithm>

namespace {
const wchar_t kStartUrl[] = L"about:blank";
const wchar_t kPageCommandMessage[] = L"executeCmd";
const int kErrorAborted = -3;
const int kErrorUnknownUrlScheme = -302;

bool beginsWith(const std::wstring& text, const wchar_t* prefix)
{
    return text.compare(0, wcslen(prefix), prefix) == 0;
}

std::wstring lowerAscii(std::wstring text)
{
    for (wchar_t& c : text)
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c - L'A' + L'a');
    return text;
}
}  // namespace

ClientHandler::ClientHandler(IBrowserEngine* engine, UiThreadQueue* queue)
    : m_engine(engine), m_queue(queue), m_listener(std::make_shared<std::atomic<Listener*>>(nullptr)),
      m_closeGate(std::make_shared<CloseGate>())
{
    m_closeGate->queue = queue;
    m_closeGate->handler = this;
}

ClientHandler::~ClientHandler()
{
    std::atomic_load(&m_listener)->store(nullptr);
    std::lock_guard<std::mutex> hold(m_closeGate->lock);
    m_closeGate->queue = nullptr;
    m_closeGate->handler = nullptr;
}

void ClientHandler::setListener(Listener* listener)
{
    // A fresh cell, so tasks queued for the previous listener find theirs empty.
    std::atomic_load(&m_listener)->store(nullptr);
    std::atomic_store(&m_listener, std::make_shared<std::atomic<Listener*>>(listener));
}

void ClientHandler::toListener(std::function<void(Listener*)> call, bool highPriority)
{
    std::shared_ptr<std::atomic<Listener*>> cell = std::atomic_load(&m_listener);
    if (!cell->load())
        return;
    m_queue->post([cell, call]() {
        if (Listener* listener = cell->load())
            call(listener);
    }, highPriority);
}

void ClientHandler::closeBrowser()
{
    if (m_closing.exchange(true))
        return;
    // The engine reports the end of its close on a thread of its own.
    std::shared_ptr<CloseGate> gate = m_closeGate;
    m_engine->Close([gate]() {
        std::lock_guard<std::mutex> hold(gate->lock);
        if (gate->queue)
            gate->queue->post([gate]() {
                if (gate->handler)
                    gate->handler->engineClosed();
            });
    });
}

void ClientHandler::engineClosed()
{
    browserGone();
    if (Listener* listener = std::atomic_load(&m_listener)->load())
        listener->OnBrowserClosed();
}

void ClientHandler::browserGone()
{
    if (--m_liveBrowsers == 0)
        m_queue->post([]() { KqDebugStream() << "NotifyAllBrowserClosed"; });
}

std::vector<ContextMenuItem> ClientHandler::contextMenu()
{
    std::wstring devTools = m_engine->DevToolsUrl();
    bool enabled = !devTools.empty() && !devToolsOpen(devTools);
    return {{kViewSourceCommand, KqString("View &Source"), true},
            {kShowDevToolsCommand, KqString("&Show DevTools"), enabled}};
}

bool ClientHandler::onContextMenuCommand(int command)
{
    if (command == kShowDevToolsCommand) {
        showDevTools();
        return true;
    }
    if (command == kViewSourceCommand) {
        std::wstring url;
        {
            std::lock_guard<std::mutex> hold(m_lock);
            url = m_mainFrameUrl;
        }
        if (!url.empty())
            m_engine->Load(L"view-source:" + url);
        return true;
    }
    return false;
}

void ClientHandler::showDevTools()
{
    std::wstring url = m_engine->DevToolsUrl();
    if (url.empty())
        return;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        if (!m_devToolsUrls.insert(url).second)
            return;
    }
    m_engine->EvaluateScript(L"window.open('" + url + L"');");
}

int ClientHandler::popupCount() const
{
    std::lock_guard<std::mutex> hold(m_lock);
    return static_cast<int>(m_popups.size());
}

bool ClientHandler::devToolsOpen(const std::wstring& url) const
{
    std::lock_guard<std::mutex> hold(m_lock);
    return m_devToolsUrls.count(url) != 0;
}

void ClientHandler::OnEngineCreated()
{
    ++m_liveBrowsers;
    toListener([](Listener* l) { l->OnBrowserCreated(); });
}

void ClientHandler::OnAddressChanged(const std::wstring& url)
{
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_mainFrameUrl = url;
    }
    toListener([url](Listener* l) { l->OnAddressChanged(fromWide(url)); });
}

void ClientHandler::OnTitleChanged(const std::wstring& title)
{
    toListener([title](Listener* l) { l->OnTitleChanged(fromWide(title)); });
}

void ClientHandler::OnLoadingStateChanged(bool isLoading)
{
    toListener([isLoading](Listener* l) { l->OnLoadingStateChanged(isLoading); });
}

void ClientHandler::OnNavStateChanged(bool canGoBack, bool canGoForward)
{
    toListener([canGoBack, canGoForward](Listener* l) { l->OnNavStateChanged(canGoBack, canGoForward); });
}

void ClientHandler::OnLoadError(int code, const std::wstring& text, const std::wstring& failedUrl)
{
    if (code == kErrorAborted)
        return;
    if (code == kErrorUnknownUrlScheme && beginsWith(failedUrl, L"tunes:"))
        return;
    std::wstring line = L"ClientHandler::OnLoadError Failed to load URL " + failedUrl + L" with error " + text +
                        L" (" + std::to_wstring(code) + L").";
    m_queue->post([line]() { KqDebugStream() << fromWide(line); });
}

void ClientHandler::OnPageMessage(const std::wstring& name, const std::string& jsonArgs)
{
    if (name != kPageCommandMessage)
        return;
    toListener([name, jsonArgs](Listener* l) {
        PageValueList args;
        PageValuesFromJson(jsonArgs, args);
        l->OnJsMessage(fromWide(name), args);
    }, true);
}

void ClientHandler::OnPopupOpened(const std::wstring& url)
{
    std::lock_guard<std::mutex> hold(m_lock);
    m_popups.push_back(url);
    ++m_liveBrowsers;
}

void ClientHandler::OnPopupClosed(const std::wstring& url)
{
    {
        std::lock_guard<std::mutex> hold(m_lock);
        auto it = std::find(m_popups.begin(), m_popups.end(), url);
        if (it == m_popups.end())
            return;
        m_popups.erase(it);
        m_devToolsUrls.erase(url);
    }
    browserGone();
}

void ClientHandler::OnRendererGone()
{
    std::wstring url;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        url = lowerAscii(m_mainFrameUrl);
    }
    if (!beginsWith(url, kStartUrl))
        m_engine->Load(kStartUrl);
}

void ClientHandler::OnFrame(const EngineFrame& frame)
{
    auto copy = std::make_shared<const EngineFrame>(frame);
    toListener([copy](Listener* l) { l->OnFrame(copy); });
}
