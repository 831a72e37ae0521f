// The manager's dealings with the world outside the engine: the preview
// window, the list of programs using the camera, the filter's registration.
#include "VcamManger.h"
#include "FrameProtocol.h"

void PaintPreview(HWND window, const uint8_t* frame)
{
    HDC dc = GetDC(window);
    if (!dc)
        return;
    RECT client = {};
    GetClientRect(window, &client);
    BITMAPINFOHEADER header = {sizeof header};
    header.biWidth = kPreviewWidth;
    header.biHeight = kPreviewHeight;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    header.biSizeImage = kPreviewBytes;
    SetDIBitsToDevice(dc, 0, 0, client.right - client.left, client.bottom - client.top, 0, 0, 0, kPreviewHeight,
                      frame, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS);
    ReleaseDC(window, dc);
}

void AddHostPrograms(const std::string& list, std::set<std::string>& programs)
{
    for (const std::string& program : tq::SplitHostList(list))
        programs.insert(program);
}

std::wstring CameraFilterRegistrationCommand(const std::wstring& programPath, const std::wstring& systemFolder)
{
    const std::wstring folder = programPath.substr(0, programPath.find_last_of(L'\\'));
    return L"\"" + systemFolder + L"\\regsvr32.exe\" -s \"" + folder + L"\\Stable\\TqVirtualCam.ax\"";
}

bool RegisterCameraFilter()
{
    wchar_t program[MAX_PATH] = {};
    wchar_t system[MAX_PATH] = {};
    if (!GetModuleFileNameW(nullptr, program, MAX_PATH) || !GetSystemDirectoryW(system, MAX_PATH))
        return false;
    std::wstring command = CameraFilterRegistrationCommand(program, system);
    STARTUPINFOW si = {sizeof si};
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return false;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);  // not waited for
    return true;
}
