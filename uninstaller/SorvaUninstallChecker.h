// The running-product check: reports while "TqSorva.exe" runs and waits for
// the user's retry; passes once it does not.
#pragma once

#include "UninstallInterfaces.h"
#include "WorkerThread.h"

#include <string>

class SorvaUninstallChecker : public CWorkerThread {
public:
    explicit SorvaUninstallChecker(SorvaUninstallListener* listener) : m_listener(listener) {}
    ~SorvaUninstallChecker() override;

    void setListener(SorvaUninstallListener* listener) { m_listener = listener; }
    void setPath(const std::wstring& path) { m_path = path; }
    const std::wstring& path() const { return m_path; }

    // Checks again: a check waiting for the retry goes on; otherwise a new
    // run starts (so one object never has two threads polling it).
    void requestCheck();
    bool isWaitingForRetry() const { return m_waiting != 0; }

    // Any process whose program is named "TqSorva.exe" (any letter case).
    static bool _isTqSorvaRunning();

protected:
    void execute() override;

private:
    SorvaUninstallListener* m_listener;
    std::wstring m_path;
    volatile LONG m_retry = 0;
    volatile LONG m_waiting = 0;
};
