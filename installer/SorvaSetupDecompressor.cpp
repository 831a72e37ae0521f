#include "SorvaSetupDecompressor.h"

#include "DiskOutputer.h"
#include "KqCryptoHash.h"
#include "LinkCheck.h"
#include "ServiceAddress.h"
#include "SetupCleanup.h"
#include "SetupConstants.h"
#include "SetupLog.h"
#include "SevenZipArchive.h"
#include "SorvaSetupListener.h"
#include "SystemUtils.h"
#include "WinInetApi.h"
#include "WinInetHttpBase.h"
#include "XmlDocument.h"

#include <tlhelp32.h>

#include <algorithm>
#include <cwchar>
#include <vector>

using namespace setup;

namespace {

// True when the file reads whole and its MD5 is the listed one (any case). A
// file that cannot be read never matches, not even an empty listed digest.
bool fileMatchesMd5(const std::wstring& path, const std::wstring& md5)
{
    KqByteArray hex;
    if (!KqCryptoHash::fileMd5(KqString(reinterpret_cast<const KqChar*>(path.c_str()), static_cast<int>(path.size())), hex))
        return false;
    return _wcsicmp(std::wstring(hex.data(), hex.data() + hex.size()).c_str(), md5.c_str()) == 0;
}

// True when folder itself or a step from it down to path is a link: a file
// there is not the component folder's to remove.
bool reachedThroughLink(const std::wstring& folder, const std::wstring& path)
{
    if (isLinkItself(folder))
        return true;
    size_t pos = folder.size();
    while (pos < path.size()) {
        size_t end = path.find_first_of(L"\\/", pos + 1);
        if (end == std::wstring::npos)
            end = path.size();
        if (isLinkItself(path.substr(0, end)))
            return true;
        pos = end;
    }
    return false;
}

// Bytes the caller may still write on the volume of folder; 0 when unknown.
unsigned long long availableBytes(const std::wstring& folder)
{
    ULARGE_INTEGER available = {};
    if (!GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr))
        return 0;
    return available.QuadPart;
}

bool waitForCondition(const volatile LONG& flag, const volatile int32_t& stop)
{
    while (!flag && !stop)
        Sleep(10);
    return flag != 0;
}

} // namespace

bool installPathFitsPayload(const std::wstring& installPath, HMODULE module)
{
    // The longest path the payload and the steps after it put below the
    // folder, measured on the entry names without decoding anything; of the
    // copies made after the extraction, "Stable"'s are the longest.
    size_t longestFile = wcslen(L"Stable\\avcodec-53.dll");
    size_t longestFolder = wcslen(L"Stable");
    if (!module)
        module = GetModuleHandleW(nullptr);
    HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(kPayloadResourceId), kPayloadResourceType);
    HGLOBAL loaded = resource ? LoadResource(module, resource) : nullptr;
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    DWORD size = resource ? SizeofResource(module, resource) : 0;
    if (bytes && size) {
        CDiskOutputer measure(L"C:\\", nullptr);
        measure.setMeasureOnly(true);
        extractArchive(bytes, size, measure, ArchiveExtractOptions());
        longestFile = std::max(longestFile, measure.longestFileBelowRoot());
        longestFolder = std::max(longestFolder, measure.longestFolderBelowRoot());
    }

    // The folder as the system will see it: relative and dotted forms grow or shrink.
    std::wstring folder = installPath;
    wchar_t full[1024] = {};
    DWORD fullLength = GetFullPathNameW(installPath.c_str(), 1024, full, nullptr);
    if (fullLength > 0 && fullLength < 1024 && fullLength > folder.size())
        folder.assign(full, fullLength);
    if (folder.empty() || folder.back() != L'\\')
        folder += L'\\';
    // A file replaced while in use is first renamed with ".old" appended;
    // folders are created only below MAX_PATH - 12 characters.
    const bool fits = folder.size() + longestFile + 4 < MAX_PATH && folder.size() + longestFolder < MAX_PATH - 12;
    if (!fits)
        writeLog(L"installPathFitsPayload, %s is too long: the install puts paths of %u characters below it.",
                 installPath.c_str(), static_cast<unsigned>(longestFile));
    return fits;
}

SorvaSetupDecompressor::SorvaSetupDecompressor(SorvaSetupListener* listener) : m_listener(listener) {}

