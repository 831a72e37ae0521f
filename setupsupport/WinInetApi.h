// WinInet, bound at run time from the system folder only. As a static import
// it would be looked for in the program's folder (the user's Downloads) when
// the elevated setup programs start, before they can limit the DLL search.
#pragma once

#include <windows.h>
#include <wininet.h>

#define TQ_WININET_FUNCTIONS(X) \
    X(HttpEndRequestW) X(HttpOpenRequestW) X(HttpQueryInfoA) X(HttpQueryInfoW) X(HttpSendRequestExW) \
    X(HttpSendRequestW) X(InternetCloseHandle) X(InternetCombineUrlW) X(InternetConnectW) X(InternetCrackUrlW) \
    X(InternetErrorDlg) X(InternetOpenW) X(InternetQueryOptionW) X(InternetReadFile) X(InternetSetOptionW) \
    X(InternetSetStatusCallbackW) X(InternetWriteFile)

struct WinInetApi {
    // False when the library or one of its functions is missing: then none
    // of the entries may be called.
    bool available = false;
#define TQ_WININET_ENTRY(name) decltype(&::name) name = nullptr;
    TQ_WININET_FUNCTIONS(TQ_WININET_ENTRY)
#undef TQ_WININET_ENTRY
};

// Loaded on first use, kept for the process.
const WinInetApi& WinInet();
