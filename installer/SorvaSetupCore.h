// Owns the install folder and its derived paths, the environment checker and
// the decompressor, and carries out the steps around the extracted files.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

class SorvaSetupListener;
class SorvaSetupChecker;
class SorvaSetupDecompressor;

class SorvaSetupCore {
public:
    static constexpr int kPathCount = 9;

    explicit SorvaSetupCore(SorvaSetupListener* listener);
    // After an extraction: registry values, then the filter's registration.
    ~SorvaSetupCore();
    SorvaSetupCore(const SorvaSetupCore&) = delete;
    SorvaSetupCore& operator=(const SorvaSetupCore&) = delete;

    void setPath(const std::wstring& path);
    std::wstring getPath(int index) const;
    const std::wstring& installPath() const { return m_installPath; }
    bool extracted() const { return m_extracted != 0; }

    // Forwarders for the controller.
    bool startCheck(bool async, int32_t param);
    void restartCheck(int32_t param);
    // Silent installs: the filter comparison once the path is accepted.
    int checkFilterNow();
    bool startDecompress(bool async);
    // Whether everything the install writes below path stays within the
    // system's path limits (for the payload of the resource module).
    bool payloadFitsPath(const std::wstring& path) const;
    void stopDecompress();
    // After a failed extraction: the Check copy goes too when this run made it.
    void removeCheckCopy();
    void forceQuit();
    void setSilent(bool silent);
    // The module whose resource holds the payload (default: the program).
    void setResourceModule(HMODULE module);

    void doAfterDecompress();
    // The finish page's start of the product: the registry values and the
    // filter's registration are done first (and then not again at exit).
    void runTqRun();
    // The registry values and the filter's registration, once, after an
    // extraction, waiting for the registration; false when it failed.
    bool finishRegistration();
    // The main window's machine id: written only when setup.ini has none,
    // as the adapter id followed by the current time in seconds.
    static void writeMachineIdIfMissing();
    void openFullInstaller();
    void sendInstallStastics();
    void mergeAuraeList();
    // Registers the Stable copy of the filter with the system's regsvr32 and
    // waits for it; true when regsvr32 reported success.
    bool RegsvrAxCom();

    // Starts program with "program" [ "parameters"] as its command line.
    static bool runExe(const std::wstring& program, const wchar_t* parameters, const std::wstring& workingFolder,
                       bool wait);
    // The command line runExe builds.
    static std::wstring commandLine(const std::wstring& program, const wchar_t* parameters);

    void _copyInstallFiles();
    void _createShortcut();
    void _fixPinnedShortcuts();
    void _do3XUpdate();
    void runTallyo();
    void _writeSetupFlags();
    void _writeRegedit();

    SorvaSetupChecker& checker() { return *m_checker; }
    SorvaSetupDecompressor& decompressor() { return *m_decompressor; }

private:
    std::unique_ptr<SorvaSetupChecker> m_checker;
    std::unique_ptr<SorvaSetupDecompressor> m_decompressor;
    std::wstring m_installPath;
    std::wstring m_paths[kPathCount];
    uint8_t m_extracted = 0;
    uint8_t m_registered = 0;
    uint8_t m_registrationFailed = 0;
};
