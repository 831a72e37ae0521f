#include "VcamManger.h"
#include "AccompanyMusic.h"
#include "BackgroundVideo.h"
#include "CaptureVideo.h"
#include "DecorationLayer.h"
#include "DesktopVideo.h"
#include "ManagerLog.h"
#include "FlashPlayerHost.h"
#include "LevelValue.h"
#include "MediaVideo.h"
#include "MoodMusic.h"
#include "Recorder.h"
#include "ShareHandle.h"
#include "SonvexMgr.h"

#include <shlobj.h>

#include <cstring>

namespace {

// Guards creation and release of the singleton; lives as long as the library.
struct ManagerMutexHolder {
    HANDLE handle = CreateMutexW(nullptr, FALSE, nullptr);
    ~ManagerMutexHolder() { if (handle) CloseHandle(handle); }
};
ManagerMutexHolder g_managerMutex;
VcamManger* volatile g_manager = nullptr;

} // namespace

VcamManger* VcamManger::Instance()
{
    if (g_manager)
        return g_manager;
    tq::CMutexLock lock(g_managerMutex.handle);
    if (!g_manager) {
        StartLogger();
        tq::SetShortMappingReporter([](const char* text) { WriteLog(3, "%s", text); });
        g_manager = new VcamManger;
        WriteLog(1, "VcamManger Instance");
    }
    return g_manager;
}

void VcamManger::UnInstance()
{
    if (!g_manager)
        return;
    tq::CMutexLock lock(g_managerMutex.handle);
    if (g_manager) {
        WriteLog(1, "VcamManger UnInstance");
        delete g_manager;
        g_manager = nullptr;
        StopLogger();
    }
}

VcamManger* VcamManger::Current()
{
    return g_manager;
}

VcamManger::VcamManger()
{
    // An MTA host answers RPC_E_CHANGED_MODE: COM works there too, so the
    // members are still built; only our own initialisation is undone later.
    const HRESULT hr = CoInitialize(nullptr);
    m_comInitialised = SUCCEEDED(hr);
    if (!m_comInitialised && hr != RPC_E_CHANGED_MODE) {
        WriteLog(3, "VcamManger: CoInitialize failed, hr = %08x", unsigned(hr));
        return;
    }
    tq::GetProcessMutex();
    tq::GetUserShareMemory();
    CreateMessageWindow(tq::CMessageWindow::MessageOnly);
    m_previewFrame.assign(kPreviewBytes, 0);

    m_pCaptureVideo = new CCaptureVideo;
    m_pMediaVideo = new CMediaVideo;
    m_pDesktopVideo = new CDesktopVideo;
    m_pDecorationLayer = new CDecorationLayer;
    m_pBackgroundVideo = new CBackgroundVideo;
    m_pMoodMusic = new CMoodMusic;
    m_pLevelValue = new CLevelValue;
    m_pAccompanyMusic = new CAccompanyMusic;
    m_pRecorder = new tq::CRecorder;
    m_pParaWatcher = new CVcamParaWatcher(this);
    m_pSonvexMgr = new CSonvexMgr;

    m_pCaptureVideo->SetDecorationLayer(m_pDecorationLayer);
    m_pMediaVideo->SetDecorationLayer(m_pDecorationLayer);
    m_pDesktopVideo->SetDecorationLayer(m_pDecorationLayer);
    m_pCaptureVideo->SetManager(this);
    m_pMediaVideo->SetManager(this);
    m_pDesktopVideo->SetManager(this);
    m_pBackgroundVideo->SetManager(this);

    RegisterCameraFilter();
    WriteLog(1, "VcamManger construction");
}

