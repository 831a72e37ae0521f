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
// The absolute, long form of path as the system opens it: "\\?\", "\\.\"
// and "\??\" taken off ("\\?\UNC\" becomes "\\"), "/" made "\\", ".."
// resolved, the trailing dots and blanks of every part dropped, short
// aliases expanded where they exist; no trailing backslash (except a drive
// root). Empty for a device ("\\.\C:", "\\?\Volume{...}", "C:\x\NUL").
std::wstring fullLongPath(const std::wstring& path);
// One folder written two ways (forms above, letter case); false when either
// cannot be named.
bool isSameFolder(const std::wstring& a, const std::wstring& b);
// True for folders nothing may be installed into or deleted: drive roots,
// the Windows folder and below, the user's and the system's known folders
// (profile, Desktop, Documents, Downloads, AppData, Local, Roaming, the
// Program Files and ProgramData roots, the Start Menu, ...) and every folder
// above one of them, the product's per-user data folder itself, and device
// paths. Compared in the form fullLongPath gives, ignoring case.
bool isProtectedFolder(const std::wstring& path);
// "CON", "NUL", "AUX", "PRN", "COM1"-"COM9", "LPT1"-"LPT9", "CONIN$",
// "CONOUT$", with any extension: a name the system opens as a device.
bool isDeviceName(const std::wstring& part);
// A drive with free space, then at least one folder, no empty or invalid
// part, no part ending in a dot or blank or naming a device, and not a
// protected folder.
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

// True when path exists and leads where its name says: neither it nor a
// folder above it is a link or junction to somewhere else (its final path,
// the last part opened as itself, is its own long full path). resolved (when
// given) receives the final path. False when path cannot be opened.
bool isLinkFreePath(const std::wstring& path, std::wstring* resolved = nullptr);

// ---- What the product puts into its install folder ------------------------

// The plain folder names the "Launcher.xml" in installFolder lists (its
// "Path", else "No", else "version" attribute); names that could leave the
// folder are left out (into ignored, when given). False when there is none.
bool readLauncherVersionNames(const std::wstring& installFolder, std::vector<std::wstring>& names,
                              std::vector<std::wstring>* ignored = nullptr);
// The items the product itself puts at the top of installFolder: its
// programs and lists, "Stable", "Check", the runtime folder, the files it
// writes there, the maker's older client's files, and the version folders
// that folder's "Launcher.xml" names (read now). Everything else there
// belongs to someone else and stays when an install is removed.
std::vector<std::wstring> productItemNames(const std::wstring& installFolder);
// The older client's file names among them.
const std::vector<std::wstring>& oldClientFileNames();
// Is name (one entry at the top of the install folder) in names? Any case.
bool isProductItem(const std::vector<std::wstring>& names, const std::wstring& name);

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
