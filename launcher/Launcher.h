// TqSorva: chooses the version folder from "Launcher.xml", prepares the
// process for it, lets the updater decide and enters "mainframe.dll".
#pragma once

#include <string>
#include <vector>

class CXmlDocument;

struct LauncherVersion {
    std::wstring No;
    std::wstring Path;   // a folder name beside the launcher
    int First = 0;       // read, not used
    int Enable = 1;
    int Index = -1;

    void reset() { *this = LauncherVersion(); }
    bool isValid() const;
};

class CLauncher {
public:
    int Run(int argc, char** argv);

    bool loadLauncherXml(const std::wstring& path);
    bool readVersionInfos(CXmlDocument& document);
    bool readVersionInfo(CXmlDocument& document, LauncherVersion& entry);
    bool chooseVersion(LauncherVersion& entry) const;
    void applyVersionDir();

private:
    int enterMainLibrary(int argc, char** argv);

    std::vector<LauncherVersion> versions;
    std::wstring exeDir;
    std::wstring versionDir;
    std::wstring version;
};

// The launcher's own folder with a trailing backslash; empty without one.
std::wstring getExeDir();
// Files and folders alike.
bool fileExists(const std::wstring& path);
// Starts a program through the shell; with wait, returns its exit code.
// -1 when it could not be started or when not waiting.
int runProgram(const std::wstring& file, const std::wstring& parameters, bool wait);
// Only a single folder name: no separators, no drive, no "." or "..".
bool isPlainFolderName(const std::wstring& name);
