// The engine's one object: owns the sources, the compositor, the players,
// the recorder and the request watcher; keeps and paints the preview.
#pragma once

#include "CritSec.h"
#include "IVcamManger.h"
#include "MessageWindow.h"
#include "VcamParaWatcher.h"

#include <vector>

class CBackgroundVideo;
namespace tq { class CRecorder; }

constexpr UINT WM_VCAM_NEWPREVIEW = 35268;

class VcamManger : public IVcamManger, public IReopenSources, private tq::CMessageWindow {
public:
    static VcamManger* Instance();
    static void UnInstance();
    static VcamManger* Current();

    bool StopAllVideo() override;
    bool StopAllMusic() override;
    CCaptureVideo* GetCaptureVideo() override { return m_pCaptureVideo; }
    CMediaVideo* GetMediaVideo() override { return m_pMediaVideo; }
    CDesktopVideo* GetDesktopVideo() override { return m_pDesktopVideo; }
    CDecorationLayer* GetDecorationLayer() override { return m_pDecorationLayer; }
    IRecorder* GetRecorder() override;
    void SetPreviewWnd(HWND window) override;
    void Nop(uint32_t) override {}
    CMoodMusic* GetMoodMusic() override { return m_pMoodMusic; }
    CLevelValue* GetLevelValue() override { return m_pLevelValue; }
    CAccompanyMusic* GetAccompanyMusic() override { return m_pAccompanyMusic; }
    CSonvexMgr* GetSonvexMgr() override { return m_pSonvexMgr; }
    void CopyPreviewFrame(uint8_t* destination) override;
    void SetReservedValue(uint32_t value) override { m_reserved = value; }
    void GetTqSorva3rdExe(std::set<std::string>& programs) override;
    int IsFlashAvailable() override;
    bool StartBackgroundVideo() override;
    bool StopBackgroundVideo() override;
    int GetFilterModulePath(std::wstring& path) override;

    // Called by every frame source while it holds ShareMemoryMutex.
    void TakePreviewFrame(const uint8_t* frame, uint32_t timeMs);
    void PostNewPreview();
    void ReopenSources(int width, int height, int frameTime) override;
    HINSTANCE GetModuleInstance() const { return m_module; }
    void SetModuleInstance(HINSTANCE module) { m_module = module; }
    HWND ManagerWindow() const { return Hwnd(); }
    CBackgroundVideo* GetBackgroundVideo() { return m_pBackgroundVideo; }
    CVcamParaWatcher* GetParaWatcher() { return m_pParaWatcher; }
    bool HasMembers() const { return m_pCaptureVideo != nullptr; }

private:
    VcamManger();
    ~VcamManger();
    bool OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    void OnPreviewFrame();

    bool m_comInitialised = false;
    HWND m_previewWnd = nullptr;
    HINSTANCE m_module = nullptr;
    CCaptureVideo* m_pCaptureVideo = nullptr;
    CMediaVideo* m_pMediaVideo = nullptr;
    CDesktopVideo* m_pDesktopVideo = nullptr;
    CDecorationLayer* m_pDecorationLayer = nullptr;
    CBackgroundVideo* m_pBackgroundVideo = nullptr;
    CMoodMusic* m_pMoodMusic = nullptr;
    CLevelValue* m_pLevelValue = nullptr;
    CAccompanyMusic* m_pAccompanyMusic = nullptr;
    tq::CRecorder* m_pRecorder = nullptr;
    CVcamParaWatcher* m_pParaWatcher = nullptr;
    CSonvexMgr* m_pSonvexMgr = nullptr;
    std::vector<uint8_t> m_previewFrame;
    tq::CCritSec m_previewLock;
    uint32_t m_reserved = 0;
    int m_captureWidth = 480;
    int m_captureHeight = 360;
    int m_captureFrameMs = 100;
};

// Paints a 400 x 300 bottom-up RGB24 frame at the window's top-left corner.
void PaintPreview(HWND window, const uint8_t* frame);
// Splits a host list into programs; an empty list stands for this program.
void AddHostPrograms(const std::string& list, std::set<std::string>& programs);
// Starts "<system>\regsvr32.exe -s "<program folder>\Stable\TqVirtualCam.ax"" hidden.
bool RegisterCameraFilter();
std::wstring CameraFilterRegistrationCommand(const std::wstring& programPath, const std::wstring& systemFolder);
