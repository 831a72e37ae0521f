#include "SorvaUninstallChecker.h"

#include "SetupLog.h"
#include "UninstallHelpers.h"
#include "UninstallNames.h"

#include <tlhelp32.h>

SorvaUninstallChecker::~SorvaUninstallChecker()
{
    // The waiting thread polls this object: it ends before the object goes.
    stop();
}

void SorvaUninstallChecker::requestCheck()
{
    if (m_waiting) {
        InterlockedExchange(&m_retry, 1);
        return;
    }
    run(true);
}

bool SorvaUninstallChecker::_isTqSorvaRunning()
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return false;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    bool running = false;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (sameTextIgnoringCase(entry.szExeFile, uninstall::kLauncherFile)) {
            writeLog(L"SorvaUninstallChecker::_isTqSorvaRunning, exePath is : %s",
                     processProgramPath(entry.th32ProcessID).c_str());
            running = true;
            break;
        }
    }
    CloseHandle(snapshot);
    return running;
}

void SorvaUninstallChecker::execute()
{
    if (!m_listener)
        return;
    while (_isTqSorvaRunning()) {
        InterlockedExchange(&m_retry, 0);
        InterlockedExchange(&m_waiting, 1);
        m_listener->onProductRunning();
        while (!m_retry && !isStopRequested())
            Sleep(10);
        InterlockedExchange(&m_waiting, 0);
        if (isStopRequested())
            return;
    }
    m_listener->onCheckPassed();
}
