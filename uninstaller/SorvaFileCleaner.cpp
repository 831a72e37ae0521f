#include "SorvaFileCleaner.h"

#include "SetupLog.h"
#include "SystemUtils.h"
#include "UninstallHelpers.h"
#include "UninstallNames.h"

#include <tlhelp32.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int32_t g_progressCount = 0;

bool isDotEntry(const wchar_t* name)
{
    return wcscmp(name, L".") == 0 || wcscmp(name, L"..") == 0;
}

std::wstring folderOf(const std::wstring& path)
{
    size_t cut = path.find_last_of(L'\\');
    return cut == std::wstring::npos ? std::wstring() : path.substr(0, cut + 1);
}

}  // namespace

SorvaFileCleaner::~SorvaFileCleaner()
{
    stop();
    if (m_accepted && !m_path.empty())
        RemoveDirectoryW(m_path.c_str());
}

void SorvaFileCleaner::setPath(const std::wstring& path)
{
    if (path.empty()) {
        writeLog(L"SorvaFileCleaner::setPath, path is empty.");
        return;
    }
    writeLog(L"SorvaFileCleaner::setPath, path is %s.", path.c_str());
    m_path = path;
    if (m_path.back() != L'\\')
        m_path += L'\\';
}

int32_t SorvaFileCleaner::progressCount() { return g_progressCount; }
void SorvaFileCleaner::resetProgressCount() { g_progressCount = 0; }

int SorvaFileCleaner::productInfoNumber(const std::wstring& installPath)
{
    FILE* file = _wfopen((installPath + uninstall::kProductInfoFile).c_str(), L"rb");
    if (!file)
        return 1;
    char line[1024] = {};
    size_t got = fread(line, 1, sizeof line - 1, file);
    fclose(file);
    line[got] = '\0';
    const char* text = line;
    // Only a real UTF-8 byte-order mark is skipped.
    if (got >= 3 && static_cast<unsigned char>(line[0]) == 0xEF && static_cast<unsigned char>(line[1]) == 0xBB
        && static_cast<unsigned char>(line[2]) == 0xBF)
        text += 3;
    const char* end = text + strcspn(text, "\r\n");
    const char* equals = static_cast<const char*>(memchr(text, '=', static_cast<size_t>(end - text)));
    if (!equals || equals + 1 >= end)
        return 1;
    // Its leading integer, as the C library reads one; out-of-range values
    // are held to the int range rather than wrapping.
    const std::string value(equals + 1, end);  // this line only
    long number = strtol(value.c_str(), nullptr, 10);
    if (number > INT_MAX)
        number = INT_MAX;
    if (number < INT_MIN)
        number = INT_MIN;
    return number == 0 ? 1 : static_cast<int>(number);
}

void SorvaFileCleaner::reportProgress(const std::wstring& path)
{
    if (!m_listener)
        return;
    ++g_progressCount;
    m_listener->onProgress(path.c_str(), g_progressCount, kProgressTotal);
}

void SorvaFileCleaner::execute()
{
    writeLog(L"SorvaFileCleaner::execute begin.");
    m_accepted = false;
    std::wstring reason;
    if (!m_path.empty() && !isRemovableInstallFolder(m_path, &reason)) {
        writeLog(L"SorvaFileCleaner::execute, %s is not an install folder (%s), nothing deleted.", m_path.c_str(),
                 reason.c_str());
        return;
    }
    // The install folder must not be held as our current folder.
    SetCurrentDirectoryW(runningProgramFolder().c_str());
    reportProgress(m_path + L"UnInstall.exe");
    if (m_path.empty()) {
        writeLog(L"Begin delete files, directory is %s", m_path.c_str());
        writeLog(L"Exception case.");
        return;
    }
    m_accepted = true;
    _startTallyo();
    _endInstallFolderPrograms();
    writeLog(L"Begin delete files, directory is %s", m_path.c_str());
    // Read before anything goes: "Launcher.xml" names the version folders.
    const std::vector<std::wstring> items = productItemNames(m_path);
    _deleteDirectory(m_path, &items);
    writeLog(L"End delete files.");
    if (!RemoveDirectoryW(m_path.c_str()))
        writeLog(L"RemoveDirectory %s fail, last error is %d", m_path.c_str(), static_cast<int>(GetLastError()));
    if (m_listener)
        m_listener->onCleanFinish();
}