VcamManger::~VcamManger()
{
    delete m_pCaptureVideo;
    delete m_pMediaVideo;
    delete m_pDesktopVideo;
    delete m_pDecorationLayer;
    delete m_pBackgroundVideo;
    delete m_pParaWatcher;  // its destructor kills the poll timer
    delete m_pMoodMusic;
    delete m_pLevelValue;
    delete m_pAccompanyMusic;
    delete m_pRecorder;
    delete m_pSonvexMgr;
    {
        tq::CCritSecLock lock(m_previewLock);
        m_previewFrame.clear();
        m_previewFrame.shrink_to_fit();
    }
    if (m_comInitialised)
        CoUninitialize();
    DestroyMessageWindow();
    WriteLog(1, "VcamManger destructor");
}

bool VcamManger::StopAllVideo()
{
    if (!HasMembers())
        return true;
    m_pCaptureVideo->StopCaptureVideo(0);
    m_pMediaVideo->StopMediaVideo();
    m_pDesktopVideo->Stop(0);
    m_pDecorationLayer->ClearLayers();
    m_pBackgroundVideo->StopBackgroundVideo();
    return true;
}

bool VcamManger::StopAllMusic()
{
    if (!HasMembers())
        return false;
    m_pMoodMusic->StopMoodMusic();
    return m_pAccompanyMusic->StopAccompanyMusic() == 0;
}

void VcamManger::SetPreviewWnd(HWND window)
{
    m_previewWnd = window;
    if (!HasMembers())
        return;
    m_pBackgroundVideo->StartBackgroundVideo();
    m_pDecorationLayer->SetFlashHostWindow(window);
}

void VcamManger::CopyPreviewFrame(uint8_t* destination)
{
    tq::CCritSecLock lock(m_previewLock);
    if (destination && m_previewFrame.size() == size_t(kPreviewBytes))
        memcpy(destination, m_previewFrame.data(), kPreviewBytes);
}

IRecorder* VcamManger::GetRecorder()
{
    return m_pRecorder;
}

void VcamManger::TakePreviewFrame(const uint8_t* frame, uint32_t timeMs)
{
    tq::CCritSecLock lock(m_previewLock);
    if (!frame || m_previewFrame.size() != size_t(kPreviewBytes))
        return;
    memcpy(m_previewFrame.data(), frame, kPreviewBytes);
    if (m_pRecorder) {
        if (tq::IRecordFrameSink* sink = m_pRecorder->GetFrameSink())
            sink->OnFrame(m_previewFrame.data(), kPreviewWidth, kPreviewHeight, timeMs);
    }
}

void VcamManger::PostNewPreview()
{
    Post(WM_VCAM_NEWPREVIEW);
}

bool VcamManger::OnWindowMessage(UINT message, WPARAM, LPARAM, LRESULT* result)
{
    if (message != WM_VCAM_NEWPREVIEW)
        return false;
    OnPreviewFrame();
    *result = 0;
    return true;
}

void VcamManger::OnPreviewFrame()
{
    static uint8_t* painted = new uint8_t[kPreviewBytes];  // kept for the life of the process
    CopyPreviewFrame(painted);
    if (m_previewWnd)
        PaintPreview(m_previewWnd, painted);
}

int VcamManger::IsFlashAvailable()
{
    return int(GetFlashVersion());
}

bool VcamManger::StartBackgroundVideo()
{
    if (m_pBackgroundVideo)
        m_pBackgroundVideo->StartBackgroundVideo();
    return true;
}

bool VcamManger::StopBackgroundVideo()
{
    WriteLog(1, "CBackgroundVideo::StopBackgroundVideo");
    return true;
}

void VcamManger::ReopenSources(int width, int height, int frameTime)
{
    if (!HasMembers())
        return;
    if (m_pCaptureVideo->IsRunning())
        m_pCaptureVideo->ReopenCapture(width, height, frameTime);
    else if (m_pMediaVideo->IsPlaying())
        m_pMediaVideo->ReopenMedia(width, height, frameTime);
    else if (m_pDesktopVideo->IsRunning())
        m_pDesktopVideo->ReopenDesktop(width, height, frameTime);

    m_pCaptureVideo->SetFrameTime(frameTime);
    m_pCaptureVideo->SetOutWidthAndHeight(width, height);
    m_pMediaVideo->SetFrameTime(frameTime);
    m_pMediaVideo->SetOutWidthAndHeight(width, height);
    m_pDesktopVideo->SetFrameTime(frameTime);
    m_pDesktopVideo->SetOutWidthAndHeight(width, height);

    m_captureWidth = width;
    m_captureHeight = height;
    m_captureFrameMs = frameTime / 10000;
}

