// The camera source as the host drives it: the slots of the object that
// IVcamManger::GetCaptureVideo returns, in their fixed order, and the two
// callbacks the host hands to it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

class CCaptureVideo;

// Receiver of a copy of the source's 400 x 300 RGB24 preview.
class ISnapshotSink {
public:
    virtual void OnSnapshot(const uint8_t* bytes, uint32_t length) = 0;
protected:
    ~ISnapshotSink() = default;
};

// Called on the host's thread, from its message loop.
class ICaptureVideoListener {
public:
    virtual void OnDeviceListChanged() = 0;
    virtual void OnOpenFailed() = 0;
    virtual void OnDeviceChange(uint32_t kind) = 0;  // 1 a device arrived, 2 one was removed
protected:
    ~ICaptureVideoListener() = default;
};

class ICaptureVideo {
public:
    virtual void Quit() = 0;
    virtual int Init(const char* cameraName, HWND ownerWindow) = 0;
    virtual int EnumDevices() = 0;
    virtual void GetDeviceLists(std::vector<std::string>& pnpDevices, std::vector<std::string>& otherDevices) = 0;
    virtual bool DeviceHasAudio(const char* name) = 0;
    virtual int StopCaptureVideo(uint32_t unused) = 0;
    virtual void Pause() = 0;
    virtual void Continue() = 0;
    virtual void Snapshot(bool take) = 0;
    virtual void SetSnapshotSink(ISnapshotSink* sink) = 0;
    virtual void ShowPropertyPage() = 0;
    virtual void SetListener(ICaptureVideoListener* listener) = 0;
    virtual uint32_t GetPlayedSeconds() = 0;
    virtual void SetOpenAudio(bool open) = 0;
    virtual bool IsRunning() = 0;
protected:
    ~ICaptureVideo() = default;
};

// The engine's camera object starts with these slots (ICaptureVideo is its
// only base), so the host sees it through the interface without its class.
inline ICaptureVideo* AsCaptureVideo(CCaptureVideo* camera)
{
    return reinterpret_cast<ICaptureVideo*>(camera);
}
