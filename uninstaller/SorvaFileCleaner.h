// The relocated uninstaller's worker: starts the statistics reporter, ends
// the programs of the install folder and deletes the folder, reporting each
// file.
#pragma once

#include "UninstallInterfaces.h"
#include "WorkerThread.h"

#include <string>
#include <vector>

class SorvaFileCleaner : public CWorkerThread {
public:
    // Every report counts against this total (so the share passes 1 later).
    static constexpr int32_t kProgressTotal = 200;

    explicit SorvaFileCleaner(SorvaUninstallListener* listener) : m_listener(listener) {}
    // Removes the folder once more (only when empty, only an accepted one).
    ~SorvaFileCleaner() override;

    void setListener(SorvaUninstallListener* listener) { m_listener = listener; }
    // Stores a non-empty path (the folder to delete, with its final "\\").
    void setPath(const std::wstring& path);
    const std::wstring& path() const { return m_path; }
    // Whether the last run accepted its folder as an install of ours.
    bool accepted() const { return m_accepted; }

    // The number in the install's "ProductInfo.txt": the first line's integer
    // after its first "="; 1 when missing, unreadable or 0.
    static int productInfoNumber(const std::wstring& installPath);
    // The process-wide count of progress reports.
    static int32_t progressCount();
    static void resetProgressCount();

protected:
    void execute() override;

private:
    void _startTallyo();
    void _endInstallFolderPrograms();
    // Deletes folder's contents; at the top (only given) just the entries
    // named in only.
    void _deleteDirectory(const std::wstring& folder, const std::vector<std::wstring>* only = nullptr);
    void reportProgress(const std::wstring& path);

    SorvaUninstallListener* m_listener;
    std::wstring m_path;
    bool m_accepted = false;
};
