// The desktop source: the public object the host drives on its UI thread.
// Its worker (CDesktopVideoOper) copies the screen, a window or the area
// under a window into the shared frame record at a fixed interval.
#pragma once

#include "CritSec.h"
#include "IDesktopVideo.h"
#include "MessageWindow.h"
#include "Worker.h"

#include <windows.h>

#include <atomic>
#include <cstdint>

class CDecorationLayer;
class VcamManger;
class CDesktopVideoOper;
struct DesktopCaptureRect;

// What the worker reads from the public object, taken in one go under its lock.
struct DesktopSettings {
    HWND window = nullptr;
    uint32_t secondValue = 0;
    uint32_t mode = 0;
    int interval = 66;
    int outWidth = 480;
    int outHeight = 360;
    DesktopCursorMark mark;
};

class CDesktopVideo : public IDesktopVideo {
public:
    CDesktopVideo();

    // The host's operations (IDesktopVideo), in this order.
    void Quit() override;
    void Stop(uint32_t unused) override;
    void Start(HWND window, uint32_t secondValue, uint32_t mode) override;
    void SetListener(IDesktopVideoListener* listener) override;
    uint32_t GetPlayedSeconds() override;
    bool IsRunning() override;
    DesktopCursorMark* GetCursorMark(DesktopCursorMark* out) override;
    void SetCursorMark(const DesktopCursorMark* mark) override;
    virtual ~CDesktopVideo();

    CDesktopVideo(const CDesktopVideo&) = delete;
    CDesktopVideo& operator=(const CDesktopVideo&) = delete;

    // The manager's wiring and settings.
    void SetDecorationLayer(CDecorationLayer* layer) { m_decorationLayer = layer; }
    void SetManager(VcamManger* manager) { m_manager = manager; }
    // 1 when the source is not running (nothing done), else 0.
    int ReopenDesktop(int width, int height, int frameTime);
    void SetFrameTime(int frameTime);
    void SetOutWidthAndHeight(int width, int height);

    // Used by the worker.
    DesktopSettings GetSettings();
    CDecorationLayer* GetDecorationLayer() const { return m_decorationLayer; }
    VcamManger* GetManager() const { return m_manager; }
    bool PostToPublic(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const { return m_window.Post(message, wParam, lParam); }
    // On the worker thread, while ShareMemoryMutex is held.
    void HandOverPreview(const uint8_t* preview, uint32_t timeMs);

    // Tests: the clock of the usage account (timeGetTime by default).
    using Clock = DWORD (*)();
    void SetClockForTesting(Clock clock) { m_clock = clock ? clock : &DefaultClock; }
    // Tests: the running state as a start leaves it, and how often the
    // manager reopened the running source.
    void SetRunningForTesting(bool running) { tq::CCritSecLock lock(m_lock); m_running = running; }
    int ReopenCountForTesting() const { return m_reopenCount; }
    DesktopCaptureRect LastRectForTesting();
    HWND PublicWindowForTesting() const { return m_window.Hwnd(); }

private:
    class Window : public tq::CMessageWindow {
    public:
        explicit Window(CDesktopVideo& owner) : m_owner(owner) {}
    protected:
        bool OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    private:
        CDesktopVideo& m_owner;
    };
    class Body : public tq::IWorkerBody {
    public:
        explicit Body(CDesktopVideo& owner) : m_owner(owner) {}
        HWND CreateOper() override;
        void DestroyOper() override;
    private:
        CDesktopVideo& m_owner;
    };

    static DWORD DefaultClock();
    void OnStopped();
    void StopUsageClock();

    tq::CCritSec m_lock;  // the public lock
    Window m_window{*this};
    Body m_body{*this};
    tq::CWorker m_worker;
    CDesktopVideoOper* m_oper = nullptr;

    std::atomic<VcamManger*> m_manager{nullptr};
    std::atomic<CDecorationLayer*> m_decorationLayer{nullptr};
    IDesktopVideoListener* m_listener = nullptr;
    Clock m_clock = &DefaultClock;

    bool m_running = false;
    HWND m_captureWindow = nullptr;
    uint32_t m_secondValue = 0;
    uint32_t m_mode = 0;
    int m_interval = 66;
    int m_outWidth = 480;
    int m_outHeight = 360;
    DWORD m_usageStart = 0;
    DWORD m_usageMs = 0;
    DesktopCursorMark m_mark;
    std::atomic<int> m_reopenCount{0};
};
