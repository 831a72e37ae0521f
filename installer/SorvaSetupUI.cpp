#include "SorvaSetupUI.h"

#include "SetupConstants.h"
#include "SetupLog.h"

using namespace setup;

namespace {

SorvaSetupUI* g_instance = nullptr;
SorvaSetupWindowFactory* g_factory = nullptr;

// A null window would make PostMessage a thread message to the caller: never post to it.
bool post(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return window && PostMessageW(window, message, wParam, lParam);
}

} // namespace

SorvaSetupUI* SorvaSetupUI::instance()
{
    if (!g_instance)
        g_instance = new SorvaSetupUI();
    return g_instance;
}

void SorvaSetupUI::release()
{
    delete g_instance;
    g_instance = nullptr;
}

void SorvaSetupUI::setWindowFactory(SorvaSetupWindowFactory* factory) { g_factory = factory; }

SorvaSetupUI::~SorvaSetupUI()
{
    if (g_factory) {
        if (m_mainWindow)
            g_factory->destroyWindow(m_mainWindow);
        if (m_checkWindow)
            g_factory->destroyWindow(m_checkWindow);
    }
}

bool SorvaSetupUI::showCheckUI()
{
    if (!g_factory) {
        writeLog(L"SorvaSetupUI::showCheckUI, no setup windows in this program.");
        return false;
    }
    m_checkWindow = g_factory->createCheckWindow(m_control);
    if (!m_checkWindow)
        return false;
    ShowWindow(m_checkWindow, SW_SHOW);
    return true;
}

void SorvaSetupUI::showSetupMainUI(const std::wstring& path)
{
    writeLog(L"SorvaSetupUI::showSetupMainUI, setup path is %s", path.c_str());
    if (!g_factory)
        return;
    m_mainWindow = g_factory->createMainWindow(path, m_control);
    if (m_mainWindow)
        ShowWindow(m_mainWindow, SW_SHOW);
}

void SorvaSetupUI::onShowTqRunning()
{
    writeLog(L"SorvaSetupUI::onShowTqRunning, post message MSG_TQ_RUNNING to main window.");
    post(m_mainWindow, MSG_TQ_RUNNING, 0, 0);
}

void SorvaSetupUI::onShowAxUsing()
{
    writeLog(L"SorvaSetupUI::onShowAxUsing, post message MSG_AX_USIMG to main window.");
    post(m_checkWindow, MSG_AX_USIMG, 0, 0);
}

void SorvaSetupUI::onShowSetupExist()
{
    writeLog(L"SorvaSetupUI::onShowSetupExist, post message MSG_SETUP_EXIST to check window.");
    post(m_checkWindow, MSG_SETUP_EXIST, 0, 0);
}

void SorvaSetupUI::onProgress(double fraction, const std::wstring& text)
{
    double* value = new double(fraction);
    std::wstring* message = new std::wstring(text);
    if (!post(m_mainWindow, MSG_PROGRESS, reinterpret_cast<WPARAM>(value),
                                       reinterpret_cast<LPARAM>(message))) {
        delete value;
        delete message;
    }
}

void SorvaSetupUI::onPrepareShowMainUI(const std::wstring& path)
{
    writeLog(L"SorvaSetupUI::onPrepareShowMainUI, post message MSG_SHOW_MAIN_UI to main window.");
    std::wstring* payload = new std::wstring(path);
    if (!post(m_checkWindow, MSG_SHOW_MAIN_UI, reinterpret_cast<WPARAM>(payload), 0))
        delete payload;
}

void SorvaSetupUI::onDecompressFinish()
{
    writeLog(L"SorvaSetupUI::onDecompressFinish, post message MSG_DECOMPRESS_FINISH to main window.");
    post(m_mainWindow, MSG_DECOMPRESS_FINISH, 0, 0);
}

void SorvaSetupUI::onQuitSetup(int code)
{
    writeLog(L"SorvaSetupUI::onQuitSetup, post message MSG_QUIT_SETUP to main window.");
    post(m_mainWindow, MSG_QUIT_SETUP, static_cast<WPARAM>(code), 0);
}