void SorvaFileCleaner::_startTallyo()
{
    wchar_t parameters[64] = {};
    swprintf(parameters, 64, L"\"|%ls|%d|u|\"", uninstall::kVersion, productInfoNumber(m_path));
    std::wstring program = m_path + uninstall::kVersion + L"\\" + uninstall::kTallyoFile;
    reportProgress(program);
    runExeFile(program, parameters, true);
    writeLog(L"SorvaFileCleaner::_startTallyo, path is %s, parameter is %s", program.c_str(), parameters);
}

void SorvaFileCleaner::_endInstallFolderPrograms()
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return;
    const DWORD self = GetCurrentProcessId();
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        // A relocated copy started in the install folder itself goes on.
        if (entry.th32ProcessID == self || entry.th32ProcessID == 0)
            continue;
        std::wstring folder = folderOf(processProgramPath(entry.th32ProcessID));
        if (folder.empty() || !isSameFolder(folder, m_path))
            continue;
        HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, entry.th32ProcessID);
        if (!process)
            continue;
        if (WaitForSingleObject(process, uninstall::kProgramEndWaitMs) == WAIT_TIMEOUT) {
            writeLog(L"SorvaFileCleaner::_endInstallFolderPrograms, terminate %s.", entry.szExeFile);
            TerminateProcess(process, 0);
            // Its files are deleted next: let the end take effect first.
            WaitForSingleObject(process, uninstall::kProgramEndWaitMs);
        }
        CloseHandle(process);
    }
    CloseHandle(snapshot);
}

void SorvaFileCleaner::_deleteDirectory(const std::wstring& folder, const std::vector<std::wstring>* only)
{
    if (folder.empty()) {
        writeLog(L"SorvaFileCleaner::_deleteDirectory, directory is empty.");
        return;
    }
    // Where this folder's entries really are: an entry whose resolved path is
    // elsewhere is a link (some systems do not mark file links), and deleting
    // it by name could delete its target.
    const std::wstring resolvedFolder = resolvedPath(folder);
    WIN32_FIND_DATAW entry = {};
    HANDLE find = FindFirstFileW((folder + L"\\*.*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        if (isDotEntry(entry.cFileName))
            continue;
        std::wstring child = folder + L"\\" + entry.cFileName;
        // The install folder may hold someone else's files: they stay.
        if (only && !isProductItem(*only, entry.cFileName)) {
            writeLog(L"keep %s, not put there by the product", child.c_str());
            continue;
        }
        const bool isFolder = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        std::wstring target;
        if (isReparseEntry(entry)) {
            // A link or junction goes itself; what it points at stays.
            if (removeLinkItself(child))
                writeLog(L"delete link %s success", child.c_str());
            else
                writeLog(L"delete link %s fail, left in place", child.c_str());
        } else if (isFolder) {
            if (resolvesElsewhere(resolvedFolder, child, entry.cFileName, &target)) {
                writeLog(L"delete link %s fail, it leads to %s, left in place", child.c_str(), target.c_str());
                continue;
            }
            _deleteDirectory(child);
            RemoveDirectoryW(child.c_str());
        } else {
            if (resolvesElsewhere(resolvedFolder, child, entry.cFileName, &target))
                writeLog(L"delete link %s fail, it leads to %s, left in place", child.c_str(), target.c_str());
            else if (DeleteFileW(child.c_str()))
                writeLog(L"delete file %s success", child.c_str());
            else
                writeLog(L"delete file %s fail, last error is %d", child.c_str(), static_cast<int>(GetLastError()));
            reportProgress(child);
        }
    } while (FindNextFileW(find, &entry));
    FindClose(find);
}
