// Loads the marker module, shows a top-level window of a known class, tells
// the test it is ready and runs until the test signals it to quit:
// setup_process_helper READY_EVENT QUIT_EVENT
#include <windows.h>
#include <shellapi.h>

int main()
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc < 3)
        return 2;
    if (!LoadLibraryW(L"TqSetupMarker.dll"))
        return 3;
    WNDCLASSW wc = {};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TqSetupHelper Window | 1";
    if (!RegisterClassW(&wc))
        return 4;
    HWND window = CreateWindowExW(0, wc.lpszClassName, L"helper", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                                  nullptr, wc.hInstance, nullptr);
    if (!window)
        return 5;
    HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[1]);
    HANDLE quit = OpenEventW(SYNCHRONIZE, FALSE, argv[2]);
    if (!ready || !quit)
        return 6;
    SetEvent(ready);
    for (;;) {
        DWORD wait = MsgWaitForMultipleObjects(1, &quit, FALSE, 60000, QS_ALLINPUT);
        if (wait != WAIT_OBJECT_0 + 1)
            break;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
    }
    DestroyWindow(window);
    return 0;
}
