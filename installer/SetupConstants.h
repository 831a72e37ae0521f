// Names, numbers and texts the installer's pieces share.
#pragma once

#include <windows.h>

namespace setup {

constexpr const wchar_t* kProductVersion = L"1.0.3.0";
constexpr const wchar_t* kLogFileName = L"setupV2.log";
// Opened (never created) at start: when some other program holds it, the
// start-up pause is shortened.
constexpr const wchar_t* kStartEventName = L"DEF_SINGLE_ZAVOVA_EVENT_20140227";
constexpr const wchar_t* kSingleInstanceMutex = L"{0980E678-72D2-484b-B983-D4E17598D5B7}";
constexpr const wchar_t* kFilterName = L"TqVirtualCam.ax";
constexpr const wchar_t* kLauncherName = L"TqSorva.exe";
constexpr const wchar_t* kProductWindowClass = L"BRENLO SPEAK MAIN FRAME | 4D1BB563-E5FC-4771-AD17-6442A4147044";
constexpr UINT kProductQuitMessage = WM_APP + 601;  // 33369
constexpr int kPayloadResourceId = 101;
constexpr const wchar_t* kPayloadResourceType = L"ZIP";

// Results of the environment check.
enum CheckResult { CR_Success = 0, CR_SetupExist = 1, CR_SetupVirtualCamUsing = 2 };
// Results of the extraction.
enum DecompressResult {
    DR_Success = 0,
    DR_DecompressInstallFailed = 1,
    DR_DecompressComponentFailed = 2,
    DR_DownloadComponentFailed = 3
};

// Messages the bridge posts to the setup windows.
constexpr UINT MSG_SETUP_EXIST = WM_USER + 102;
constexpr UINT MSG_SHOW_MAIN_UI = WM_USER + 104;
constexpr UINT MSG_TQ_RUNNING = WM_USER + 105;
constexpr UINT MSG_PROGRESS = WM_USER + 107;
constexpr UINT MSG_DECOMPRESS_FINISH = WM_USER + 108;
constexpr UINT MSG_QUIT_SETUP = WM_USER + 111;
constexpr UINT MSG_AX_USIMG = WM_USER + 112;

// Process exit codes of silent installs (-7 of interactive ones too).
constexpr int kExitSetupExist = -1;
constexpr int kExitInvalidPath = -3;
constexpr int kExitExtractFailed = -5;
constexpr int kExitFilterInUse = -6;
// The files are in place but regsvr32 could not register the camera filter.
constexpr int kExitRegisterFailed = -7;

} // namespace setup
