#include "DevToolsEngine.h"

#include "ChromiumService.h"
#include "DevToolsHttp.h"
#include "JpegDecoder.h"
#include "KqServices.h"
#include "NetErrors.h"
#include "PanelPageScript.h"
#include "PanelText.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/core/detail/base64.hpp>
#include <boost/beast/websocket.hpp>
#include <nlohmann/json.hpp>

#include <windows.h>

#include <deque>
#include <set>
#include <vector>
#include <map>
#include <mutex>

namespace beast = boost::beast;
namespace websocket = beast::websocket;
namespace net = boost::asio;
using tcp = net::ip::tcp;
using json = nlohmann::json;

namespace {

constexpr int kEngineStartMs = 60000;
constexpr size_t kMessageLimit = 256u << 20;
constexpr int kLargestFrameSide = 4096;
constexpr int kErrorAborted = -3;

std::string utf8(const std::wstring& text) { return toUtf8(fromWide(text)); }
std::wstring wide(const std::string& text) { return toWide(fromUtf8(text)); }

void debugLine(const std::string& text)
{
    KqDebugStream() << fromUtf8("DevToolsEngine " + text);
}

}  // namespace

class DevToolsEngine::Session : public std::enable_shared_from_this<Session> {
public:
    typedef std::function<void(const json& answer)> Reply;

    Session() : m_ws(m_io), m_guard(net::make_work_guard(m_io)) {}

    bool start(int width, int height, const std::wstring& url, IBrowserEngineListener* listener)
    {
        m_width = width;
        m_height = height;
        m_startUrl = utf8(url);
        m_listener = listener;
        // The thread may outlive the panel (a close does not wait for it):
        // it holds the module that holds its code until it has returned.
        HMODULE module = nullptr;
        if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&Session::threadMain),
                                &module))
            return false;
        {
            std::lock_guard<std::mutex> hold(m_doneLock);
            m_finished = false;
        }
        auto* start = new ThreadStart{shared_from_this(), module};
        HANDLE thread = CreateThread(nullptr, 0, &Session::threadMain, start, 0, nullptr);
        if (!thread) {
            delete start;
            FreeLibrary(module);
            finished();
            return false;
        }
        CloseHandle(thread);
        return true;
    }

    // From any thread: runs the task on the engine's thread.
    void post(std::function<void(Session&)> task)
    {
        std::shared_ptr<Session> self = shared_from_this();
        net::post(m_io, [self, task]() {
            if (!self->m_closing)
                task(*self);
        });
    }

    // Returns at once; closed runs when the thread has ended (at once when
    // it already has).
    void close(std::function<void()> closed)
    {
        {
            // Waits for a report in progress; nothing more is heard.
            std::lock_guard<std::recursive_mutex> hold(m_listenerLock);
            m_listener = nullptr;
        }
        bool running;
        {
            std::lock_guard<std::mutex> hold(m_doneLock);
            running = !m_finished;
            if (running && closed)
                m_onClosed.push_back(std::move(closed));
        }
        if (!running) {
            if (closed)
                closed();
            return;
        }
        if (m_cancel.exchange(true))
            return;
        std::shared_ptr<Session> self = shared_from_this();
        net::post(m_io, [self]() { self->shutDown(); });
    }

    std::wstring devToolsUrl()
    {
        std::lock_guard<std::mutex> hold(m_infoLock);
        return m_devToolsUrl;
    }
    std::string targetId()
    {
        std::lock_guard<std::mutex> hold(m_infoLock);
        return m_targetId;
    }

    void command(const std::string& method, json params, Reply onReply = Reply())
    {
        if (m_draining)
            return;
        int id = m_nextId++;
        if (onReply)
            m_replies[id] = std::move(onReply);
        json message = {{"id", id}, {"method", method}, {"params", std::move(params)}};
        m_writes.push_back(message.dump());
        if (m_writes.size() == 1 && m_open)
            writeNext();
    }

    void navigate(const std::string& url)
    {
        std::shared_ptr<Session> self = shared_from_this();
        command("Page.navigate", {{"url", url}}, [self, url](const json& answer) {
            const json& result = answer.value("result", json::object());
            std::string error = result.value("errorText", std::string());
            if (error.empty())
                return;
            // The request's failure may have told it already.
            if (self->m_reportedLoads.insert(result.value("loaderId", std::string())).second)
                self->loadError(error, url);
        });
    }

    void historyStep(int step)
    {
        std::shared_ptr<Session> self = shared_from_this();
        command("Page.getNavigationHistory", json::object(), [self, step](const json& answer) {
            const json& result = answer.value("result", json::object());
            int index = result.value("currentIndex", 0) + step;
            const json& entries = result.value("entries", json::array());
            if (index >= 0 && index < static_cast<int>(entries.size()))
                self->command("Page.navigateToHistoryEntry", {{"entryId", entries[index].value("id", 0)}});
        });
    }

    void setViewport(int width, int height)
    {
        m_width = width;
        m_height = height;
        command("Emulation.setDeviceMetricsOverride",
                {{"width", width}, {"height", height}, {"deviceScaleFactor", 1}, {"mobile", false}});
        command("Page.startScreencast",
                {{"format", "jpeg"}, {"quality", 90}, {"maxWidth", width}, {"maxHeight", height}, {"everyNthFrame", 1}});
    }

