// The engine over the DevTools protocol: one page target of a Chromium-based
// browser on 127.0.0.1:8088, driven over a WebSocket by a thread of its own,
// which is also the thread the listener hears on.
#pragma once

#include "BrowserEngine.h"

#include <atomic>
#include <functional>
#include <string>
#include <memory>

class DevToolsEngine : public IBrowserEngine {
public:
    DevToolsEngine();
    ~DevToolsEngine() override;

    bool Create(int width, int height, const std::wstring& url, IBrowserEngineListener* listener) override;
    void Load(const std::wstring& url) override;
    void EvaluateScript(const std::wstring& script) override;
    void Back() override;
    void Forward() override;
    void Reload() override;
    void Stop() override;
    void Resize(int width, int height) override;
    void SendMouse(const EngineMouseEvent& event) override;
    void SendKey(const EngineKeyEvent& event) override;
    std::wstring DevToolsUrl() override;
    void Close(std::function<void()> closed = std::function<void()>()) override;

    // Sends any protocol command (tests and the benchmark); onReply gets
    // the answer's JSON text on the engine's thread.
    void SendRaw(const std::string& method, const std::string& paramsJson,
                 std::function<void(const std::string& answerJson)> onReply);
    // The page target's id; empty before the engine is created.
    std::string TargetId();

    class Session;

private:
    std::shared_ptr<Session> m_session;
};
