// Blocking requests to the engine's DevTools endpoint on 127.0.0.1: the
// discovery documents over HTTP and one-shot protocol commands over a
// WebSocket. No Origin header is sent (the engine refuses foreign origins).
#pragma once

#include <cstdint>
#include <string>

namespace DevToolsHttp {

constexpr uint16_t kPort = 8088;

// method "GET" or "PUT"; target e.g. "/json/version". True with the body of
// a 200 answer.
bool request(const char* method, const std::string& target, std::string& body, int timeoutMs,
             uint16_t port = kPort);

// Sends one command over the WebSocket at wsUrl ("ws://127.0.0.1:8088/...")
// and waits for its answer or the connection's end. True when it was sent.
bool sendCommand(const std::string& wsUrl, const std::string& method, const std::string& paramsJson, int timeoutMs);

// Splits "ws://host:port/path" into host, port and path.
bool splitWsUrl(const std::string& url, std::string& host, std::string& port, std::string& path);

}  // namespace DevToolsHttp
