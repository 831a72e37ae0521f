// The uninstaller's two internal interfaces and its window messages.
//
// Both tables are laid out as the setup programs' other interfaces are: the
// operations in their fixed order, a deleting-destructor slot first.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// What the windows ask of the controller.
class SorvaUninstallCommand {
public:
    // Slot 0: flags bit 0 frees the object, else it is only destroyed.
    virtual void DeletingDestructor(unsigned flags) = 0;
    // Checks (again) whether the product runs; the confirmation's OK and retry.
    virtual void startCheck() = 0;

protected:
    ~SorvaUninstallCommand() {}
};
constexpr int kSorvaUninstallCommandSlots = 2;

// Reports of the running-product check and the file cleaner, called on
// their threads (or on the main thread when the cleaner runs there).
class SorvaUninstallListener {
public:
    virtual void DeletingDestructor(unsigned flags) = 0;
    virtual void onProductRunning() = 0;
    virtual void onCheckPassed() = 0;
    // done / total is the share done; it passes 1 after total reports.
    virtual void onProgress(const wchar_t* path, int32_t done, int32_t total) = 0;
    virtual void onCleanFinish() = 0;

protected:
    ~SorvaUninstallListener() {}
};
constexpr int kSorvaUninstallListenerSlots = 5;

// Messages posted to the windows' native handles.
constexpr UINT MSG_UNINSTALL_RETRY = WM_USER + 200;     // prompt: 0, 0
constexpr UINT MSG_UNINSTALL_PROGRESS = WM_USER + 201;  // progress: new std::wstring*, new double*
constexpr UINT MSG_UNINSTALL_CLOSE = WM_USER + 202;     // prompt: 0, 0
constexpr UINT MSG_UNINSTALL_FINISH = WM_USER + 203;    // progress: 0, 0
static_assert(MSG_UNINSTALL_RETRY == 1224 && MSG_UNINSTALL_FINISH == 1227, "message numbers are fixed");

// The receiving window's side of MSG_UNINSTALL_PROGRESS: takes the path and
// the share out of the message's parameters and frees both.
void takeUninstallProgress(WPARAM wParam, LPARAM lParam, std::wstring& path, double& fraction);