private:
    struct ThreadStart {
        std::shared_ptr<Session> session;
        HMODULE module;
    };

    static DWORD WINAPI threadMain(void* param)
    {
        auto* start = static_cast<ThreadStart*>(param);
        HMODULE module = start->module;
        start->session->run();
        start->session->finished();
        delete start;  // the session may go here, on its own thread
        FreeLibraryAndExitThread(module, 0);
        return 0;
    }

    void finished()
    {
        std::vector<std::function<void()>> closed;
        {
            std::lock_guard<std::mutex> hold(m_doneLock);
            m_finished = true;
            closed.swap(m_onClosed);
        }
        for (auto& report : closed)
            report();
    }

    void run()
    {
        if (connect()) {
            m_open = true;
            readNext();
            setUp();
            m_io.run();
        } else if (!m_cancel) {
            debugLine("could not reach the engine on 127.0.0.1:8088");
        }
        // Let the work still waiting end, so its handlers let go of the session.
        m_draining = true;
        beast::error_code ignored;
        if (m_closeTimer)
            m_closeTimer->cancel();
        beast::get_lowest_layer(m_ws).socket().close(ignored);
        m_io.restart();
        while (m_io.poll() > 0) {
        }
        m_replies.clear();
        m_writes.clear();
    }

    bool connect()
    {
        if (!ChromiumService::ensureRunning(kEngineStartMs, &m_cancel))
            return false;
        std::string body;
        // A page target of our own; older engines take GET for /json/new.
        if (!DevToolsHttp::request("PUT", "/json/new?about:blank", body, 10000) &&
            !DevToolsHttp::request("GET", "/json/new?about:blank", body, 10000))
            return false;
        json target = json::parse(body, nullptr, false);
        if (!target.is_object() || target.value("type", std::string()) != "page")
            return false;
        std::string wsUrl = target.value("webSocketDebuggerUrl", std::string());
        std::string host, port, path;
        if (!DevToolsHttp::splitWsUrl(wsUrl, host, port, path))
            return false;
        {
            std::lock_guard<std::mutex> hold(m_infoLock);
            m_targetId = target.value("id", std::string());
            std::string frontend = target.value("devtoolsFrontendUrl", std::string());
            if (!frontend.empty())
                m_devToolsUrl = wide(frontend.compare(0, 1, "/") == 0 ? "http://127.0.0.1:8088" + frontend : frontend);
        }
        m_mainFrameId = m_targetId;
        try {
            beast::get_lowest_layer(m_ws).expires_after(std::chrono::seconds(10));
            beast::get_lowest_layer(m_ws).connect(
                tcp::endpoint(net::ip::make_address(host), static_cast<unsigned short>(std::stoi(port))));
            beast::get_lowest_layer(m_ws).socket().set_option(tcp::no_delay(true));
            m_ws.read_message_max(kMessageLimit);
            m_ws.handshake(host + ":" + port, path);
            beast::get_lowest_layer(m_ws).expires_never();
        } catch (const std::exception& e) {
            debugLine(std::string("WebSocket: ") + e.what());
            return false;
        }
        return !m_cancel;
    }

    void setUp()
    {
        command("Page.enable", json::object());
        command("Runtime.enable", json::object());
        command("Network.enable", json::object());
        command("Inspector.enable", json::object());
        command("Target.setDiscoverTargets", {{"discover", true}});
        command("Runtime.addBinding", {{"name", kPanelBindingName}});
        command("Page.addScriptToEvaluateOnNewDocument", {{"source", kPanelPageScript}});
        command("Browser.grantPermissions", {{"permissions", json::array({"geolocation"})}});
        setViewport(m_width, m_height);
        std::shared_ptr<Session> self = shared_from_this();
        // Created once the engine has taken the set-up.
        command("Runtime.evaluate", {{"expression", "1"}}, [self](const json&) {
            {
                std::lock_guard<std::recursive_mutex> hold(self->m_listenerLock);
                if (IBrowserEngineListener* l = self->m_listener)
                    l->OnEngineCreated();
            }
            self->navigate(self->m_startUrl);
        });
    }

    void writeNext()
    {
        std::shared_ptr<Session> self = shared_from_this();
        m_ws.text(true);
        m_ws.async_write(net::buffer(m_writes.front()), [self](beast::error_code ec, size_t) {
            if (ec)
                return self->lost(ec);
            if (self->m_writes.empty())
                return;
            self->m_writes.pop_front();
            if (!self->m_writes.empty())
                self->writeNext();
        });
    }

    void readNext()
    {
        std::shared_ptr<Session> self = shared_from_this();
        m_ws.async_read(m_readBuffer, [self](beast::error_code ec, size_t) {
            if (ec || self->m_draining)
                return self->lost(ec);
            std::string text = beast::buffers_to_string(self->m_readBuffer.data());
            self->m_readBuffer.consume(self->m_readBuffer.size());
            self->onMessage(text);
            self->readNext();
        });
    }

    void lost(beast::error_code ec)
    {
        if (m_draining)
            return;
        if (!m_closing && ec != websocket::error::closed)
            debugLine("connection lost: " + ec.message());
        m_open = false;
        m_guard.reset();
        m_io.stop();
    }

    void shutDown()
    {
        m_closing = true;
        if (!m_open) {
            m_guard.reset();
            m_io.stop();
            return;
        }
        // The page goes with its connection; the engine itself stays for
        // the next panel.
        json message = {{"id", m_nextId++}, {"method", "Page.close"}, {"params", json::object()}};
        m_writes.push_back(message.dump());
        if (m_writes.size() == 1)
            writeNext();
        // Bounded: an engine that does not answer does not hold the panel.
        m_closeTimer = std::make_shared<net::steady_timer>(m_io, std::chrono::seconds(3));
        std::shared_ptr<Session> self = shared_from_this();
        m_closeTimer->async_wait([self](beast::error_code ec) {
            if (ec || self->m_draining)
                return;
            self->m_guard.reset();
            self->m_io.stop();
        });
    }

    void onMessage(const std::string& text)
    {
        json message = json::parse(text, nullptr, false);
        if (!message.is_object())
            return;
        if (message.contains("id")) {
            auto it = m_replies.find(message.value("id", 0));
            if (it != m_replies.end()) {
                Reply reply = std::move(it->second);
                m_replies.erase(it);
                reply(message);
            }
            return;
        }
        // A close waits for the listener's reports in progress.
        std::lock_guard<std::recursive_mutex> hold(m_listenerLock);
        onEvent(message.value("method", std::string()), message.value("params", json::object()));
    }

    void onEvent(const std::string& method, const json& params)
    {
        IBrowserEngineListener* l = m_listener;
        if (method == "Page.screencastFrame") {
            command("Page.screencastFrameAck", {{"sessionId", params.value("sessionId", 0)}});
            if (l && !m_onErrorPage)
                frame(*l, params.value("data", std::string()));
            return;
        }
        if (!l || m_closing)
            return;
        if (method == "Page.frameStartedLoading" || method == "Page.frameStoppedLoading") {
            if (params.value("frameId", std::string()) != m_mainFrameId)
                return;
            bool loading = method == "Page.frameStartedLoading";
            if (loading != m_loading) {
                m_loading = loading;
                l->OnLoadingStateChanged(loading);
            }
            if (!loading)
                updateNavState();
        } else if (method == "Page.frameNavigated") {
            const json& frame = params.value("frame", json::object());
            if (frame.contains("parentId"))
                return;
            m_mainFrameId = frame.value("id", m_mainFrameId);
            std::string url = frame.value("url", std::string()) + frame.value("urlFragment", std::string());
            // The engine's own error page is not shown: the last picture stays.
            m_onErrorPage = url.compare(0, 13, "chrome-error:") == 0;
            if (!m_onErrorPage)
                l->OnAddressChanged(wide(url));
            updateNavState();
        } else if (method == "Page.navigatedWithinDocument") {
            if (params.value("frameId", std::string()) == m_mainFrameId)
                l->OnAddressChanged(wide(params.value("url", std::string())));
        } else if (method == "Runtime.bindingCalled") {
            if (params.value("name", std::string()) == kPanelBindingName)
                bindingCalled(*l, params.value("payload", std::string()));
        } else if (method == "Network.requestWillBeSent") {
            if (params.value("type", std::string()) == "Document" && params.value("frameId", std::string()) == m_mainFrameId)
                m_documentRequests[params.value("requestId", std::string())] =
                    params.value("request", json::object()).value("url", std::string());
        } else if (method == "Network.loadingFailed") {
            std::string id = params.value("requestId", std::string());
            auto it = m_documentRequests.find(id);
            if (it == m_documentRequests.end())
                return;
            std::string url = it->second;
            m_documentRequests.erase(it);
            if (m_reportedLoads.insert(id).second)
                loadError(params.value("errorText", std::string()), url);
        } else if (method == "Network.loadingFinished") {
            m_documentRequests.erase(params.value("requestId", std::string()));
        } else if (method == "Inspector.targetCrashed") {
            l->OnRendererGone();
        } else if (method == "Page.javascriptDialogOpening") {
            command("Page.handleJavaScriptDialog", {{"accept", true}});
        } else if (method == "Target.targetCreated" || method == "Target.targetInfoChanged") {
            popupSeen(*l, params.value("targetInfo", json::object()));
        } else if (method == "Target.targetDestroyed") {
            auto it = m_popups.find(params.value("targetId", std::string()));
            if (it == m_popups.end())
                return;
            Popup popup = it->second;
            m_popups.erase(it);
            if (!popup.reported)
                l->OnPopupOpened(wide(popup.url));
            l->OnPopupClosed(wide(popup.url));
        }
    }

    struct Popup {
        std::string url;
        bool reported = false;
    };

    void popupSeen(IBrowserEngineListener& l, const json& info)
    {
        if (info.value("type", std::string()) != "page" || info.value("openerId", std::string()) != m_targetId)
            return;
        std::string id = info.value("targetId", std::string());
        if (id == m_targetId)
            return;
        Popup& popup = m_popups[id];
        if (popup.reported)
            return;
        // Reported once it has its address (a new window starts blank).
        popup.url = info.value("url", std::string());
        if (!popup.url.empty() && popup.url != "about:blank") {
            popup.reported = true;
            l.OnPopupOpened(wide(popup.url));
        }
    }

    void loadError(const std::string& errorText, const std::string& url)
    {
        std::lock_guard<std::recursive_mutex> hold(m_listenerLock);
        IBrowserEngineListener* l = m_listener;
        if (!l)
            return;
        int code = PanelLoadErrorNumber(errorText, url);
        l->OnLoadError(code, wide(errorText), wide(url));
        // A failed load has ended, whether or not the engine goes on to an
        // error page of its own (an aborted one was replaced or stopped and
        // reports its own end).
        if (m_loading && code != kErrorAborted) {
            m_loading = false;
            l->OnLoadingStateChanged(false);
        }
    }

    void updateNavState()
    {
        std::shared_ptr<Session> self = shared_from_this();
        command("Page.getNavigationHistory", json::object(), [self](const json& answer) {
            const json& result = answer.value("result", json::object());
            int index = result.value("currentIndex", 0);
            int count = static_cast<int>(result.value("entries", json::array()).size());
            std::lock_guard<std::recursive_mutex> hold(self->m_listenerLock);
            if (IBrowserEngineListener* l = self->m_listener)
                l->OnNavStateChanged(index > 0, index + 1 < count);
        });
    }

    void bindingCalled(IBrowserEngineListener& l, const std::string& payload)
    {
        json message = json::parse(payload, nullptr, false);
        if (!message.is_object())
            return;
        if (message.contains("title") && message["title"].is_string()) {
            l.OnTitleChanged(wide(message["title"].get<std::string>()));
            return;
        }
        if (message.contains("name") && message["name"].is_string() && message.contains("args"))
            l.OnPageMessage(wide(message["name"].get<std::string>()), message["args"].dump());
    }

    void frame(IBrowserEngineListener& l, const std::string& base64)
    {
        std::string jpeg(beast::detail::base64::decoded_size(base64.size()), '\0');
        auto decoded = beast::detail::base64::decode(&jpeg[0], base64.data(), base64.size());
        jpeg.resize(decoded.first);
        int width = kLargestFrameSide, height = kLargestFrameSide, length = 0;
        m_bgr.resize(static_cast<size_t>(kLargestFrameSide) * kLargestFrameSide * 3);
        if (!DecodeJpegToBgr(reinterpret_cast<const uint8_t*>(jpeg.data()), static_cast<int>(jpeg.size()), m_bgr.data(),
                             width, height, length))
            return;
        EngineFrame picture;
        picture.width = width;
        picture.height = height;
        picture.bgra.resize(static_cast<size_t>(width) * height * 4);
        for (size_t i = 0, n = static_cast<size_t>(width) * height; i < n; ++i) {
            picture.bgra[i * 4 + 0] = m_bgr[i * 3 + 0];
            picture.bgra[i * 4 + 1] = m_bgr[i * 3 + 1];
            picture.bgra[i * 4 + 2] = m_bgr[i * 3 + 2];
            picture.bgra[i * 4 + 3] = 255;
        }
        l.OnFrame(picture);
    }

    net::io_context m_io;
    websocket::stream<beast::tcp_stream> m_ws;
    net::executor_work_guard<net::io_context::executor_type> m_guard;
    beast::flat_buffer m_readBuffer;
    std::deque<std::string> m_writes;
    std::map<int, Reply> m_replies;
    int m_nextId = 1;
    bool m_open = false;
    bool m_closing = false;
    bool m_draining = false;
    std::shared_ptr<net::steady_timer> m_closeTimer;
    std::atomic<bool> m_cancel{false};
    std::recursive_mutex m_listenerLock;
    IBrowserEngineListener* m_listener = nullptr;  // under m_listenerLock once the thread runs
    std::mutex m_doneLock;
    bool m_finished = true;  // no thread running
    std::vector<std::function<void()>> m_onClosed;

    int m_width = 0;
    int m_height = 0;
    std::string m_startUrl;
    std::string m_mainFrameId;
    bool m_loading = false;
    bool m_onErrorPage = false;
    std::set<std::string> m_reportedLoads;  // loads whose failure was told
    std::map<std::string, std::string> m_documentRequests;
    std::map<std::string, Popup> m_popups;
    std::vector<uint8_t> m_bgr;

    std::mutex m_infoLock;
    std::string m_targetId;
    std::wstring m_devToolsUrl;
};

