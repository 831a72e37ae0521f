#include "LoopbackHttpServer.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>

namespace {

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(tolower(c)); });
    return text;
}

std::string trim(const std::string& text)
{
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::string();
    size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

} // namespace

std::string LoopbackRequest::header(const std::string& name) const
{
    std::string wanted = lower(name);
    for (const auto& h : headers)
        if (lower(h.first) == wanted)
            return h.second;
    return std::string();
}

bool LoopbackRequest::hasHeader(const std::string& name) const
{
    std::string wanted = lower(name);
    for (const auto& h : headers)
        if (lower(h.first) == wanted)
            return true;
    return false;
}

LoopbackResponse LoopbackResponse::ok(std::string body)
{
    LoopbackResponse r;
    r.body = std::move(body);
    return r;
}

LoopbackResponse LoopbackResponse::generated(uint64_t bytes)
{
    LoopbackResponse r;
    r.generatedBodyBytes = bytes;
    return r;
}

LoopbackResponse LoopbackResponse::statusOnly(int status, std::string reason)
{
    LoopbackResponse r;
    r.status = status;
    r.reason = std::move(reason);
    r.body = r.reason;
    return r;
}

LoopbackResponse LoopbackResponse::redirect(const std::string& location)
{
    LoopbackResponse r;
    r.status = 302;
    r.reason = "Found";
    r.headers.push_back({"Location", location});
    return r;
}

LoopbackHttpServer::~LoopbackHttpServer()
{
    stop();
}

bool LoopbackHttpServer::start(Script script)
{
    WSADATA data = {};
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
        return false;
    m_wsaStarted = true;
    m_script = std::move(script);
    m_listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (m_listener == INVALID_SOCKET)
        return false;
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || listen(m_listener, SOMAXCONN) != 0)
        return false;
    int length = sizeof address;
    if (getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return false;
    m_port = ntohs(address.sin_port);
    m_stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    m_acceptThread = std::thread([this] { acceptLoop(); });
    return true;
}

void LoopbackHttpServer::stop()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_stopping)
            return;
        m_stopping = true;
        for (SOCKET client : m_clients)
            shutdown(client, SD_BOTH);
    }
    if (m_stopEvent)
        SetEvent(m_stopEvent);
    if (m_listener != INVALID_SOCKET)
        closesocket(m_listener);
    if (m_acceptThread.joinable())
        m_acceptThread.join();
    std::vector<std::thread> threads;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        threads.swap(m_threads);
    }
    for (auto& t : threads)
        t.join();
    m_listener = INVALID_SOCKET;
    if (m_stopEvent)
        CloseHandle(m_stopEvent);
    m_stopEvent = nullptr;
    if (m_wsaStarted)
        WSACleanup();
    m_wsaStarted = false;
}

std::wstring LoopbackHttpServer::url(const std::string& path) const
{
    std::wstring text = L"http://127.0.0.1:" + std::to_wstring(m_port);
    return text + std::wstring(path.begin(), path.end());
}

bool LoopbackHttpServer::waitForRequests(size_t count, DWORD timeoutMs)
{
    std::unique_lock<std::mutex> guard(m_lock);
    return m_seen.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                           [&] { return m_requests.size() >= count; });
}

std::vector<LoopbackRequest> LoopbackHttpServer::requests() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_requests;
}

size_t LoopbackHttpServer::requestCount() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_requests.size();
}

size_t LoopbackHttpServer::connectionCount() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_connections;
}

void LoopbackHttpServer::acceptLoop()
{
    for (;;) {
        SOCKET client = accept(m_listener, nullptr, nullptr);
        if (client == INVALID_SOCKET)
            return;  // the listener was closed by stop()
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_stopping) {
            closesocket(client);
            return;
        }
        ++m_connections;
        m_clients.push_back(client);
        m_threads.emplace_back([this, client] { serve(client); });
    }
}

bool LoopbackHttpServer::pause(DWORD ms)
{
    // True while the server keeps running.
    return WaitForSingleObject(m_stopEvent, ms) == WAIT_TIMEOUT;
}

