// A scripted engine for the panel's tests: records every call the panel
// makes and lets the test play the engine's side through the listener.
#pragma once

#include "BrowserEngine.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class FakeBrowserEngine : public IBrowserEngine {
public:
    struct Journal {
        std::mutex lock;
        std::vector<std::wstring> calls;  // "Create 733x568 url", "Load url", "Eval script", ...
        IBrowserEngineListener* listener = nullptr;
        std::wstring devToolsUrl;
        bool createResult = true;
        // While set, the page's close does not end until releaseCloses().
        bool holdClose = false;
        std::vector<std::function<void()>> heldCloses;

        void releaseCloses()
        {
            std::vector<std::function<void()>> closes;
            {
                std::lock_guard<std::mutex> hold(lock);
                closes.swap(heldCloses);
                holdClose = false;
            }
            for (auto& closed : closes)
                if (closed)
                    closed();
        }

        std::vector<std::wstring> snapshot()
        {
            std::lock_guard<std::mutex> hold(lock);
            return calls;
        }
        bool has(const std::wstring& call)
        {
            std::lock_guard<std::mutex> hold(lock);
            for (const std::wstring& c : calls)
                if (c == call)
                    return true;
            return false;
        }
        size_t count(const std::wstring& prefix)
        {
            std::lock_guard<std::mutex> hold(lock);
            size_t n = 0;
            for (const std::wstring& c : calls)
                n += c.compare(0, prefix.size(), prefix) == 0;
            return n;
        }
    };

    explicit FakeBrowserEngine(std::shared_ptr<Journal> journal) : m_journal(std::move(journal)) {}
    ~FakeBrowserEngine() override { record(L"Destroyed"); }

    bool Create(int width, int height, const std::wstring& url, IBrowserEngineListener* listener) override
    {
        {
            std::lock_guard<std::mutex> hold(m_journal->lock);
            m_journal->listener = listener;
        }
        record(L"Create " + std::to_wstring(width) + L"x" + std::to_wstring(height) + L" " + url);
        return m_journal->createResult;
    }
    void Load(const std::wstring& url) override { record(L"Load " + url); }
    void EvaluateScript(const std::wstring& script) override { record(L"Eval " + script); }
    void Back() override { record(L"Back"); }
    void Forward() override { record(L"Forward"); }
    void Reload() override { record(L"Reload"); }
    void Stop() override { record(L"Stop"); }
    void Resize(int width, int height) override
    {
        record(L"Resize " + std::to_wstring(width) + L"x" + std::to_wstring(height));
    }
    void SendMouse(const EngineMouseEvent& e) override
    {
        record(L"Mouse " + std::to_wstring(e.type) + L" " + std::to_wstring(e.x) + L"," + std::to_wstring(e.y));
    }
    void SendKey(const EngineKeyEvent& e) override { record(L"Key " + std::to_wstring(e.virtualKey)); }
    std::wstring DevToolsUrl() override
    {
        std::lock_guard<std::mutex> hold(m_journal->lock);
        return m_journal->devToolsUrl;
    }
    void Close(std::function<void()> closed) override
    {
        record(L"Close");
        {
            std::lock_guard<std::mutex> hold(m_journal->lock);
            if (m_journal->holdClose) {
                m_journal->heldCloses.push_back(std::move(closed));
                return;
            }
        }
        if (closed)
            closed();
    }

private:
    void record(const std::wstring& call)
    {
        std::lock_guard<std::mutex> hold(m_journal->lock);
        m_journal->calls.push_back(call);
    }
    std::shared_ptr<Journal> m_journal;
};
