// Stand-in for the outside main-window library: a small test host that
// loads the engine, shows its preview and runs the message loop.
//   switches (in argv): -seconds N   close by itself after N seconds
//                       -nobackground   do not start the background picture
#include "IVcamManger.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const wchar_t kMainFrameClass[] = L"BRENLO SPEAK MAIN FRAME | 4D1BB563-E5FC-4771-AD17-6442A4147044";
constexpr UINT WM_QUIT_PRODUCT = 33369;
constexpr UINT_PTR kCloseTimer = 1;

LRESULT CALLBACK MainFrameProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CLOSE:
    case WM_QUIT_PRODUCT:
        DestroyWindow(hWnd);
        return 0;
    case WM_TIMER:
        if (wParam == kCloseTimer) {
            PostMessageW(hWnd, WM_CLOSE, 0, 0);
            return 0;
        }
        break;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hWnd, message, wParam, lParam);
}

bool HasSwitch(int argc, char** argv, const char* name, const char** value = nullptr)
{
    for (int i = 1; i < argc; ++i) {
        if (_stricmp(argv[i], name) == 0) {
            if (value)
                *value = i + 1 < argc ? argv[i + 1] : "";
            return true;
        }
    }
    return false;
}

} // namespace

extern "C" __declspec(dllexport) int sorvaMain(int argc, char** argv, std::wstring version)
{
    printf("mainframe: version %ls\n", version.c_str());
    fflush(stdout);
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc = {sizeof wc};
    wc.lpfnWndProc = MainFrameProc;
    wc.hInstance = instance;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kMainFrameClass;
    RegisterClassExW(&wc);
    HWND frame = CreateWindowExW(0, kMainFrameClass, L"TqSorva", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 460, 380,
                                 nullptr, nullptr, instance, nullptr);
    HWND preview = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 10, 10, 400, 300, frame, nullptr,
                                   instance, nullptr);
    if (!frame || !preview) {
        fprintf(stderr, "mainframe: cannot create the main window\n");
        return 2;
    }

    HMODULE engine = LoadLibraryW(L"lumeo.dll");
    auto get = engine ? reinterpret_cast<GetVcamMangerFn>(GetProcAddress(engine, "_getVcamManger@0")) : nullptr;
    auto release = engine ? reinterpret_cast<ReleaseVcamMangerFn>(GetProcAddress(engine, "_releaseVcamManger@0")) : nullptr;
    IVcamManger* manager = get ? get() : nullptr;
    if (!manager || !release) {
        fprintf(stderr, "mainframe: cannot load the engine lumeo.dll\n");
        DestroyWindow(frame);
        return 3;
    }
    if (!HasSwitch(argc, argv, "-nobackground"))
        manager->SetPreviewWnd(preview);  // writes the background frame
    printf("mainframe: engine running\n");
    fflush(stdout);

    const char* seconds = nullptr;
    if (HasSwitch(argc, argv, "-seconds", &seconds))
        SetTimer(frame, kCloseTimer, UINT(atoi(seconds) * 1000), nullptr);

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    release();
    printf("mainframe: closed\n");
    return 0;
}
