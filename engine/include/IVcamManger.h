// The engine's public interface, as the main-window library drives it:
// lumeo.dll exports getVcamManger ("_getVcamManger@0") and releaseVcamManger
// ("_releaseVcamManger@0"); the slot order below is fixed.
#pragma once

#include <windows.h>

#include <cstdint>
#include <set>
#include <string>

class CCaptureVideo;
class CMediaVideo;
class CDesktopVideo;
class CDecorationLayer;
class IRecorder;
class CMoodMusic;
class CLevelValue;
class CAccompanyMusic;
class CSonvexMgr;

class IVcamManger {
public:
    virtual bool StopAllVideo() = 0;
    virtual bool StopAllMusic() = 0;
    virtual CCaptureVideo* GetCaptureVideo() = 0;
    virtual CMediaVideo* GetMediaVideo() = 0;
    virtual CDesktopVideo* GetDesktopVideo() = 0;
    virtual CDecorationLayer* GetDecorationLayer() = 0;
    virtual IRecorder* GetRecorder() = 0;
    virtual void SetPreviewWnd(HWND window) = 0;
    virtual void Nop(uint32_t value) = 0;
    virtual CMoodMusic* GetMoodMusic() = 0;
    virtual CLevelValue* GetLevelValue() = 0;
    virtual CAccompanyMusic* GetAccompanyMusic() = 0;
    virtual CSonvexMgr* GetSonvexMgr() = 0;
    virtual void CopyPreviewFrame(uint8_t* destination) = 0;  // at least 360,000 bytes
    virtual void SetReservedValue(uint32_t value) = 0;
    virtual void GetTqSorva3rdExe(std::set<std::string>& programs) = 0;
    virtual int IsFlashAvailable() = 0;
    virtual bool StartBackgroundVideo() = 0;
    virtual bool StopBackgroundVideo() = 0;
    virtual int GetFilterModulePath(std::wstring& path) = 0;
protected:
    ~IVcamManger() = default;
};

constexpr int kPreviewWidth = 400;
constexpr int kPreviewHeight = 300;
constexpr int kPreviewBytes = kPreviewWidth * kPreviewHeight * 3;

typedef IVcamManger* (__stdcall* GetVcamMangerFn)();
typedef void (__stdcall* ReleaseVcamMangerFn)();