SorvaSetupDecompressor::~SorvaSetupDecompressor()
{
    CWorkerThread::stop();
    closeDownload();
    if (!m_installPath.empty()) {
        std::wstring data = getInstallDataDir(m_installPath);
        if (!data.empty())
            RemoveDirectoryW(data.c_str());  // only when empty
    }
}

bool SorvaSetupDecompressor::start(bool async)
{
    if (async)
        return CWorkerThread::start();
    _syncDecompress();
    return true;
}

void SorvaSetupDecompressor::forceQuit()
{
    writeLog(L"SorvaSetupDecompressor::forceQuit, User want to force quit Tq.");
    InterlockedExchange(&m_forceQuitRequested, 1);
}

void SorvaSetupDecompressor::setPath(const std::wstring& path)
{
    m_installPath = path;
    if (!m_installPath.empty() && m_installPath.back() != L'\\')
        m_installPath += L'\\';
}

bool SorvaSetupDecompressor::_load7zDataFromResource(int id, const void*& data, size_t& size)
{
    data = nullptr;
    size = 0;
    HMODULE module = m_resourceModule ? m_resourceModule : GetModuleHandleW(nullptr);
    HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(id), kPayloadResourceType);
    if (!resource) {
        writeLog(L"SorvaSetupDecompressor::_load7zDataFromResource, Find resource(tq.7z) fail.");
        return false;
    }
    HGLOBAL loaded = LoadResource(module, resource);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    DWORD length = SizeofResource(module, resource);
    if (!bytes || length == 0) {
        writeLog(L"SorvaSetupDecompressor::_load7zDataFromResource, Load resource(tq.7z) fail.");
        return false;
    }
    data = bytes;
    size = length;
    return true;
}

bool SorvaSetupDecompressor::_decompress()
{
    const void* data = nullptr;
    size_t size = 0;
    if (!_load7zDataFromResource(kPayloadResourceId, data, size)) {
        writeLog(L"SorvaSetupDecompressor::_decompress, _load7zDataFromResource fail.");
        return false;
    }
    CDiskOutputer outputer(m_installPath, m_listener);
    ArchiveExtractOptions options;
    options.cancelled = [this] { return isStopRequested(); };
    if (extractArchive(data, size, outputer, options))
        return true;
    // Half a product would start and fail: what this run wrote goes again.
    size_t removed = outputer.removeWritten();
    writeLog(L"SorvaSetupDecompressor::_decompress, extraction failed, %u files of this run removed.",
             static_cast<unsigned>(removed));
    return false;
}

bool SorvaSetupDecompressor::fitsPath(const std::wstring& installPath) const
{
    return installPathFitsPayload(installPath, m_resourceModule);
}

bool SorvaSetupDecompressor::_decompressCheckFile(const std::wstring& folder)
{
    const void* data = nullptr;
    size_t size = 0;
    if (!_load7zDataFromResource(kPayloadResourceId, data, size))
        return false;
    std::wstring root = folder;
    if (!pathAppend(root, L"Check")) {
        writeLog(L"SorvaSetupDecompressor::_decompressCheckFile, %s is too long for the Check copy.", folder.c_str());
        return false;
    }
    m_checkOutput.reset(new CDiskOutputer(root, nullptr));
    ArchiveExtractOptions options;
    options.checkMode = true;
    return extractArchive(data, size, *m_checkOutput, options);
}

void SorvaSetupDecompressor::removeCheckCopy()
{
    if (m_checkOutput)
        m_checkOutput->removeWritten();
}

bool SorvaSetupDecompressor::_isTqRunning(DWORD& pid)
{
    pid = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return false;
    const std::wstring expected = m_installPath + kLauncherName;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    bool found = false;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && !found; more = Process32NextW(snapshot, &entry)) {
        if (_wcsicmp(entry.szExeFile, kLauncherName) != 0)
            continue;
        HANDLE modules = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE | TH32CS_SNAPMODULE32, entry.th32ProcessID);
        if (modules == INVALID_HANDLE_VALUE)
            continue;
        MODULEENTRY32W module = {};
        module.dwSize = sizeof(module);
        if (Module32FirstW(modules, &module) && _wcsicmp(module.szExePath, expected.c_str()) == 0) {
            pid = entry.th32ProcessID;
            found = true;
        }
        CloseHandle(modules);
    }
    CloseHandle(snapshot);
    return found;
}

