// Small services of the uninstaller: starting programs, telling an install
// folder of ours from any other folder, folder comparisons and the service
// address.
#pragma once

#include <windows.h>

#include <string>

// Starts program with commandLine as its whole command line (the program's
// own name is not in it), in the caller's working folder. With wait, waits
// up to 10 s. False when the line does not fit 4,096 characters or the
// process cannot be created.
bool runExeFile(const std::wstring& program, const std::wstring& commandLine, bool wait);

// Runs commandLine hidden (program found the system's way) and waits for it
// up to timeoutMs: the process's exit code, or -1 when it could not start or
// did not end in time.
int runHiddenAndWait(const std::wstring& commandLine, DWORD timeoutMs);

// True only for a folder the uninstaller may delete: an existing folder, not
// a link or junction nor reached through one, not a protected folder, holding a "Launcher.xml" whose
// root is "LauncherInfo" and the program "TqSorva.exe" or "Uninstall.exe".
// reason (when given) names what failed.
bool isRemovableInstallFolder(const std::wstring& path, std::wstring* reason = nullptr);

// Same text ignoring letter case (ordinal, as the file system compares names).
bool sameTextIgnoringCase(const std::wstring& a, const std::wstring& b);

// A process's program: its first module's path, or its image name when its
// modules cannot be listed (a process of the other bitness); empty when
// neither can be read.
std::wstring processProgramPath(DWORD pid);

// The running program's full path; its folder with a final "\\".
std::wstring runningProgramPath();
std::wstring runningProgramFolder();

// The maker's service address ("http://host[:port]", no final "/"): the
// environment variable TQ_SERVICE_URL, else the build's setting; empty when
// neither is set (requests are then skipped).
std::wstring serviceBaseUrl();
