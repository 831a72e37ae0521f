// Uninstall.exe: removes the product, from its install folder or as the
// relocated copy that deletes it.
#include "DllSearch.h"
#include "KqApplication.h"
#include "SetupLog.h"
#include "SorvaUninstallControl.h"
#include "UninstallNames.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    // The relocated copy runs from a per-user folder: no DLL from beside it.
    restrictDllSearchToSystem();
    setLogFileName(uninstall::kLogFileName);
    writeLog(L"\r\n\r\nUninstall start, command line is %s", GetCommandLineW());
    int code = 0;
    {
        KqApplication application;
        {
            SorvaUninstallControl control;
            control.uninstall();
            code = application.exec();
        }
    }
    return code;
}
