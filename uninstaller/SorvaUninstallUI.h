// The bridge from the workers' reports to the uninstaller's windows: every
// report becomes a message posted to the window's native handle.
#pragma once

#include "UninstallInterfaces.h"

class SorvaMainWindow;
class SorvaPromptWindow;

class SorvaUninstallUI {
public:
    SorvaUninstallUI();
    SorvaUninstallUI(const SorvaUninstallUI&) = delete;
    SorvaUninstallUI& operator=(const SorvaUninstallUI&) = delete;

    // Slot 0: releases the windows; flags bit 0 also frees the object.
    virtual void DeletingDestructor(unsigned flags);
    // Makes and shows the confirmation window (unless a receiver was given).
    virtual void showPrompt();
    virtual void showRetry();
    virtual void closePrompt();
    virtual void showProgress();
    virtual void onProgress(const wchar_t* path, int32_t done, int32_t total);
    // Without a progress window to show the end, the program ends.
    virtual void onCleanFinish();
    virtual void setControl(SorvaUninstallCommand* control);

    static void Destroy(SorvaUninstallUI* ui) { if (ui) ui->DeletingDestructor(1); }

    // The windows the messages go to (the windows' own, or a receiver).
    void setWindows(HWND prompt, HWND progress);
    HWND promptWindow() const { return m_prompt; }
    HWND progressWindow() const { return m_progress; }
    SorvaPromptWindow* promptFrame() const { return m_promptFrame; }
    SorvaMainWindow* progressFrame() const { return m_progressFrame; }
    SorvaUninstallCommand* control() const { return m_control; }

protected:
    ~SorvaUninstallUI();

private:
    // Ends the message loop of the thread that made the bridge.
    void quitApplication();
    bool post(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    SorvaPromptWindow* m_promptFrame = nullptr;
    SorvaMainWindow* m_progressFrame = nullptr;
    HWND m_prompt = nullptr;
    HWND m_progress = nullptr;
    SorvaUninstallCommand* m_control = nullptr;
    DWORD m_uiThread;
};
constexpr int kSorvaUninstallUISlots = 8;
