// TqSorvaSetup: installs the product, with its windows or silently
// ("-silence" [folder]); the exit code tells a silent caller how it went.
#include "DllSearch.h"
#include "KqApplication.h"
#include "SetupConstants.h"
#include "SetupWindows.h"
#include "SetupLog.h"
#include "SorvaSetupControl.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    // Started from Downloads with admin rights: no DLL from beside the program.
    restrictDllSearchToSystem();
    HANDLE startEvent = OpenEventW(EVENT_ALL_ACCESS, FALSE, setup::kStartEventName);
    if (startEvent) {
        WaitForSingleObject(startEvent, 3000);
        Sleep(100);
    } else {
        Sleep(3000);
    }

    setLogFileName(setup::kLogFileName);
    writeLog(L"Setup start, command line is %s", GetCommandLineW());

    installSetupWindows();
    int exitCode = 0;
    {
        KqApplication app;
        {
            SorvaSetupControl control;
            control.startSetup();
            exitCode = app.exec();
            // Interactive installs register once the windows are gone; a
            // failed registration is a failed install.
            if (!control.finishRegistration() && exitCode == 0)
                exitCode = setup::kExitRegisterFailed;
        }
    }
    if (startEvent)
        CloseHandle(startEvent);
    return exitCode;
}
