// TqSorvaSetup: installs the product, with its windows or silently
// ("-silence" [folder]); the exit code tells a silent caller how it went.
#include "SetupConstants.h"
#include "SetupLog.h"
#include "SorvaSetupControl.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    HANDLE startEvent = OpenEventW(EVENT_ALL_ACCESS, FALSE, setup::kStartEventName);
    if (startEvent) {
        WaitForSingleObject(startEvent, 3000);
        Sleep(100);
    } else {
        Sleep(3000);
    }

    setLogFileName(setup::kLogFileName);
    writeLog(L"Setup start, command line is %s", GetCommandLineW());

    int exitCode = 0;
    {
        SorvaSetupControl control;
        control.startSetup();
        MSG message;
        BOOL got;
        while ((got = GetMessageW(&message, nullptr, 0, 0)) > 0) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        exitCode = got == 0 ? static_cast<int>(message.wParam) : -1;
    }
    if (startEvent)
        CloseHandle(startEvent);
    return exitCode;
}