void SorvaSetupDecompressor::_quitTq(DWORD pid)
{
    if (HWND window = findProcessWindow(pid, kProductWindowClass)) {
        PostMessageW(window, kProductQuitMessage, 0, 0);
        writeLog(L"SorvaSetupDecompressor::_quitTq, post message (WM_APP + 601) to Tq for quit.");
    }
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid);
    if (!process) {
        writeLog(L"SorvaSetupDecompressor::_quitTq, OpenProcess return NULL, Tq already quit.");
        return;
    }
    if (WaitForSingleObject(process, 500) == WAIT_TIMEOUT) {
        writeLog(L"SorvaSetupDecompressor::_quitTq, WaitForSingleObject time-out, will terminate process.");
        TerminateProcess(process, 0);
        WaitForSingleObject(process, 5000);
    }
    CloseHandle(process);
}

bool SorvaSetupDecompressor::waitForProductToEnd(DWORD pid)
{
    if (m_listener)
        m_listener->onTqRunning();
    if (!waitForCondition(m_forceQuitRequested, m_stopRequested))
        return false;
    for (int attempt = 0; attempt < kMaxQuitAttempts && !isStopRequested(); ++attempt) {
        _quitTq(pid);
        if (!_isTqRunning(pid))
            return true;
    }
    if (!isStopRequested())
        writeLog(L"SorvaSetupDecompressor::execute, Tq still running after %d tries, give up.", kMaxQuitAttempts);
    return false;
}

void SorvaSetupDecompressor::execute()
{
    writeLog(L"SorvaSetupDecompressor::execute, aync decompress.");
    DWORD pid = 0;
    if (_isTqRunning(pid) && !waitForProductToEnd(pid)) {
        if (isStopRequested())
            return;  // the user cancelled: no report
        if (m_listener)
            m_listener->onDecompressFinish(DR_DecompressInstallFailed);
        return;
    }
    if (isStopRequested())
        return;
    if (!m_silent)
        cleanUpFile(m_installPath);

    int result = DR_Success;
    if (!_decompress()) {
        writeLog(L"SorvaSetupDecompressor::execute, _decompress return false.");
        result = DR_DecompressInstallFailed;
    } else if (!m_silent && !_downloadcomp()) {
        writeLog(L"SorvaSetupDecompressor::execute, _downloadcomp return false.");
        result = DR_DownloadComponentFailed;
    }
    if (m_listener)
        m_listener->onDecompressFinish(result);
}

void SorvaSetupDecompressor::_syncDecompress()
{
    writeLog(L"SorvaSetupDecompressor::_syncDecompress begin [silence model].");
    int result = _decompress() ? DR_Success : DR_DecompressInstallFailed;
    if (m_listener)
        m_listener->onDecompressFinish(result);
}

void SorvaSetupDecompressor::closeDownload()
{
    if (m_request)
        WinInet().InternetCloseHandle(m_request);
    if (m_connection)
        WinInet().InternetCloseHandle(m_connection);
    if (m_session)
        WinInet().InternetCloseHandle(m_session);
    m_request = m_connection = m_session = nullptr;
    if (m_downloadFile != INVALID_HANDLE_VALUE)
        CloseHandle(m_downloadFile);
    m_downloadFile = INVALID_HANDLE_VALUE;
}

bool SorvaSetupDecompressor::_handleThreadErrorWithLastError(const wchar_t* message, DWORD code)
{
    writeLog(L"SorvaSetupDecompressor::_handleThreadErrorWithLastError, ErrorInfo:%s, ErrorCode:%d\n", message,
             static_cast<int>(code));
    closeDownload();
    if (!m_downloadPath.empty())
        DeleteFileW(m_downloadPath.c_str());
    return false;
}

