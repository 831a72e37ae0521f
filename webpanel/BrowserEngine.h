// The web engine as the panel sees it. One engine shows one page at a time;
// its listener hears about the page on the engine's own thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// A decoded picture of the page: top-down rows of 32-bit BGRA pixels.
struct EngineFrame {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> bgra;
};

struct EngineMouseEvent {
    enum Type { Move, Press, Release, Wheel };
    Type type = Move;
    int x = 0;
    int y = 0;
    int button = 0;      // 0 left, 1 middle, 2 right
    int clickCount = 1;
    int wheelDelta = 0;  // in 120ths of a notch, positive away from the user
};

struct EngineKeyEvent {
    enum Type { Down, Up, Char };
    Type type = Down;
    int virtualKey = 0;
    std::wstring text;   // the character of a Char event
};

// Texts cross threads here, so they are standard strings; a page message's
// arguments come as the JSON array the page sent.
class IBrowserEngineListener {
public:
    virtual ~IBrowserEngineListener() = default;
    virtual void OnEngineCreated() = 0;
    virtual void OnAddressChanged(const std::wstring& url) = 0;
    virtual void OnTitleChanged(const std::wstring& title) = 0;
    virtual void OnLoadingStateChanged(bool isLoading) = 0;
    virtual void OnNavStateChanged(bool canGoBack, bool canGoForward) = 0;
    // code: Chromium's net error number (-3 aborted, -302 unknown scheme, ...).
    virtual void OnLoadError(int code, const std::wstring& text, const std::wstring& failedUrl) = 0;
    virtual void OnPageMessage(const std::wstring& name, const std::string& jsonArgs) = 0;
    virtual void OnPopupOpened(const std::wstring& url) = 0;
    virtual void OnPopupClosed(const std::wstring& url) = 0;
    virtual void OnRendererGone() = 0;
    virtual void OnFrame(const EngineFrame& frame) = 0;
};

class IBrowserEngine {
public:
    virtual ~IBrowserEngine() = default;
    // Starts showing url at the size; the listener hears OnEngineCreated
    // when the page can be driven. False when the engine cannot start.
    virtual bool Create(int width, int height, const std::wstring& url, IBrowserEngineListener* listener) = 0;
    virtual void Load(const std::wstring& url) = 0;
    virtual void EvaluateScript(const std::wstring& script) = 0;
    virtual void Back() = 0;
    virtual void Forward() = 0;
    virtual void Reload() = 0;
    virtual void Stop() = 0;
    virtual void Resize(int width, int height) = 0;
    virtual void SendMouse(const EngineMouseEvent& event) = 0;
    virtual void SendKey(const EngineKeyEvent& event) = 0;
    // Where the engine's developer tools for the page open; empty when none.
    virtual std::wstring DevToolsUrl() = 0;
    // Starts closing the page and returns without waiting for it: the
    // listener hears nothing more once this returns, and closed (when given)
    // runs once the page is gone, on the engine's thread or, for an engine
    // with nothing left to close, at once.
    virtual void Close(std::function<void()> closed = std::function<void()>()) = 0;
};
