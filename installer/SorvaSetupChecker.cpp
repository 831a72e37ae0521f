#include "SorvaSetupChecker.h"

#include "SetupConstants.h"
#include "SetupLog.h"
#include "SorvaSetupDecompressor.h"
#include "SorvaSetupListener.h"
#include "SystemUtils.h"

#include <vector>

using namespace setup;

namespace {

// Held for the whole process once this installer is the first one.
HANDLE g_instanceMutex = nullptr;

} // namespace

SorvaSetupChecker::SorvaSetupChecker(SorvaSetupListener* listener) : m_listener(listener) {}

SorvaSetupChecker::~SorvaSetupChecker()
{
    CWorkerThread::stop();
}

void SorvaSetupChecker::setPath(const std::wstring& path)
{
    m_installPath = path;
    if (!m_installPath.empty() && m_installPath.back() != L'\\')
        m_installPath += L'\\';
}

bool SorvaSetupChecker::start(bool async, int32_t param)
{
    if (async) {
        m_skipInstanceTest = param;
        return CWorkerThread::start(param);
    }
    checkEnvironment();
    return true;
}

void SorvaSetupChecker::report(int code)
{
    if (m_listener)
        m_listener->onCheckResult(code);
}

bool SorvaSetupChecker::_isSetupExist()
{
    HANDLE mutex = CreateMutexW(nullptr, FALSE, kSingleInstanceMutex);
    if (!mutex)
        return false;
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        // Ours from an earlier check of this process counts as ours.
        if (g_instanceMutex) {
            CloseHandle(mutex);
            return false;
        }
        CloseHandle(mutex);
        return true;
    }
    if (g_instanceMutex)
        CloseHandle(mutex);
    else
        g_instanceMutex = mutex;
    return false;
}

bool SorvaSetupChecker::extractCheckCopy()
{
    m_checkDecompressor.reset(new SorvaSetupDecompressor(nullptr));
    m_checkDecompressor->setResourceModule(m_resourceModule);
    m_checkDecompressor->setPath(m_installPath);
    return m_checkDecompressor->_decompressCheckFile(m_installPath);
}

void SorvaSetupChecker::checkEnvironment()
{
    if (!m_skipInstanceTest && _isSetupExist()) {
        writeLog(L"Check step, _isSetupExist return false [CR_SetupExist].");
        report(CR_SetupExist);
        return;
    }
    if (m_listener && m_listener->isSilent()) {
        // Silent installs compare the filters once the path is accepted.
        writeLog(L"Check step finish, return [CR_Success].");
        report(CR_Success);
        return;
    }
    if (!m_checkFilterPath.empty() && isPathExist(m_checkFilterPath)) {
        compareFilterVersion();
        return;
    }
    extractCheckCopy();
    // The pause runs here on the checker's own thread, polling the stop flag.
    for (DWORD waited = 0; waited < kCompareDelayMs; waited += 10) {
        if (isStopRequested())
            return;
        Sleep(10);
    }
    compareFilterVersion();
}

void SorvaSetupChecker::removeCheckCopy()
{
    if (m_checkDecompressor)
        m_checkDecompressor->removeCheckCopy();
}

int SorvaSetupChecker::checkFilterNow()
{
    extractCheckCopy();
    return compareFilterVersionResult();
}

bool SorvaSetupChecker::getFileVersion(const std::wstring& path, uint16_t parts[4])
{
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
    if (size == 0)
        return false;
    std::vector<BYTE> block(size);
    if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data()))
        return false;
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &length) || !info ||
        length < sizeof(VS_FIXEDFILEINFO))
        return false;
    parts[0] = HIWORD(info->dwFileVersionMS);
    parts[1] = LOWORD(info->dwFileVersionMS);
    parts[2] = HIWORD(info->dwFileVersionLS);
    parts[3] = LOWORD(info->dwFileVersionLS);
    return true;
}

int SorvaSetupChecker::compareFilterVersionResult()
{
    std::wstring stable = m_installPath;
    pathAppend(stable, L"Stable");
    pathAppend(stable, kFilterName);
    std::wstring check = m_installPath;
    pathAppend(check, L"Check");
    pathAppend(check, kFilterName);
    m_checkFilterPath = check;

    uint16_t stableVersion[4] = {}, checkVersion[4] = {};
    if (!getFileVersion(stable, stableVersion))
        return CR_Success;
    // A Check copy whose version cannot be read counts as different.
    if (getFileVersion(check, checkVersion) && std::equal(stableVersion, stableVersion + 4, checkVersion))
        return CR_Success;

    std::vector<std::wstring> programs;
    if (!findProcessesUsingModule(kFilterName, programs) || programs.empty())
        return CR_Success;
    for (const std::wstring& program : programs)
        writeLog(L"Check step, process [%s] are using VirtualCam now [CR_SetupVirtualCamUsing].", program.c_str());
    return CR_SetupVirtualCamUsing;
}

void SorvaSetupChecker::compareFilterVersion()
{
    report(compareFilterVersionResult());
}

std::wstring SorvaSetupChecker::displayName(const std::wstring& executable)
{
    static const struct { const wchar_t* executable; const wchar_t* name; } names[] = {
        {L"TqSorva.exe", L"TqNelu"}, {L"Tq.exe", L"Tq语音"}, {L"Zm.exe", L"Zm即时通"}};
    for (const auto& entry : names) {
        if (_wcsicmp(entry.executable, executable.c_str()) == 0)
            return entry.name;
    }
    return executable;
}

std::wstring SorvaSetupChecker::usingProgramsText()
{
    std::vector<std::wstring> programs;
    if (!findProcessesUsingModule(kFilterName, programs) || programs.empty())
        return std::wstring();
    std::wstring list;
    for (size_t i = 0; i < programs.size(); ++i)
        list += (i ? L"\n" : L"") + displayName(programs[i]);
    return L"检测到以下程序正在使用tqNelu虚拟摄像头，\n请先关闭以下程序后再重新运行安装程序。\n[" + list + L"]";
}
