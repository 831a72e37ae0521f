// The desktop source as the host drives it: the slots of the object that
// IVcamManger::GetDesktopVideo returns, in their fixed order, its listener
// and the cursor mark record.
#pragma once

#include <windows.h>

#include <cstdint>

class CDesktopVideo;

// The halo drawn around the mouse cursor.
struct DesktopCursorMark {
    int32_t enabled = 0;
    int32_t sizeCode = 1;          // radius 20, 40 or 60 for 0, 1, 2; others 20
    uint32_t colour = 0xFF0000;    // COLORREF (0x00BBGGRR): blue
};
static_assert(sizeof(DesktopCursorMark) == 12, "three 32-bit values, as the host lays them out");

// Radius in pixels of the halo for a size code.
inline int CursorMarkRadius(int32_t sizeCode)
{
    return sizeCode == 1 ? 40 : sizeCode == 2 ? 60 : 20;
}

// Called on the host's thread, from its message loop.
class IDesktopVideoListener {
public:
    virtual void OnDesktopStopped() = 0;
protected:
    ~IDesktopVideoListener() = default;
};

class IDesktopVideo {
public:
    virtual void Quit() = 0;
    virtual void Stop(uint32_t unused) = 0;
    // mode 1 the whole screen, 2 one window, 3 the screen area under a window.
    virtual void Start(HWND window, uint32_t secondValue, uint32_t mode) = 0;
    virtual void SetListener(IDesktopVideoListener* listener) = 0;
    virtual uint32_t GetPlayedSeconds() = 0;
    virtual bool IsRunning() = 0;
    virtual DesktopCursorMark* GetCursorMark(DesktopCursorMark* out) = 0;
    virtual void SetCursorMark(const DesktopCursorMark* mark) = 0;
protected:
    ~IDesktopVideo() = default;
};

constexpr int kDesktopVideoSlots = 8;

inline IDesktopVideo* AsDesktopVideo(CDesktopVideo* desktop)
{
    return reinterpret_cast<IDesktopVideo*>(desktop);
}