void VcamManger::GetTqSorva3rdExe(std::set<std::string>& programs)
{
    tq::CShareHandle& memory = tq::GetUserShareMemory();
    tq::CMutexLock lock(tq::GetShareMemoryMutex().Get());
    tq::CMappedView view(memory.Get(), FILE_MAP_ALL_ACCESS, tq::kUserMemorySize, "UserShareMemory");
    if (!view)
        return;
    std::string list = tq::ReadHostList(reinterpret_cast<const char*>(view.Get()), tq::kUserMemorySize);
    if (list.empty()) {
        char path[MAX_PATH] = {};
        GetModuleFileNameA(nullptr, path, MAX_PATH);
        list = std::string("<") + path + ">";
    }
    WriteLog(1, "GetTqSorva3rdExe %s", list.c_str());
    AddHostPrograms(list, programs);
}

int VcamManger::GetFilterModulePath(std::wstring& path)
{
    static const CLSID kOutsideDecoder = {0x04FE9017, 0xF873, 0x410E, {0x87, 0x1E, 0xAB, 0x91, 0x66, 0x1A, 0x4E, 0xF7}};
    wchar_t* clsid = nullptr;
    if (FAILED(StringFromCLSID(kOutsideDecoder, &clsid)))
        return -1;
    wchar_t keyName[128];
    // %ls: with the C99 printf family that mingw-w64 gives C++, %s would read a narrow string.
    swprintf(keyName, 128, L"CLSID\\%ls\\InprocServer32", clsid);
    CoTaskMemFree(clsid);
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, keyName, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return -1;
    std::vector<wchar_t> value(4097, 0);
    DWORD bytes = DWORD((value.size() - 1) * sizeof(wchar_t));
    DWORD type = 0;
    RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &bytes);
    RegCloseKey(key);
    std::wstring text(value.data());

    auto replace = [&text](const std::wstring& from, int csidl) {
        wchar_t folder[MAX_PATH] = {};
        if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, 0, folder)))
            return;
        for (size_t at = text.find(from); at != std::wstring::npos; at = text.find(from, at + wcslen(folder)))
            text.replace(at, from.size(), folder);
    };
    replace(L"%PROGRAMFILES%", CSIDL_PROGRAM_FILES);
    replace(L"%SYSTEMROOT%", CSIDL_WINDOWS);
    replace(L"%WINDIR%", CSIDL_WINDOWS);

    // SearchPathW answers a buffer too small with the size it needs; a path
    // it cannot give whole is no result.
    if (!text.empty()) {
        std::vector<wchar_t> found(MAX_PATH);
        DWORD length = SearchPathW(nullptr, text.c_str(), nullptr, DWORD(found.size()), found.data(), nullptr);
        if (length >= found.size()) {
            found.resize(length);
            length = SearchPathW(nullptr, text.c_str(), nullptr, DWORD(found.size()), found.data(), nullptr);
            if (length == 0 || length >= found.size())
                return -1;
        }
        if (length > 0)
            text.assign(found.data(), length);
    }
    path = text;
    return 0;
}

// The sound output the audio output chooser holds: the camera's and the media
// file's sound graphs play on it.
std::string ChosenSoundOutput(VcamManger* manager)
{
    CSonvexMgr* chooser = manager ? manager->GetSonvexMgr() : nullptr;
    return chooser ? chooser->GetOutputDevice() : std::string();
}
