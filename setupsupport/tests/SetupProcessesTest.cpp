// Processes holding a module, a process's window, and the machine id.
#include "SystemUtils.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

namespace {

std::wstring besideThisProgram(const wchar_t* name)
{
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path = self;
    return path.substr(0, path.find_last_of(L'\\') + 1) + name;
}

// The helper program, running until the fixture ends.
class HelperProcess : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::wstring id = std::to_wstring(GetCurrentProcessId());
        std::wstring readyName = L"tq_setup_helper_ready_" + id;
        std::wstring quitName = L"tq_setup_helper_quit_" + id;
        ready = CreateEventW(nullptr, TRUE, FALSE, readyName.c_str());
        quit = CreateEventW(nullptr, TRUE, FALSE, quitName.c_str());
        std::wstring exe = besideThisProgram(L"setup_process_helper.exe");
        std::wstring commandLine = L"\"" + exe + L"\" " + readyName + L" " + quitName;
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        ASSERT_TRUE(CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                                   &process));
        HANDLE waits[2] = {ready, process.hProcess};
        ASSERT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(2, waits, FALSE, 60000)) << "helper did not get ready";
    }
    void TearDown() override
    {
        SetEvent(quit);
        if (process.hProcess) {
            if (WaitForSingleObject(process.hProcess, 30000) != WAIT_OBJECT_0)
                TerminateProcess(process.hProcess, 1);
            CloseHandle(process.hProcess);
            CloseHandle(process.hThread);
        }
        CloseHandle(ready);
        CloseHandle(quit);
    }
    HANDLE ready = nullptr;
    HANDLE quit = nullptr;
    PROCESS_INFORMATION process = {};
};

bool listed(const std::vector<std::wstring>& list, const wchar_t* name)
{
    return std::any_of(list.begin(), list.end(), [&](const std::wstring& item) {
        return CompareStringOrdinal(item.c_str(), -1, name, -1, TRUE) == CSTR_EQUAL;
    });
}

} // namespace

TEST_F(HelperProcess, FindsTheProcessesHoldingAModuleInAnyLetterCase)
{
    for (const wchar_t* name : {L"TqSetupMarker.dll", L"tqsetupmarker.DLL", L"TQSETUPMARKER.DLL"}) {
        std::vector<std::wstring> list = {L"stale entry"};
        ASSERT_TRUE(findProcessesUsingModule(name, list));
        EXPECT_TRUE(listed(list, L"setup_process_helper.exe")) << "module " << std::string(name, name + wcslen(name));
        EXPECT_FALSE(listed(list, L"stale entry"));
        EXPECT_TRUE(processHasModule(process.dwProcessId, name));
    }
    std::vector<std::wstring> none;
    ASSERT_TRUE(findProcessesUsingModule(L"NoSuchModule.ax", none));
    EXPECT_TRUE(none.empty());
    EXPECT_FALSE(processHasModule(GetCurrentProcessId(), L"TqSetupMarker.dll"));
}

TEST_F(HelperProcess, FindsTheProcessWindowByClass)
{
    HWND window = findProcessWindow(process.dwProcessId, L"tqsetuphelper WINDOW | 1");
    ASSERT_NE(nullptr, window);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    EXPECT_EQ(process.dwProcessId, owner);
    EXPECT_EQ(nullptr, findProcessWindow(process.dwProcessId, L"Other Class"));
    EXPECT_EQ(nullptr, findProcessWindow(GetCurrentProcessId(), L"TqSetupHelper Window | 1"));
}

TEST(MachineId, HasOneOfTheTwoForms)
{
    std::string id = getMacId();
    printf("machine id: \"%s\"\n", id.c_str());
    if (id.empty()) {
        // Only when the system reports no adapter at all.
        ULONG size = 0;
        HMODULE iphlp = LoadLibraryW(L"IPHLPAPI.DLL");
        ASSERT_NE(nullptr, iphlp);
        auto getAdaptersInfo = reinterpret_cast<DWORD(WINAPI*)(void*, PULONG)>(
            GetProcAddress(iphlp, "GetAdaptersInfo"));
        ASSERT_NE(nullptr, getAdaptersInfo);
        EXPECT_NE(static_cast<DWORD>(ERROR_BUFFER_OVERFLOW), getAdaptersInfo(nullptr, &size));
        return;
    }
    // Two decimal digits (adapter number or index) and hexadecimal address bytes.
    EXPECT_TRUE(std::regex_match(id, std::regex("[0-9]{2,}([0-9A-F]{2})+"))) << id;
    EXPECT_EQ(id, getMacId()) << "stable across calls";
}
