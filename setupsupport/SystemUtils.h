// Free functions shared by the setup programs: paths and folders, the
// per-user data folders, processes and windows, the machine id, setup.ini
// and code-page conversions. Wide strings are UTF-16; "ANSI" is the
// system's ANSI code page.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// ---- Paths ----------------------------------------------------------------

// Upper case, "/" turned into "\\", runs of backslashes collapsed, no
// leading or trailing backslash.
std::wstring normalizePath(const std::wstring& path);
// md5Hex of the ANSI form of normalizePath(path); empty when that is empty.
std::wstring pathMd5Hex(const std::wstring& path);
// Removes leading and trailing blanks (U+0020 only).
void trimSpace(std::wstring& text);
// True when text holds any of / : * ? " < > |
bool hasInvalidPathChar(const std::wstring& text);
// The shell's path append within MAX_PATH; path unchanged and false on failure.
bool pathAppend(std::wstring& path, const std::wstring& more);
// Text up to and including the last "\\" (else "/"), trailing one ignored.
bool parentPath(const std::wstring& path, std::wstring& out);
// True for folders nothing may be installed into or deleted: drive roots,
// the Windows folder and below, the Program Files and ProgramData roots,
// the profile root, Desktop, Documents, the application-data roots and the
// product's per-user data folder itself. Compared after expanding short,
// relative and dotted forms, ignoring case.
bool isProtectedFolder(const std::wstring& path);
// A drive with free space, then at least one folder, no empty or invalid
// part, and not a protected folder.
bool isValidInstallPath(const std::wstring& path);
// Free megabytes available to the caller on path's drive root; 0 on failure.
double getDiskFreeSpaceMB(const std::wstring& path);

// The roaming application-data folder + "\\brenlo\\tqsorva" (created when
// missing), without a trailing backslash.
std::wstring getAppDataDir();
// getAppDataDir() + pathMd5Hex(installPath) + "\\", created on every call.
// Empty for an install path that normalises to nothing.
std::wstring getInstallDataDir(const std::wstring& installPath);

// ---- Files and folders ----------------------------------------------------

bool isPathExist(const std::wstring& path);
// Copies, overwriting, and logs the outcome.
bool copyFile(const std::wstring& from, const std::wstring& to);
// Copies a tree; links and junctions inside it are not followed (the link
// is not copied). A missing or empty source is success.
bool copyDirectory(const std::wstring& from, const std::wstring& to);
// Creates path and every missing parent, outermost first.
bool createDirectories(const std::wstring& path);
// Removes a tree. A link, junction or other reparse point (the folder
// itself too) is never entered and is removed itself only through a handle
// that really is the link (else it stays); an entry the system resolves to
// somewhere else (an unmarked link) stays and is logged. Failures are
// ignored. Does nothing for an empty or relative path or a protected folder.
void deleteDirectory(const std::wstring& path);
// Renames (moves) a file or folder: 0 on success, else the system's error.
int renameFile(const std::wstring& from, const std::wstring& to);

// ---- Links and reparse points ----------------------------------------------

// True for a listed entry marked as a reparse point (link, junction, ...).
bool isReparseEntry(const WIN32_FIND_DATAW& entry);
// Deletes a link, junction or other reparse point itself, opened as such;
// false (and nothing deleted) when the system hands out its target instead.
bool removeLinkItself(const std::wstring& path);
// The full path the system resolves path to ("\\?\" form); empty when it
// cannot be opened.
std::wstring resolvedPath(const std::wstring& path);
// True when entryPath, the entry entryName of a folder that resolves to
// resolvedFolder, resolves to another place: a link the listing did not
// mark. resolved (when given) receives that place. False when either path
// cannot be resolved.
bool resolvesElsewhere(const std::wstring& resolvedFolder, const std::wstring& entryPath,
                       const std::wstring& entryName, std::wstring* resolved = nullptr);

// ---- Processes and windows -------------------------------------------------

// Executable names of the processes that have a module of that name loaded
// (any letter case). False when the processes cannot be listed.
bool findProcessesUsingModule(const std::wstring& moduleName, std::vector<std::wstring>& list);
bool processHasModule(DWORD pid, const std::wstring& moduleName);
// First top-level window of pid whose class is className (any letter case).
HWND findProcessWindow(DWORD pid, const std::wstring& className);

// ---- Machine id and setup.ini ---------------------------------------------

// Adapter number "%02d" and the adapter's address bytes "%02X" each; empty
// when the system reports no adapter.
std::string getMacId();
// The per-user "setup.ini".
std::wstring setupIniPath();
std::string readMacIdFromSetupIni();
// Bytes as a URL query value: letters, digits and "-._~" stay, every other
// byte becomes "%XX", so "&", "#" or a blank cannot change the request.
std::wstring escapeUrlQueryValue(const std::string& bytes);
// The machine id of setup.ini, escaped for the statistics address.
std::wstring machineIdForUrl();
void writeSetupIni(const std::string& key, const std::string& value);
// The same on a given file.
std::string readMacIdFromIniFile(const std::wstring& file);
bool writeIniFileValue(const std::wstring& file, const std::string& key, const std::string& value);

// ---- Code pages --------------------------------------------------------------

std::string wideToNarrow(const std::wstring& text, UINT codePage = CP_ACP);
std::wstring narrowToWide(const std::string& text, UINT codePage = CP_ACP);
