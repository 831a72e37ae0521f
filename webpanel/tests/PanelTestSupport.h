// Shared by the panel's tests: the UI thread's queue, a fake engine's
// journal, captured debug lines and a drain of the posted work.
#pragma once

#include "FakeBrowserEngine.h"
#include "KqServices.h"
#include "PanelText.h"
#include "UiThreadQueue.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

inline std::vector<std::wstring>& capturedDebugLines()
{
    static std::vector<std::wstring> lines;
    return lines;
}

inline void captureDebugLine(const KqString& message) { capturedDebugLines().push_back(toWide(message)); }

inline size_t debugLinesContaining(const std::wstring& text)
{
    size_t n = 0;
    for (const std::wstring& line : capturedDebugLines())
        n += line.find(text) != std::wstring::npos;
    return n;
}

class PanelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        queue.reset(new UiThreadQueue());
        journal = std::make_shared<FakeBrowserEngine::Journal>();
        capturedDebugLines().clear();
        kqSetDebugCapture(&captureDebugLine);
    }
    void TearDown() override { kqSetDebugCapture(nullptr); }

    std::unique_ptr<IBrowserEngine> makeEngine() { return std::unique_ptr<IBrowserEngine>(new FakeBrowserEngine(journal)); }
    IBrowserEngineListener* engineListener()
    {
        std::lock_guard<std::mutex> hold(journal->lock);
        return journal->listener;
    }
    // Runs through the message loop everything posted before this call.
    void drain()
    {
        bool done = false;
        queue->post([&done]() { done = true; });
        ASSERT_TRUE(PumpMessagesUntil([&done]() { return done; }, 10000));
    }

    std::unique_ptr<UiThreadQueue> queue;
    std::shared_ptr<FakeBrowserEngine::Journal> journal;
};
