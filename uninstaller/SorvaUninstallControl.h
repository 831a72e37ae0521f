// The uninstaller's controller: chooses the run model from the command line
// and drives the core; the windows' commands and the workers' reports come
// to it through its two interfaces.
#pragma once

#include "UninstallInterfaces.h"

#include <string>

class SorvaUninstallCore;
class SorvaUninstallUI;

// The four ways the uninstaller runs.
enum UninstallRunModel {
    kRunInteractive = 0,    // from the install folder, asking first
    kRunSilent = 1,         // "-silence": from the install folder, silently
    kRunDelete = 2,         // "-delete -path X": the relocated copy, with progress
    kRunSilentDelete = 3,   // "-silencedelete -path X": the relocated copy, silently
};

// The run model of a command line; for models 2 and 3 path gets the value
// after "-path" (which exists).
int uninstallRunModel(const std::wstring& commandLine, std::wstring& path);

class SorvaUninstallControl : public SorvaUninstallCommand, public SorvaUninstallListener {
public:
    SorvaUninstallControl();
    ~SorvaUninstallControl();
    SorvaUninstallControl(const SorvaUninstallControl&) = delete;
    SorvaUninstallControl& operator=(const SorvaUninstallControl&) = delete;

    // Both tables' slot 0.
    void DeletingDestructor(unsigned flags) override;
    void startCheck() override;

    void onProductRunning() override;
    void onCheckPassed() override;
    void onProgress(const wchar_t* path, int32_t done, int32_t total) override;
    void onCleanFinish() override;

    // Runs the model of commandLine (the program's own when null).
    void uninstall(const wchar_t* commandLine = nullptr);
    int runModel() const { return m_runModel; }

    SorvaUninstallCore* core() const { return m_core; }
    SorvaUninstallUI* ui() const { return m_ui; }

private:
    void _initPath();
    // Models 2 and 3: false (logged) when the path is no install of ours.
    bool _acceptDeletePath();

    SorvaUninstallCore* m_core;
    SorvaUninstallUI* m_ui;
    int m_runModel = -1;
};
