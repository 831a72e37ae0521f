// The uninstaller's steps: statistics, the camera filter's unregistration,
// the registry values and shortcuts, and the relocation to a copy that
// deletes the install folder.
#pragma once

#include "UninstallInterfaces.h"

#include <windows.h>

#include <string>

class SorvaUninstallChecker;
class SorvaFileCleaner;

class SorvaUninstallCore {
public:
    // Both workers report to listener.
    explicit SorvaUninstallCore(SorvaUninstallListener* listener);
    // Stops and deletes the checker and the cleaner.
    ~SorvaUninstallCore();
    SorvaUninstallCore(const SorvaUninstallCore&) = delete;
    SorvaUninstallCore& operator=(const SorvaUninstallCore&) = delete;

    // Stores the install folder, with a final "\\".
    void setPath(const std::wstring& path);
    const std::wstring& path() const { return m_path; }
    // Silent: the workers report to nobody.
    void setSilent(bool on);
    bool isSilent() const { return m_silent; }

    // Checks (again) whether the product runs, on the checker's thread.
    void startCheck();
    // Deletes the install folder: on a new thread when async, else here.
    void startClean(bool async);
    // Whether the cleaner accepted the folder as an install of ours.
    bool cleanAccepted() const;

    // The install folder the registry records (the product key's
    // "InstallDir", else the uninstall entry's program folder, else the
    // launcher's); empty when none is recorded.
    static std::wstring registeredInstallFolder();
    // Is the path the registered install (or none recorded)? Registry values
    // and shortcuts go only then. Decided once per path, at the latest when
    // the cleaning starts.
    bool isRegisteredInstall();

    // Sends the statistics request on a thread of its own with a short
    // time-out, so the window never waits for the server.
    void sendInstallStastics();
    // Waits (bounded) for a statistics request still under way.
    void waitForStatistics();
    static constexpr unsigned long kStatisticsTimeoutMs = 5000;
    // Unregisters the version folder's camera filter and waits for it (bounded).
    void unRegsvrAxComM();
    void deleteRegeditInfo();
    void deleteShortcuts();
    // Copies the program into a new folder under the per-user "setup" folder
    // and starts the copy on the install folder once it is verified.
    void prepareUninstall();
    // Opens copy so that nobody can change it and checks that it holds the
    // bytes of source: the open handle, or INVALID_HANDLE_VALUE when the
    // copy cannot be opened that way or differs.
    static HANDLE holdVerifiedCopy(const std::wstring& source, const std::wstring& copy);

    // The statistics address; empty without a service address.
    static std::wstring statisticsUrl();
    // Parameters of the relocated copy.
    static std::wstring relocationParameters(const std::wstring& installPath, bool silent);
    // The per-user folder that holds the relocated copies, with a final "\\".
    static std::wstring relocationRoot();
    // Is program a relocated copy (in a folder of its own under relocationRoot)?
    static bool isRelocatedCopy(const std::wstring& program);
    // Schedules the running copy and its folder for removal at the next start.
    static void scheduleSelfRemoval();

    SorvaUninstallChecker* checker() const { return m_checker; }
    SorvaFileCleaner* cleaner() const { return m_cleaner; }

private:
    bool m_silent = false;
    std::wstring m_path;
    int m_registeredHere = -1;  // unknown, no, yes
    SorvaUninstallChecker* m_checker;
    SorvaFileCleaner* m_cleaner;
    void* m_statistics = nullptr;  // thread of the statistics request
};
