// Extracts the payload (resource "ZIP" 101 of the program) into the install
// folder, makes sure the product is not running from there first, and after
// an interactive install brings the per-user component files up to date.
#pragma once

#include "WorkerThread.h"

#include <windows.h>
#include <wininet.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

class CDiskOutputer;
class SorvaSetupListener;
class SorvaSetupCore;

// True when every file and folder the install puts below installPath (the
// payload of module's resource, the program's own by default, and the copies
// made after it) stays within the system's path limits; else the install
// would stop half-way. Checked right after isValidInstallPath.
bool installPathFitsPayload(const std::wstring& installPath, HMODULE module = nullptr);

class SorvaSetupDecompressor : public CWorkerThread {
public:
    // Tries at ending a product that keeps running before the install gives up.
    static constexpr int kMaxQuitAttempts = 5;
    // Largest download the component update accepts, and the largest total
    // its archive may unpack to.
    static constexpr unsigned long long kMaxDownloadBytes = 64ull << 20;
    static constexpr unsigned long long kMaxUnpackedBytes = 256ull << 20;

    // One "file" element of "component.xml".
    struct ComponentFile {
        std::wstring name;
        std::wstring md5;
    };

    explicit SorvaSetupDecompressor(SorvaSetupListener* listener = nullptr);
    ~SorvaSetupDecompressor() override;

    // async: on the worker thread; else the silent extraction on this thread.
    bool start(bool async);
    void stop() { CWorkerThread::stop(); }
    void setListener(SorvaSetupListener* listener) { m_listener = listener; }
    void forceQuit();
    void setPath(const std::wstring& path);
    void setSilent(bool silent) { m_silent = silent ? 1 : 0; }
    // The module whose resource holds the payload (default: the program).
    void setResourceModule(HMODULE module) { m_resourceModule = module; }
    // Runs the old-version cleanup before extracting (interactive installs).
    void setCore(SorvaSetupCore* core) { m_core = core; }

    // Whether the payload fits below installPath (installPathFitsPayload).
    bool fitsPath(const std::wstring& installPath) const;

    bool _load7zDataFromResource(int id, const void*& data, size_t& size);
    bool _decompress();
    bool _decompressCheckFile(const std::wstring& folder);
    // Removes what the last _decompressCheckFile created.
    void removeCheckCopy();
    bool _isTqRunning(DWORD& pid);
    void _quitTq(DWORD pid);
    bool _downloadFile(const std::wstring& url, const std::wstring& localPath, const std::wstring& progressText);
    bool _downloadcomp();
    void _syncDecompress();
    // Compares every listed file below folder with its MD5 and removes the
    // ones that differ (never through a link); true when all are present and match.
    static bool _verifyComponents(const std::wstring& folder, const std::vector<ComponentFile>& files);
    // Lower limits than the defaults (tests).
    void setComponentLimits(unsigned long long downloadBytes, unsigned long long unpackedBytes)
    {
        m_maxDownloadBytes = downloadBytes;
        m_maxUnpackedBytes = unpackedBytes;
    }

protected:
    void execute() override;

private:
    bool _handleThreadErrorWithLastError(const wchar_t* message, DWORD code);
    void closeDownload();
    // Waits for the user's answer to the running-product prompt and ends the
    // product when asked to; false when cancelled or the product stays.
    bool waitForProductToEnd(DWORD pid);

    SorvaSetupListener* m_listener;
    SorvaSetupCore* m_core = nullptr;
    HMODULE m_resourceModule = nullptr;
    std::wstring m_installPath;
    volatile LONG m_forceQuitRequested = 0;
    int m_silent = 0;
    HINTERNET m_session = nullptr;
    HINTERNET m_connection = nullptr;
    HINTERNET m_request = nullptr;
    std::wstring m_downloadPath;
    HANDLE m_downloadFile = INVALID_HANDLE_VALUE;
    unsigned long long m_maxDownloadBytes = kMaxDownloadBytes;
    unsigned long long m_maxUnpackedBytes = kMaxUnpackedBytes;
    std::unique_ptr<CDiskOutputer> m_checkOutput;
};