DevToolsEngine::DevToolsEngine() : m_session(std::make_shared<Session>()) {}

DevToolsEngine::~DevToolsEngine()
{
    Close();
}

bool DevToolsEngine::Create(int width, int height, const std::wstring& url, IBrowserEngineListener* listener)
{
    return m_session->start(width, height, url, listener);
}

void DevToolsEngine::Load(const std::wstring& url)
{
    std::string target = utf8(url);
    m_session->post([target](Session& s) { s.navigate(target); });
}

void DevToolsEngine::EvaluateScript(const std::wstring& script)
{
    std::string expression = utf8(script);
    // As if the user acted: scripts of the panel may open windows.
    m_session->post([expression](Session& s) {
        s.command("Runtime.evaluate", {{"expression", expression}, {"userGesture", true}});
    });
}

void DevToolsEngine::Back() { m_session->post([](Session& s) { s.historyStep(-1); }); }
void DevToolsEngine::Forward() { m_session->post([](Session& s) { s.historyStep(1); }); }
void DevToolsEngine::Reload() { m_session->post([](Session& s) { s.command("Page.reload", json::object()); }); }
void DevToolsEngine::Stop() { m_session->post([](Session& s) { s.command("Page.stopLoading", json::object()); }); }

void DevToolsEngine::Resize(int width, int height)
{
    m_session->post([width, height](Session& s) { s.setViewport(width, height); });
}

