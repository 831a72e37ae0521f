// Removal of what earlier installs left behind, run before an interactive
// install extracts its payload. Deletes only the product's own items.
#pragma once

#include <string>
#include <vector>

// The whole cleanup for the install folder (trailing backslash optional).
void cleanUpFile(const std::wstring& installPath);
// Deletes the older client's files in folder; a file that cannot be deleted
// is renamed to its name + ".old".
void cleanOldClientFiles(const std::wstring& folder);
// The version folders folder's "Launcher.xml" names (each one plain folder
// name that exists below folder); false when there is none or the file
// cannot be read.
bool readVersionFolders(const std::wstring& folder, std::vector<std::wstring>& list);
// Deletes the version folders and the product's own items of an earlier
// install in folder, then folder itself when nothing else is left. Does
// nothing for a folder without a readable "Launcher.xml" or a protected one.
void cleanOldVersionFolders(const std::wstring& folder);
// The earlier install's folder from the registry ("" when none exists).
std::wstring readEarlierInstallFolder();
// The older client's file names, relative to the install folder (the setup
// library's list).
const std::vector<std::wstring>& oldClientFileNames();
