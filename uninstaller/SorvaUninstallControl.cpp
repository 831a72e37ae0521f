#include "SorvaUninstallControl.h"

#include "KqCommandLine.h"
#include "SetupLog.h"
#include "SorvaUninstallCore.h"
#include "SorvaUninstallUI.h"
#include "SystemUtils.h"
#include "UninstallHelpers.h"
#include "UninstallNames.h"

namespace {

KqString toKq(const std::wstring& text)
{
    return KqString(reinterpret_cast<const KqChar*>(text.c_str()), static_cast<int>(text.size()));
}

std::wstring fromKq(const KqString& text)
{
    return std::wstring(reinterpret_cast<const wchar_t*>(text.data()), static_cast<size_t>(text.length()));
}

bool pathExists(const std::wstring& path)
{
    return !path.empty() && GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

int uninstallRunModel(const std::wstring& commandLine, std::wstring& path)
{
    KqCommandLine line(toKq(commandLine));
    if (line.hasOption(KqString("-silence")))
        return kRunSilent;
    std::wstring value = fromKq(line.optionValue(KqString("-path")));
    if (!pathExists(value))
        return kRunInteractive;
    if (line.hasOption(KqString("-delete"))) {
        path = value;
        return kRunDelete;
    }
    if (line.hasOption(KqString("-silencedelete"))) {
        path = value;
        return kRunSilentDelete;
    }
    return kRunInteractive;
}

SorvaUninstallControl::SorvaUninstallControl()
    : m_core(new SorvaUninstallCore(static_cast<SorvaUninstallListener*>(this))), m_ui(new SorvaUninstallUI())
{
    m_ui->setControl(static_cast<SorvaUninstallCommand*>(this));
}

SorvaUninstallControl::~SorvaUninstallControl()
{
    // The workers stop before the bridge they report to goes.
    delete m_core;
    SorvaUninstallUI::Destroy(m_ui);
}

void SorvaUninstallControl::DeletingDestructor(unsigned flags)
{
    this->~SorvaUninstallControl();
    if (flags & 1)
        ::operator delete(this);
}

void SorvaUninstallControl::startCheck() { m_core->startCheck(); }

void SorvaUninstallControl::onProductRunning() { m_ui->showRetry(); }

void SorvaUninstallControl::onCheckPassed()
{
    m_ui->closePrompt();
    // Only now, confirmed and with the product closed, does the camera go.
    m_core->unRegsvrAxComM();
    m_core->prepareUninstall();
}

void SorvaUninstallControl::onProgress(const wchar_t* path, int32_t done, int32_t total)
{
    Sleep(1);
    m_ui->onProgress(path, done, total);
}

void SorvaUninstallControl::onCleanFinish()
{
    m_core->deleteRegeditInfo();
    m_core->deleteShortcuts();
    m_ui->onCleanFinish();
}

void SorvaUninstallControl::_initPath()
{
    std::wstring folder = runningProgramFolder();
    writeLog(L"SorvaUninstallControl::_initPath, current path is : %s", folder.c_str());
    m_core->setPath(folder);
}

bool SorvaUninstallControl::_acceptDeletePath()
{
    // Checked and deleted in the one form the system opens ("\\.\C:\x",
    // "c:/x/", "C:\PROGRA~1\x" name C:\...\x); a device has none.
    std::wstring full = fullLongPath(m_core->path());
    if (full.empty()) {
        writeLog(L"SorvaUninstallControl::uninstall, %s is not an install folder (a device path), nothing deleted.",
                 m_core->path().c_str());
        return false;
    }
    m_core->setPath(full);
    std::wstring reason;
    if (isRemovableInstallFolder(m_core->path(), &reason))
        return true;
    writeLog(L"SorvaUninstallControl::uninstall, %s is not an install folder (%s), nothing deleted.",
             m_core->path().c_str(), reason.c_str());
    return false;
}

void SorvaUninstallControl::uninstall(const wchar_t* commandLine)
{
    m_core->sendInstallStastics();
    std::wstring path;
    m_runModel = uninstallRunModel(commandLine ? commandLine : GetCommandLineW(), path);
    writeLog(L"SorvaUninstallControl::uninstall, run model is %d.", m_runModel);
    switch (m_runModel) {
    case kRunInteractive:
        _initPath();
        m_ui->showPrompt();
        break;
    case kRunSilent:
        _initPath();
        m_core->unRegsvrAxComM();
        m_core->setSilent(true);
        m_core->prepareUninstall();
        PostQuitMessage(0);
        break;
    case kRunDelete:
        SorvaUninstallCore::scheduleSelfRemoval();
        m_core->setPath(path);
        if (!_acceptDeletePath()) {
            PostQuitMessage(uninstall::kExitRefusedPath);
            break;
        }
        m_ui->showProgress();
        m_core->startClean(true);
        break;
    case kRunSilentDelete:
        SorvaUninstallCore::scheduleSelfRemoval();
        m_core->setPath(path);
        m_core->setSilent(true);
        if (!_acceptDeletePath()) {
            PostQuitMessage(uninstall::kExitRefusedPath);
            break;
        }
        m_core->startClean(false);
        // The silent chain leaves nothing pointing at the deleted files.
        if (m_core->cleanAccepted()) {
            m_core->deleteRegeditInfo();
            m_core->deleteShortcuts();
        }
        PostQuitMessage(m_core->cleanAccepted() ? 0 : uninstall::kExitRefusedPath);
        break;
    }
}
