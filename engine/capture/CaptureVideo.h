// The camera source: the public object that the host drives on its UI thread.
// Every command is posted to the worker (CCaptureVideoOper), which owns the
// capture graph and writes the camera's frames into the shared frame record.
#pragma once

#include "CritSec.h"
#include "ICaptureVideo.h"
#include "MessageWindow.h"
#include "Worker.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

class CDecorationLayer;
class VcamManger;
class CCaptureVideoOper;

struct CCaptureDeviceInfo {
    bool hasAudio = false;
    std::string displayName;   // moniker display name, ANSI, lower case
    std::string friendlyName;  // ANSI
};
using CaptureDeviceMap = std::map<std::string, CCaptureDeviceInfo>;

// What the worker reads from the public object, taken in one go under its lock.
struct CaptureSettings {
    HWND ownerWindow = nullptr;
    std::string cameraName;
    int captureWidth = 640;
    int captureHeight = 480;
    int framesPerSecond = 10;
    int outWidth = 480;
    int outHeight = 360;
    bool openAudio = false;
};

class CCaptureVideo : public ICaptureVideo {
public:
    CCaptureVideo();

    // The host's operations (ICaptureVideo), in this order.
    void Quit() override;
    int Init(const char* cameraName, HWND ownerWindow) override;
    int EnumDevices() override;
    void GetDeviceLists(std::vector<std::string>& pnpDevices, std::vector<std::string>& otherDevices) override;
    bool DeviceHasAudio(const char* name) override;
    int StopCaptureVideo(uint32_t unused) override;
    void Pause() override;
    void Continue() override;
    void Snapshot(bool take) override;
    void SetSnapshotSink(ISnapshotSink* sink) override;
    void ShowPropertyPage() override;
    void SetListener(ICaptureVideoListener* listener) override;
    uint32_t GetPlayedSeconds() override;
    void SetOpenAudio(bool open) override;
    bool IsRunning() override;
    virtual ~CCaptureVideo();

    CCaptureVideo(const CCaptureVideo&) = delete;
    CCaptureVideo& operator=(const CCaptureVideo&) = delete;

    // The manager's wiring and settings.
    void SetDecorationLayer(CDecorationLayer* layer) { m_decorationLayer = layer; }
    void SetManager(VcamManger* manager) { m_manager = manager; }
    void ReopenCapture(int width, int height, int frameTime);
    void SetFrameTime(int frameTime);
    void SetOutWidthAndHeight(int width, int height);

    // Used by the worker.
    CaptureSettings GetSettings();
    CDecorationLayer* GetDecorationLayer() const { return m_decorationLayer; }
    VcamManger* GetManager() const { return m_manager; }
    void SetDeviceLists(const std::vector<std::string>& pnpDevices, const std::vector<std::string>& otherDevices);
    void SetDeviceMap(const CaptureDeviceMap& devices);
    void SetOpenResult(const std::string& name, int result);
    // On the frame timer's thread, while ShareMemoryMutex is held.
    void HandOverPreview(const uint8_t* preview, uint32_t timeMs);
    bool PostToPublic(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const { return m_window.Post(message, wParam, lParam); }
    // The worker's window: device notifications of the system arrive there.
    HWND WorkerWindow() const { return m_worker.OperWindow(); }

    // The capture size for a requested output size (480x360 and 400x300 are captured at 640x480).
    static void CaptureSizeFor(int outWidth, int outHeight, int& captureWidth, int& captureHeight);

private:
    class Window : public tq::CMessageWindow {
    public:
        explicit Window(CCaptureVideo& owner) : m_owner(owner) {}
    protected:
        bool OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    private:
        CCaptureVideo& m_owner;
    };
    class Body : public tq::IWorkerBody {
    public:
        explicit Body(CCaptureVideo& owner) : m_owner(owner) {}
        HWND CreateOper() override;
        void DestroyOper() override;
    private:
        CCaptureVideo& m_owner;
    };

    void OnOpenResult();
    void OnDeviceChange(WPARAM eventCode);
    void StopUsageClock();

    tq::CCritSec m_lock;  // the public lock; never taken while the worker's lock is held
    Window m_window{*this};
    Body m_body{*this};
    tq::CWorker m_worker;
    CCaptureVideoOper* m_oper = nullptr;

    bool m_running = false;
    HWND m_ownerWindow = nullptr;
    std::atomic<VcamManger*> m_manager{nullptr};
    std::atomic<CDecorationLayer*> m_decorationLayer{nullptr};
    int m_captureWidth = 640;
    int m_captureHeight = 480;
    int m_framesPerSecond = 10;
    int m_outWidth = 480;
    int m_outHeight = 360;
    DWORD m_usageStart = 0;
    DWORD m_usageMs = 0;
    bool m_openAudio = false;
    std::string m_cameraName;
    ISnapshotSink* m_snapshotSink = nullptr;
    ICaptureVideoListener* m_listener = nullptr;
    uint32_t m_lastDeviceChange = 0;
    std::vector<std::string> m_pnpDevices;
    std::vector<std::string> m_otherDevices;
    CaptureDeviceMap m_devices;
    std::map<std::string, int> m_openResults;
};
