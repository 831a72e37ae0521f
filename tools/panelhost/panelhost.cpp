// panelhost -go FILE [-click X Y] [-expect RRGGBB] [-seconds N]
// Loads browser.dll and opens the panel the way the main window does
// (ShowMoreAuraeBox; the page comes from TQ_SERVICE_URL). Once the page is
// on the screen (the click point shows the expected colour, within 24 per channel) it
// prints the window's rectangle ("rect: left top right bottom", right and bottom exclusive) and waits for
// FILE to exist (the screenshot is taken meanwhile); then it clicks the page
// at (X, Y) in page coordinates, waits for the download the page starts and
// prints "downloaded: PATH|MD5|NAME|DURATION". It ends the engine with the
// exit notice. Exit code 0 on success, 1 when a step did not happen within N
// seconds (default 120).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

namespace {

std::wstring g_downloaded;

void __cdecl onDownload(const wchar_t* path, const wchar_t* md5, const wchar_t* name, int duration)
{
    g_downloaded = std::wstring(path) + L"|" + md5 + L"|" + name + L"|" + std::to_wstring(duration);
}

// Runs the message loop until the condition holds or the deadline passes.
template <class Condition> bool pumpUntil(Condition condition, DWORD deadline)
{
    while (!condition()) {
        if (GetTickCount() > deadline)
            return false;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    return true;
}

// The page is on the screen once the click point shows its colour.
bool pageShown(HWND window, int x, int y, COLORREF expected)
{
    RECT r;
    if (!IsWindowVisible(window) || !GetWindowRect(window, &r))
        return false;
    HDC screen = GetDC(nullptr);
    COLORREF c = GetPixel(screen, r.left + x, r.top + y);
    ReleaseDC(nullptr, screen);
    auto close = [](int a, int b) { return std::abs(a - b) <= 24; };
    return c != CLR_INVALID && close(GetRValue(c), GetRValue(expected)) && close(GetGValue(c), GetGValue(expected)) &&
           close(GetBValue(c), GetBValue(expected));
}

// The page's origin inside the window: the shadow margin, then the web
// view's place.
const int kPageX = 5 + 1;
const int kPageY = 5 + 31;

} // namespace

int main(int argc, char** argv)
{
    std::string go;
    int clickX = 120, clickY = 120, seconds = 120;
    unsigned long expect = 0xFFD23C;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "-go") && i + 1 < argc)
            go = argv[++i];
        else if (!std::strcmp(argv[i], "-click") && i + 2 < argc) {
            clickX = std::atoi(argv[++i]);
            clickY = std::atoi(argv[++i]);
        } else if (!std::strcmp(argv[i], "-expect") && i + 1 < argc)
            expect = std::strtoul(argv[++i], nullptr, 16);
        else if (!std::strcmp(argv[i], "-seconds") && i + 1 < argc)
            seconds = std::atoi(argv[++i]);
        else {
            std::fprintf(stderr, "usage: panelhost -go FILE [-click X Y] [-expect RRGGBB] [-seconds N]\n");
            return 2;
        }
    }
    if (go.empty()) {
        std::fprintf(stderr, "usage: panelhost -go FILE [-click X Y] [-expect RRGGBB] [-seconds N]\n");
        return 2;
    }
    const DWORD deadline = GetTickCount() + DWORD(seconds) * 1000;

    HMODULE browser = LoadLibraryW(L"browser.dll");
    auto show = browser ? reinterpret_cast<void(__cdecl*)(void*, void*)>(GetProcAddress(browser, "ShowMoreAuraeBox")) : nullptr;
    auto exitNotice = browser ? reinterpret_cast<void(__cdecl*)()>(GetProcAddress(browser, "NotifyBeforeProcessExit")) : nullptr;
    if (!show || !exitNotice) {
        std::printf("panelhost: browser.dll or its exports are missing\n");
        return 1;
    }
    show(nullptr, reinterpret_cast<void*>(&onDownload));
    HWND window = FindWindowW(L"DUI_HOST_WINDOW", L"Browser");
    int rc = 0;
    if (!window || !pumpUntil([&] { return pageShown(window, kPageX + clickX, kPageY + clickY,
                                                        RGB((expect >> 16) & 255, (expect >> 8) & 255, expect & 255)); }, deadline)) {
        std::printf("panelhost: the page did not show\n");
        rc = 1;
    } else {
        RECT r;
        GetWindowRect(window, &r);
        std::printf("rect: %ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom);
        std::fflush(stdout);
        const std::string goFile = go;
        pumpUntil([&] { return GetFileAttributesA(goFile.c_str()) != INVALID_FILE_ATTRIBUTES; }, deadline);
        // A click on the page's button, through the window like a user's.
        LPARAM at = MAKELPARAM(kPageX + clickX, kPageY + clickY);
        PostMessageW(window, WM_MOUSEMOVE, 0, at);
        PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, at);
        PostMessageW(window, WM_LBUTTONUP, 0, at);
        if (pumpUntil([] { return !g_downloaded.empty(); }, deadline)) {
            std::wprintf(L"downloaded: %ls\n", g_downloaded.c_str());
        } else {
            std::printf("panelhost: no download arrived\n");
            rc = 1;
        }
    }
    std::fflush(stdout);
    exitNotice();
    return rc;
}
