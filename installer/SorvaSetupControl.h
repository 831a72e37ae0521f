// The installer's controller: chooses the interactive or the silent install,
// owns the setup core, receives the workers' reports and sets the exit code.
#pragma once

#include "SorvaSetupCommands.h"
#include "SorvaSetupListener.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

class SorvaSetupCore;
class SorvaSetupUI;

class SorvaSetupControl : public SorvaSetupCommands, public SorvaSetupListener {
public:
    // commandLine: the process's command line (the program's own by default).
    explicit SorvaSetupControl(const std::wstring& commandLine = GetCommandLineW());
    ~SorvaSetupControl() override;
    SorvaSetupControl(const SorvaSetupControl&) = delete;
    SorvaSetupControl& operator=(const SorvaSetupControl&) = delete;

    // Commands of the setup windows.
    void restartCheck(int32_t param) override;
    void setPath(const std::wstring& path) override;
    void forceQuit() override;
    void startDecompress(bool async) override;
    void stopDecompress() override;
    void runTqRun() override;
    void openFullInstaller() override;

    // SorvaSetupListener.
    void onCheckResult(int code) override;
    void onTqRunning() override;
    void onProgress(double fraction, const std::wstring& text) override;
    void onDecompressFinish(int code) override;
    bool isSilent() override { return m_silent != 0; }

    int _analyzeInstallModel();
    int startSetup();
    void _initDefaultPath();
    void quitApplication(int code);
    void silentInstall();
    // The registry values and the filter's registration after an extraction
    // (once); false when the registration failed.
    bool finishRegistration();

    SorvaSetupCore& core() { return *m_core; }
    const std::wstring& path() const { return m_path; }

private:
    SorvaSetupUI* m_ui;
    std::unique_ptr<SorvaSetupCore> m_core;
    std::wstring m_commandLine;
    std::wstring m_path;
    uint8_t m_silent = 0;
    DWORD m_mainThread;
};
