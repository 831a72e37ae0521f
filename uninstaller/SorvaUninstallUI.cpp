#include "SorvaUninstallUI.h"

#include "SetupLog.h"
#include "SorvaMainWindow.h"
#include "SorvaPromptWindow.h"

#include <new>
#include <string>

SorvaUninstallUI::SorvaUninstallUI() : m_uiThread(GetCurrentThreadId()) {}

SorvaUninstallUI::~SorvaUninstallUI()
{
    if (m_progressFrame) {
        m_progressFrame->closeWindow();
        delete m_progressFrame;
    }
    if (m_promptFrame) {
        m_promptFrame->close();
        delete m_promptFrame;
    }
    m_prompt = nullptr;
    m_progress = nullptr;
}

void SorvaUninstallUI::DeletingDestructor(unsigned flags)
{
    this->~SorvaUninstallUI();
    if (flags & 1)
        ::operator delete(this);
}

void SorvaUninstallUI::setWindows(HWND prompt, HWND progress)
{
    m_prompt = prompt;
    m_progress = progress;
}

void SorvaUninstallUI::setControl(SorvaUninstallCommand* control)
{
    m_control = control;
    if (m_promptFrame)
        m_promptFrame->setControl(control);
}

void SorvaUninstallUI::quitApplication() { PostThreadMessageW(m_uiThread, WM_QUIT, 0, 0); }

bool SorvaUninstallUI::post(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!window)
        return false;
    if (!PostMessageW(window, message, wParam, lParam)) {
        writeLog(L"SorvaUninstallUI::post, message %u not posted, last error is %d.", message,
                 static_cast<int>(GetLastError()));
        return false;
    }
    return true;
}

void SorvaUninstallUI::showPrompt()
{
    if (m_prompt && !m_promptFrame) {
        ShowWindow(m_prompt, SW_SHOWNORMAL);
        return;
    }
    if (!m_promptFrame) {
        m_promptFrame = new SorvaPromptWindow();
        m_promptFrame->setControl(m_control);
    }
    m_promptFrame->showWindow(SW_SHOWNORMAL);
    m_prompt = m_promptFrame->winId();
    if (!m_prompt) {
        writeLog(L"SorvaUninstallUI::showPrompt, no prompt window, uninstall ends.");
        quitApplication();
    }
}

void SorvaUninstallUI::showRetry() { post(m_prompt, MSG_UNINSTALL_RETRY, 0, 0); }

void SorvaUninstallUI::closePrompt() { post(m_prompt, MSG_UNINSTALL_CLOSE, 0, 0); }

void SorvaUninstallUI::showProgress()
{
    if (m_progress && !m_progressFrame) {
        ShowWindow(m_progress, SW_SHOWNORMAL);
        return;
    }
    if (!m_progressFrame)
        m_progressFrame = new SorvaMainWindow();
    m_progressFrame->showWindow(SW_SHOWNORMAL);
    m_progress = m_progressFrame->winId();
    if (!m_progress)
        writeLog(L"SorvaUninstallUI::showProgress, no progress window.");
}

void SorvaUninstallUI::onProgress(const wchar_t* path, int32_t done, int32_t total)
{
    if (!m_progress)
        return;
    auto* text = new (std::nothrow) std::wstring(path ? path : L"");
    auto* share = new (std::nothrow) double(total > 0 ? static_cast<double>(done) / total : 0.0);
    // The window frees what it receives; what was never posted is freed here.
    if (!text || !share || !post(m_progress, MSG_UNINSTALL_PROGRESS, reinterpret_cast<WPARAM>(text),
                                 reinterpret_cast<LPARAM>(share))) {
        delete text;
        delete share;
    }
}

void SorvaUninstallUI::onCleanFinish()
{
    if (!post(m_progress, MSG_UNINSTALL_FINISH, 0, 0))
        quitApplication();
}