void LoopbackHttpServer::serve(SOCKET client)
{
    LoopbackRequest request;
    if (readRequest(client, request)) {
        size_t index = 0;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            index = m_requests.size();
            m_requests.push_back(request);
        }
        m_seen.notify_all();
        LoopbackResponse response = m_script ? m_script(request, index) : LoopbackResponse::ok("");
        if (response.silent)
            WaitForSingleObject(m_stopEvent, INFINITE);
        else
            answer(client, response);
    }
    shutdown(client, SD_SEND);
    // Let the peer read what was sent before the socket goes.
    char drain[256];
    DWORD timeout = 2000;
    setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    while (recv(client, drain, sizeof drain, 0) > 0) {
    }
    std::lock_guard<std::mutex> guard(m_lock);
    m_clients.erase(std::remove(m_clients.begin(), m_clients.end(), client), m_clients.end());
    closesocket(client);
}

bool LoopbackHttpServer::readRequest(SOCKET client, LoopbackRequest& request)
{
    std::string data;
    size_t headEnd = std::string::npos;
    char buffer[4096];
    while ((headEnd = data.find("\r\n\r\n")) == std::string::npos) {
        int got = recv(client, buffer, sizeof buffer, 0);
        if (got <= 0 || data.size() > (1u << 20))
            return false;
        data.append(buffer, static_cast<size_t>(got));
    }
    std::string head = data.substr(0, headEnd);
    std::string body = data.substr(headEnd + 4);

    size_t lineEnd = head.find("\r\n");
    std::string requestLine = head.substr(0, lineEnd);
    size_t s1 = requestLine.find(' ');
    size_t s2 = requestLine.rfind(' ');
    if (s1 == std::string::npos || s2 == s1)
        return false;
    request.method = requestLine.substr(0, s1);
    request.target = requestLine.substr(s1 + 1, s2 - s1 - 1);
    request.version = requestLine.substr(s2 + 1);
    size_t pos = lineEnd == std::string::npos ? head.size() : lineEnd + 2;
    while (pos < head.size()) {
        size_t end = head.find("\r\n", pos);
        std::string line = head.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        size_t colon = line.find(':');
        if (colon != std::string::npos)
            request.headers.push_back({trim(line.substr(0, colon)), trim(line.substr(colon + 1))});
        if (end == std::string::npos)
            break;
        pos = end + 2;
    }
    size_t length = static_cast<size_t>(strtoull(request.header("Content-Length").c_str(), nullptr, 10));
    while (body.size() < length) {
        int got = recv(client, buffer, sizeof buffer, 0);
        if (got <= 0)
            break;  // recorded as far as it came
        body.append(buffer, static_cast<size_t>(got));
    }
    request.body = body;
    return true;
}

bool LoopbackHttpServer::sendAll(SOCKET client, const char* data, size_t size)
{
    while (size > 0) {
        int chunk = size > (1u << 20) ? (1 << 20) : static_cast<int>(size);
        int sent = send(client, data, chunk, 0);
        if (sent <= 0)
            return false;
        data += sent;
        size -= static_cast<size_t>(sent);
    }
    return true;
}

void LoopbackHttpServer::answer(SOCKET client, const LoopbackResponse& response)
{
    const uint64_t bodyBytes = response.generatedBodyBytes ? response.generatedBodyBytes : response.body.size();
    std::string head = response.rawHead;
    if (head.empty()) {
        head = "HTTP/1.1 " + std::to_string(response.status) + " " + response.reason + "\r\n";
        for (const auto& h : response.headers)
            head += h.first + ": " + h.second + "\r\n";
        if (response.sendContentLength) {
            uint64_t announced = response.announcedLength >= 0 ? static_cast<uint64_t>(response.announcedLength)
                                                               : bodyBytes;
            head += "Content-Length: " + std::to_string(announced) + "\r\n";
        }
        head += "Connection: close\r\n\r\n";
    }
    if (!sendAll(client, head.data(), head.size()))
        return;

    uint64_t limit = bodyBytes;
    if (response.closeAfterBodyBytes >= 0 && static_cast<uint64_t>(response.closeAfterBodyBytes) < limit)
        limit = static_cast<uint64_t>(response.closeAfterBodyBytes);
    const size_t piece = response.piece ? response.piece : 65536;
    std::vector<char> buffer(piece);
    uint64_t sent = 0;
    while (sent < limit) {
        size_t n = static_cast<size_t>(std::min<uint64_t>(piece, limit - sent));
        for (size_t i = 0; i < n; ++i)
            buffer[i] = response.generatedBodyBytes ? static_cast<char>(patternByte(sent + i))
                                                    : response.body[static_cast<size_t>(sent + i)];
        if (!sendAll(client, buffer.data(), n))
            return;
        sent += n;
        if (response.pauseMs && sent < limit && !pause(response.pauseMs))
            return;
    }
}
