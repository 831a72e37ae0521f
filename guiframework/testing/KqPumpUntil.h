// Runs the thread's messages until a condition holds, for tests that drive
// framework windows through real messages. A WM_QUIT (the last window's
// close) is taken off the queue like any other message, so a test can go on
// after closing its window.
#pragma once

#include <windows.h>

namespace kqtest {

template <class Condition> bool pumpUntil(Condition condition, DWORD limitMs = 20000)
{
    const DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > limitMs)
            return false;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
    return true;
}

} // namespace kqtest
