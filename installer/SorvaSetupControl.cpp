#include "SorvaSetupControl.h"

#include "SetupConstants.h"
#include "SetupLog.h"
#include "SorvaSetupCore.h"
#include "SorvaSetupUI.h"
#include "SystemUtils.h"

#include <shellapi.h>
#include <shlobj.h>

#include <vector>

using namespace setup;

namespace {

std::vector<std::wstring> splitCommandLine(const std::wstring& line)
{
    std::vector<std::wstring> words;
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(line.c_str(), &count);
    if (!argv)
        return words;
    for (int i = 0; i < count; ++i)
        words.emplace_back(argv[i]);
    LocalFree(argv);
    return words;
}

const wchar_t* decompressResultName(int code)
{
    switch (code) {
    case DR_DecompressInstallFailed: return L"DR_DecompressInstallFailed";
    case DR_DecompressComponentFailed: return L"DR_DecompressComponentFailed";
    case DR_DownloadComponentFailed: return L"DR_DownloadComponentFailed";
    default: return nullptr;
    }
}

} // namespace

SorvaSetupControl::SorvaSetupControl(const std::wstring& commandLine)
    : m_ui(SorvaSetupUI::instance()), m_core(new SorvaSetupCore(this)), m_commandLine(commandLine),
      m_mainThread(GetCurrentThreadId())
{
    m_ui->setControl(this);
}

SorvaSetupControl::~SorvaSetupControl()
{
    m_core.reset();
    SorvaSetupUI::release();
}

void SorvaSetupControl::restartCheck(int32_t param) { m_core->restartCheck(param); }

void SorvaSetupControl::setPath(const std::wstring& path)
{
    m_path = path;
    m_core->setPath(path);
}

void SorvaSetupControl::forceQuit() { m_core->forceQuit(); }

void SorvaSetupControl::startDecompress(bool async) { m_core->startDecompress(async); }

void SorvaSetupControl::stopDecompress() { m_core->stopDecompress(); }

void SorvaSetupControl::runTqRun() { m_core->runTqRun(); }

void SorvaSetupControl::openFullInstaller() { m_core->openFullInstaller(); }

bool SorvaSetupControl::finishRegistration() { return m_core->finishRegistration(); }

void SorvaSetupControl::onCheckResult(int code)
{
    switch (code) {
    case CR_Success:
        writeLog(L"Check result is CR_Success, and then prepare to decompress.");
        if (m_silent)
            silentInstall();
        else
            m_ui->onPrepareShowMainUI(m_path);
        break;
    case CR_SetupExist:
        writeLog(L"Check result is CR_SetupExist");
        if (m_silent)
            quitApplication(kExitSetupExist);
        else
            m_ui->onShowSetupExist();
        break;
    case CR_SetupVirtualCamUsing:
        writeLog(L"Check result is CR_SetupVirtualCamUsing.");
        if (m_silent)
            quitApplication(kExitFilterInUse);
        else
            m_ui->onShowAxUsing();
        break;
    default:
        break;
    }
}

void SorvaSetupControl::onTqRunning()
{
    if (!m_silent)
        m_ui->onShowTqRunning();
}

void SorvaSetupControl::onProgress(double fraction, const std::wstring& text)
{
    if (!m_silent)
        m_ui->onProgress(fraction, text);
}

void SorvaSetupControl::onDecompressFinish(int code)
{
    if (code == DR_Success) {
        writeLog(L"SorvaSetupControl::onDecompressFinish, DR_Success.");
        m_core->doAfterDecompress();
        // A silent caller learns from the exit code whether the camera works.
        if (m_silent)
            quitApplication(m_core->finishRegistration() ? 0 : kExitRegisterFailed);
        else
            m_ui->onDecompressFinish();
        return;
    }
    const wchar_t* name = decompressResultName(code);
    if (!name)
        return;
    writeLog(L"SorvaSetupControl::onDecompressFinish, %s.", name);
    if (code == DR_DecompressInstallFailed)
        m_core->removeCheckCopy();
    if (m_silent)
        quitApplication(kExitExtractFailed);
    else
        m_ui->onQuitSetup(code);
}

int SorvaSetupControl::_analyzeInstallModel()
{
    std::vector<std::wstring> words = splitCommandLine(m_commandLine);
    for (size_t i = 0; i < words.size(); ++i) {
        if (words[i] != L"-silence")
            continue;
        m_core->setSilent(true);
        std::wstring path = i + 1 < words.size() ? words[i + 1] : std::wstring();
        m_silent = 1;
        if (path.empty())
            _initDefaultPath();
        else
            setPath(path);
        writeLog(L"SorvaSetupControl::_analyzeInstallModel, silence mode, setup path is %s", m_path.c_str());
        return 1;
    }
    return 0;
}

int SorvaSetupControl::startSetup()
{
    int model = _analyzeInstallModel();
    writeLog(L"SorvaSetupControl::startSetup, install model is %d.", model);
    if (model == 0) {
        _initDefaultPath();
        writeLog(L"Async check environment.");
        if (!m_ui->showCheckUI()) {
            // Without a window nobody could answer the check: end instead of waiting unseen.
            quitApplication(0);
            return 0;
        }
        m_core->startCheck(true, 0);
    } else {
        m_core->startCheck(false, 0);
    }
    return 0;
}

void SorvaSetupControl::_initDefaultPath()
{
    wchar_t folder[MAX_PATH] = {};
    std::wstring path;
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder)) && folder[0])
        path = std::wstring(folder) + L"\\brenlo\\tqsorva";
    else
        path = L"C:\\Program Files\\brenlo\\tqsorva";
    setPath(path);
    writeLog(L"Initialized setup path is %s", path.c_str());
}

void SorvaSetupControl::quitApplication(int code)
{
    writeLog(L"Quit application, exit code is %d", code);
    // The message loop runs on the thread that built the controller.
    if (GetCurrentThreadId() == m_mainThread)
        PostQuitMessage(code);
    else
        PostThreadMessageW(m_mainThread, WM_QUIT, static_cast<WPARAM>(code), 0);
}

void SorvaSetupControl::silentInstall()
{
    if (!isValidInstallPath(m_path) || !m_core->payloadFitsPath(m_path)) {
        quitApplication(kExitInvalidPath);
        return;
    }
    m_core->setPath(m_path);
    // The filters are compared once the path is known to be acceptable.
    if (m_core->checkFilterNow() == CR_SetupVirtualCamUsing) {
        onCheckResult(CR_SetupVirtualCamUsing);
        return;
    }
    m_core->startDecompress(false);
}
