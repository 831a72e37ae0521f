// The bridge from the workers' reports to the setup windows: every report
// becomes a message posted to the check window or the main window. The
// receiving window frees the payloads of MSG_SHOW_MAIN_UI (wParam: new
// std::wstring) and MSG_PROGRESS (wParam: new double, lParam: new
// std::wstring); when a post fails, the bridge frees them itself.
#pragma once

#include <windows.h>

#include <string>

class SorvaSetupCommands;

// Creates the setup windows; the windows module registers one.
class SorvaSetupWindowFactory {
public:
    virtual ~SorvaSetupWindowFactory() = default;
    virtual HWND createCheckWindow(SorvaSetupCommands* control) = 0;
    virtual HWND createMainWindow(const std::wstring& path, SorvaSetupCommands* control) = 0;
    virtual void destroyWindow(HWND window) = 0;
};

class SorvaSetupUI {
public:
    static SorvaSetupUI* instance();
    static void release();

    static void setWindowFactory(SorvaSetupWindowFactory* factory);

    // False when this program has no setup windows (none registered).
    bool showCheckUI();
    void showSetupMainUI(const std::wstring& path);
    void setControl(SorvaSetupCommands* control) { m_control = control; }
    void onShowTqRunning();
    void onShowAxUsing();
    void onShowSetupExist();
    void onProgress(double fraction, const std::wstring& text);
    void onPrepareShowMainUI(const std::wstring& path);
    void onDecompressFinish();
    void onQuitSetup(int code);

    // The windows the messages go to (set by the windows as they open).
    void setCheckWindow(HWND window) { m_checkWindow = window; }
    void setMainWindow(HWND window) { m_mainWindow = window; }
    HWND checkWindow() const { return m_checkWindow; }
    HWND mainWindow() const { return m_mainWindow; }

private:
    SorvaSetupUI() = default;
    ~SorvaSetupUI();

    HWND m_checkWindow = nullptr;
    HWND m_mainWindow = nullptr;
    SorvaSetupCommands* m_control = nullptr;
};
