// The environment check before anything is written: no other installer
// running, and, when the new camera filter differs from the installed one,
// no program holding the installed one.
#pragma once

#include "WorkerThread.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class SorvaSetupListener;
class SorvaSetupDecompressor;

class SorvaSetupChecker : public CWorkerThread {
public:
    // Pause between extracting the Check copy and comparing it.
    static constexpr DWORD kCompareDelayMs = 1000;

    explicit SorvaSetupChecker(SorvaSetupListener* listener = nullptr);
    ~SorvaSetupChecker() override;

    // async: on the worker thread (param set: skip the single-instance
    // test); else the whole check on this thread.
    bool start(bool async, int32_t param);
    void stop() { CWorkerThread::stop(); }
    void setListener(SorvaSetupListener* listener) { m_listener = listener; }
    void setPath(const std::wstring& path);
    // The module whose resource holds the payload (default: the program).
    void setResourceModule(HMODULE module) { m_resourceModule = module; }

    void checkEnvironment();
    // Extracts the Check copy and compares it with the installed filter at
    // once; the result (what compareFilterVersion reports).
    int checkFilterNow();
    // Compares the Check copy with the installed one and reports.
    void compareFilterVersion();
    // The result of the comparison without reporting it.
    int compareFilterVersionResult();
    // Removes the Check copy again when this run made it (a failed install).
    void removeCheckCopy();

    bool _isSetupExist();
    static bool getFileVersion(const std::wstring& path, uint16_t parts[4]);
    // The prompt text listing the programs that hold the installed filter;
    // empty when none does any longer.
    static std::wstring usingProgramsText();
    // Display name of a program for that prompt (its file name when unknown).
    static std::wstring displayName(const std::wstring& executable);

protected:
    void execute() override { checkEnvironment(); }

private:
    void report(int code);
    bool extractCheckCopy();

    SorvaSetupListener* m_listener;
    std::unique_ptr<SorvaSetupDecompressor> m_checkDecompressor;
    HMODULE m_resourceModule = nullptr;
    std::wstring m_installPath;
    std::wstring m_checkFilterPath;
    int32_t m_skipInstanceTest = 0;
};