void DevToolsEngine::SendMouse(const EngineMouseEvent& e)
{
    static const char* const kTypes[] = {"mouseMoved", "mousePressed", "mouseReleased", "mouseWheel"};
    static const char* const kButtons[] = {"left", "middle", "right"};
    json params = {{"type", kTypes[e.type]}, {"x", e.x}, {"y", e.y}};
    if (e.type == EngineMouseEvent::Press || e.type == EngineMouseEvent::Release) {
        params["button"] = kButtons[(e.button >= 0 && e.button <= 2) ? e.button : 0];
        params["clickCount"] = e.clickCount;
    } else {
        params["button"] = "none";
    }
    if (e.type == EngineMouseEvent::Wheel) {
        params["deltaX"] = 0;
        params["deltaY"] = -e.wheelDelta * 100 / 120;  // a notch scrolls 100 pixels
    }
    m_session->post([params](Session& s) { s.command("Input.dispatchMouseEvent", params); });
}

void DevToolsEngine::SendKey(const EngineKeyEvent& e)
{
    static const char* const kTypes[] = {"rawKeyDown", "keyUp", "char"};
    json params = {{"type", kTypes[e.type]}, {"windowsVirtualKeyCode", e.virtualKey}};
    if (e.type == EngineKeyEvent::Char)
        params["text"] = utf8(e.text);
    m_session->post([params](Session& s) { s.command("Input.dispatchKeyEvent", params); });
}

std::wstring DevToolsEngine::DevToolsUrl() { return m_session->devToolsUrl(); }

void DevToolsEngine::Close(std::function<void()> closed) { m_session->close(std::move(closed)); }

void DevToolsEngine::SendRaw(const std::string& method, const std::string& paramsJson,
                             std::function<void(const std::string&)> onReply)
{
    json params = json::parse(paramsJson, nullptr, false);
    if (params.is_discarded())
        params = json::object();
    m_session->post([method, params, onReply](Session& s) {
        s.command(method, params, [onReply](const json& answer) {
            if (onReply)
                onReply(answer.dump());
        });
    });
}

std::string DevToolsEngine::TargetId() { return m_session->targetId(); }