bool SorvaSetupDecompressor::_downloadFile(const std::wstring& url, const std::wstring& localPath,
                                           const std::wstring& progressText)
{
    closeDownload();
    m_downloadPath = localPath;
    m_downloadFile = CreateFileW(localPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (m_downloadFile == INVALID_HANDLE_VALUE) {
        m_downloadPath.clear();  // not ours: never delete what we could not create
        return _handleThreadErrorWithLastError(L"An error occurred while create local file", GetLastError());
    }
    if (!WinInet().available)
        SetLastError(ERROR_MOD_NOT_FOUND);
    m_session = WinInet().available
                    ? WinInet().InternetOpenW(nullptr, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0x4000000)
                    : nullptr;
    if (!m_session)
        return _handleThreadErrorWithLastError(L"An error occurred while attempting to download the file",
                                               GetLastError());
    WinInet().InternetSetStatusCallbackW(m_session, nullptr);

    wchar_t host[260] = {}, path[260] = {};
    URL_COMPONENTSW parts = {};
    parts.dwStructSize = sizeof(parts);
    parts.lpszHostName = host;
    parts.dwHostNameLength = 259;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = 259;
    if (!WinInet().InternetCrackUrlW(url.c_str(), 0, 0, &parts))
        return _handleThreadErrorWithLastError(L"An error occurred while attempting to download the file", 1001);

    m_connection = WinInet().InternetConnectW(m_session, host, parts.nPort, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
    const wchar_t* accept[] = {L"*/*", nullptr};
    m_request = m_connection ? WinInet().HttpOpenRequestW(m_connection, L"GET", path, nullptr, nullptr, accept, 0x84400000, 0)
                             : nullptr;
    if (!m_request)
        return _handleThreadErrorWithLastError(L"An error occurred connecting to the server", GetLastError());

    for (;;) {
        if (!WinInet().HttpSendRequestW(m_request, nullptr, 0, nullptr, 0))
            return _handleThreadErrorWithLastError(L"An error occurred connecting to the server", GetLastError());
        DWORD status = 0, statusSize = sizeof(status);
        if (!WinInet().HttpQueryInfoW(m_request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &statusSize,
                            nullptr))
            return _handleThreadErrorWithLastError(L"Failed to receive a valid response from the server",
                                                   GetLastError());
        if (status == 200) {
            // WinInet follows redirects itself here: what was asked for over
            // TLS must not have arrived in the clear.
            wchar_t finalUrl[INTERNET_MAX_URL_LENGTH] = {};
            DWORD finalSize = sizeof(finalUrl);
            if (WinInet().InternetQueryOptionW(m_request, INTERNET_OPTION_URL, finalUrl, &finalSize) && finalUrl[0] &&
                _wcsicmp(finalUrl, url.c_str()) != 0 && !isRedirectAllowed(url, finalUrl, false))
                return _handleThreadErrorWithLastError(L"Failed to receive a valid HTTP response from the server",
                                                       ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR);
            break;
        }
        if (status == 401 || status == 407) {
            char discard[50];
            DWORD read = 0;
            while (WinInet().InternetReadFile(m_request, discard, sizeof(discard), &read) && read > 0) {
            }
            DWORD answer = WinInet().InternetErrorDlg(GetDesktopWindow(), m_request, ERROR_INTERNET_INCORRECT_PASSWORD,
                                            FLAGS_ERROR_UI_FILTER_FOR_ERRORS | FLAGS_ERROR_UI_FLAGS_GENERATE_DATA |
                                                FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS,
                                            nullptr);
            if (answer == ERROR_INTERNET_FORCE_RETRY)
                continue;
            // Not authorised: the error page is not the file we asked for.
        }
        return _handleThreadErrorWithLastError(L"Failed to receive a valid HTTP response from the server", status);
    }

    DWORD contentLength = 0, lengthSize = sizeof(contentLength);
    const bool haveLength = WinInet().HttpQueryInfoW(m_request, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER,
                                           &contentLength, &lengthSize, nullptr) != 0;
    if (haveLength && contentLength > m_maxDownloadBytes)
        return _handleThreadErrorWithLastError(L"An error occurred while downloading the file", ERROR_FILE_TOO_LARGE);
    unsigned long long received = 0;
    char buffer[1024];
    for (;;) {
        if (isStopRequested())
            return _handleThreadErrorWithLastError(L"An error occurred while downloading the file", ERROR_CANCELLED);
        DWORD read = 0;
        if (!WinInet().InternetReadFile(m_request, buffer, sizeof(buffer), &read))
            return _handleThreadErrorWithLastError(L"An error occurred while downloading the file", GetLastError());
        if (read == 0)
            break;
        DWORD written = 0;
        if (!WriteFile(m_downloadFile, buffer, read, &written, nullptr) || written != read)
            return _handleThreadErrorWithLastError(L"An error occurred while downloading the file", GetLastError());
        received += read;
        // A body without a length must still end somewhere.
        if (received > m_maxDownloadBytes)
            return _handleThreadErrorWithLastError(L"An error occurred while downloading the file",
                                                   ERROR_FILE_TOO_LARGE);
        if (haveLength && received > contentLength)
            return _handleThreadErrorWithLastError(L"An error occurred while downloading the file", ERROR_INVALID_DATA);
        if (m_listener && haveLength && contentLength > 0)
            m_listener->onProgress(static_cast<double>(received) * 0.9 / contentLength, progressText);
    }
    // A connection that ends early must not leave a cut file behind as if complete.
    if (haveLength && received != contentLength)
        return _handleThreadErrorWithLastError(L"An error occurred while downloading the file", ERROR_INVALID_DATA);
    closeDownload();
    m_downloadPath.clear();
    return true;
}

bool SorvaSetupDecompressor::_downloadcomp()
{
    const std::wstring base = serviceBaseUrl();
    if (base.empty()) {
        writeLog(L"SorvaSetupDecompressor::_downloadcomp, no service address, component update skipped.");
        return true;
    }
    std::wstring folder = getAppDataDir();
    pathAppend(folder, L"component");
    createDirectories(folder);
    std::wstring listPath = folder;
    pathAppend(listPath, L"component.xml");

    // The list, read whole: it decides whether the archive is fetched and
    // then vouches for every file the archive brings.
    std::vector<ComponentFile> listed;
    bool needUpdate = true;
    if (_downloadFile(base + L"/tqsorva/component/component.xml", listPath, L"正在验证组件信息，请稍等...")) {
        needUpdate = false;
        CXmlDocument document;
        if (document.Load(listPath) && document.findElement(L"files") && document.enterElement()) {
            while (document.findElement(L"file")) {
                ComponentFile entry = {document.getAttribute(L"name"), document.getAttribute(L"md5")};
                if (!isSafeRelativeName(entry.name)) {
                    writeLog(L"SorvaSetupDecompressor::_downloadcomp, unsafe component name %s ignored.",
                             entry.name.c_str());
                    continue;
                }
                std::wstring file = folder;
                if (!pathAppend(file, entry.name) || !isPathExist(file) || !fileMatchesMd5(file, entry.md5))
                    needUpdate = true;
                listed.push_back(entry);
            }
        }
        if (!needUpdate)
            return true;
    }

    std::wstring archive = folder;
    pathAppend(archive, L"component.7z");
    if (!_downloadFile(base + L"/tqsorva/component/component.7z", archive, L"正在更新组件，请稍等..."))
        return false;
    CDiskOutputer outputer(folder, m_listener, false);
    ArchiveExtractOptions options;
    options.cancelled = [this] { return isStopRequested(); };
    // Room for what the archive announces, checked before its first byte is written.
    const unsigned long long room = availableBytes(folder);
    options.maxUnpackedBytes = room < m_maxUnpackedBytes ? room : m_maxUnpackedBytes;
    if (options.maxUnpackedBytes == 0)
        options.maxUnpackedBytes = 1;  // unknown free space: only an empty archive fits
    const bool extracted = extractArchiveFile(archive, outputer, options);
    DeleteFileW(archive.c_str());
    if (!extracted) {
        m_downloadPath = archive;
        _handleThreadErrorWithLastError(L"An error occurred while unzip 7z local file", GetLastError());
        return false;
    }
    return _verifyComponents(folder, listed);
}

bool SorvaSetupDecompressor::_verifyComponents(const std::wstring& folder, const std::vector<ComponentFile>& files)
{
    bool ok = true;
    for (const ComponentFile& entry : files) {
        std::wstring file = folder;
        if (!isSafeRelativeName(entry.name) || !pathAppend(file, entry.name)) {
            ok = false;
            continue;
        }
        if (!isPathExist(file)) {
            writeLog(L"SorvaSetupDecompressor::_verifyComponents, %s missing after the update.", file.c_str());
            ok = false;
            continue;
        }
        if (fileMatchesMd5(file, entry.md5))
            continue;
        ok = false;
        if (reachedThroughLink(folder, file)) {
            writeLog(L"SorvaSetupDecompressor::_verifyComponents, %s differs from the list but lies behind a link, "
                     L"left alone.", file.c_str());
            continue;
        }
        DWORD attributes = GetFileAttributesW(file.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            DeleteFileW(file.c_str());
        writeLog(L"SorvaSetupDecompressor::_verifyComponents, %s differs from the list, removed.", file.c_str());
    }
    return ok;
}
