// The audio output chooser as the host drives it: the slots of the object
// that IVcamManger::GetSonvexMgr returns, in their fixed order, and the
// listener that receives the machine's sound renderers.
#pragma once

#include <string>
#include <vector>

// Called on the host's thread, from its message loop; "Default DirectSound
// Device" comes first when the machine has it.
class IAudioDeviceListener {
public:
    virtual void OnAudioDeviceList(const std::vector<std::string>& devices) = 0;
protected:
    ~IAudioDeviceListener() = default;
};

class ISonvexMgr {
public:
    virtual void Quit() = 0;
    virtual void SetListener(IAudioDeviceListener* listener) = 0;
    // A renderer's friendly name (ANSI); empty or "Default DirectSound Device"
    // keeps the default renderer. Graphs built afterwards use it.
    virtual void SetOutputDevice(const char* name) = 0;
    virtual std::string GetOutputDevice() = 0;
protected:
    ~ISonvexMgr() = default;
};

constexpr int kSonvexMgrSlots = 4;
constexpr int kAudioDeviceListenerSlots = 1;
