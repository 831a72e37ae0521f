// Names the uninstaller shares with the installer's layout of an install.
#pragma once

#include <windows.h>

#include <cstddef>

namespace uninstall {

constexpr const wchar_t* kVersion = L"1.0.3.0";
constexpr const wchar_t* kLogFileName = L"unistV2.log";
constexpr const wchar_t* kLauncherFile = L"TqSorva.exe";
constexpr const wchar_t* kUninstallFile = L"Uninstall.exe";
constexpr const wchar_t* kLauncherXml = L"Launcher.xml";
constexpr const wchar_t* kFilterFile = L"TqVirtualCam.ax";
constexpr const wchar_t* kTallyoFile = L"tallyo.exe";
constexpr const wchar_t* kProductInfoFile = L"ProductInfo.txt";
constexpr const wchar_t* kRelocatedFile = L"uninstall.exe";
constexpr const wchar_t* kLinkName = L"TqNelu";
constexpr const wchar_t* kUninstallLinkName = L"\u5378\u8f7dTqNelu";  // "卸载TqNelu"

constexpr const wchar_t* kRunKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const wchar_t* kRunValue = L"TqSorva";
constexpr const wchar_t* kMakerKey = L"Software\\brenlo";
constexpr const wchar_t* kComKey = L"Software\\brenlo\\com.tq.tqsorva";
constexpr const wchar_t* kProductKey = L"Software\\brenlo\\tqsorva";
constexpr const wchar_t* kUninstallEntryKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\TqSorva";

// Exit code of a relocated copy given a folder it refuses to delete (the
// installer's code for an invalid path).
constexpr int kExitRefusedPath = -3;

// Longest command line runExeFile hands to a new process, terminator included.
constexpr size_t kCommandBufferChars = 4096;
// How long a started helper (tallyo, regsvr32) is waited for.
constexpr DWORD kHelperWaitMs = 10000;
// How long a program of the install folder gets to end before it is terminated.
constexpr DWORD kProgramEndWaitMs = 500;

}  // namespace uninstall
