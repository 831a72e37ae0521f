// A scripted HTTP server inside the test program: Winsock on 127.0.0.1 with
// a port the system picks. Each request is recorded, then answered from the
// test's script: status, headers, body, pacing, a short or cut body, a
// redirect or silence. Tests wait on the "request seen" condition, never on
// time.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

struct LoopbackRequest {
    std::string method;
    std::string target;   // path and query as sent
    std::string version;  // "HTTP/1.0" or "HTTP/1.1"
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    // Value of the first header of that name (any letter case); "" if none.
    std::string header(const std::string& name) const;
    bool hasHeader(const std::string& name) const;
};

struct LoopbackResponse {
    int status = 200;
    std::string reason = "OK";
    std::vector<std::pair<std::string, std::string>> headers;  // besides Content-Length and Connection
    std::string body;
    // When non-zero: a generated body of this many bytes (patternByte) in
    // place of body, produced while sending, so it costs no memory.
    uint64_t generatedBodyBytes = 0;
    bool sendContentLength = true;
    int64_t announcedLength = -1;       // Content-Length to announce; -1: the real length
    size_t piece = 0;                   // bytes per send; 0: everything at once
    DWORD pauseMs = 0;                  // pause between pieces
    int64_t closeAfterBodyBytes = -1;   // close the connection after this much body
    bool silent = false;                // never answer; the connection stays open until stop()
    std::string rawHead;                // sent verbatim in place of the built status line and headers

    static LoopbackResponse ok(std::string body);
    static LoopbackResponse generated(uint64_t bytes);
    static LoopbackResponse statusOnly(int status, std::string reason);
    static LoopbackResponse redirect(const std::string& location);
};

class LoopbackHttpServer {
public:
    // Gets each request and its 0-based number; runs on the connection's thread.
    using Script = std::function<LoopbackResponse(const LoopbackRequest&, size_t index)>;

    LoopbackHttpServer() = default;
    ~LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    bool start(Script script);
    // Closes every connection (silent ones too) and joins the threads.
    void stop();

    uint16_t port() const { return m_port; }
    // "http://127.0.0.1:<port>" + path.
    std::wstring url(const std::string& path) const;

    // Waits until count requests have been seen, or the time-out passes.
    bool waitForRequests(size_t count, DWORD timeoutMs);
    std::vector<LoopbackRequest> requests() const;
    size_t requestCount() const;
    // Connections accepted so far.
    size_t connectionCount() const;

    // Byte i of every generated body.
    static uint8_t patternByte(uint64_t i) { return static_cast<uint8_t>((i * 31u) ^ (i >> 9)); }

private:
    void acceptLoop();
    void serve(SOCKET client);
    bool readRequest(SOCKET client, LoopbackRequest& request);
    void answer(SOCKET client, const LoopbackResponse& response);
    bool sendAll(SOCKET client, const char* data, size_t size);
    bool pause(DWORD ms);

    Script m_script;
    SOCKET m_listener = INVALID_SOCKET;
    uint16_t m_port = 0;
    HANDLE m_stopEvent = nullptr;
    std::thread m_acceptThread;

    mutable std::mutex m_lock;
    std::condition_variable m_seen;
    std::vector<LoopbackRequest> m_requests;
    std::vector<SOCKET> m_clients;
    std::vector<std::thread> m_threads;
    size_t m_connections = 0;
    bool m_stopping = false;
    bool m_wsaStarted = false;
};
