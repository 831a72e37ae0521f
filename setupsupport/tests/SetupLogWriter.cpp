// Writes numbered lines into a setup log, as a second program would:
// setup_log_writer FOLDER FILE TAG COUNT START_EVENT
#include "SetupLog.h"

#include <shellapi.h>

#include <string>

int main()
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc < 6)
        return 2;
    CSetupLog log(argv[1]);
    log.setFileName(argv[2]);
    const std::wstring tag = argv[3];
    const int count = _wtoi(argv[4]);
    HANDLE go = OpenEventW(SYNCHRONIZE, FALSE, argv[5]);
    if (!go || WaitForSingleObject(go, 30000) != WAIT_OBJECT_0)
        return 3;
    for (int i = 0; i < count; ++i)
        log.writeLine((tag + L" line " + std::to_wstring(i)).c_str());
    return 0;
}
