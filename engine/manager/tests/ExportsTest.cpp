// lumeo.dll as the main-window library loads it: by name, exports by their
// decorated names, and the request record seen from another process.
#include "IVcamManger.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::wstring BinFolder()
{
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p(path);
    return p.substr(0, p.find_last_of(L"\\/") + 1);
}

DWORD RunPeer(const std::wstring& arguments)
{
    std::wstring command = L"\"" + BinFolder() + L"framepeer.exe\" " + arguments;
    STARTUPINFOW si = {sizeof si};
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return 0xBAD;
    WaitForSingleObject(pi.hProcess, 60000);
    DWORD code = 0xDEAD;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
}

class Lumeo : public ::testing::Test {
protected:
    void SetUp() override
    {
        module = LoadLibraryW(L"lumeo.dll");
        ASSERT_NE(nullptr, module);
        get = reinterpret_cast<GetVcamMangerFn>(GetProcAddress(module, "_getVcamManger@0"));
        release = reinterpret_cast<ReleaseVcamMangerFn>(GetProcAddress(module, "_releaseVcamManger@0"));
        ASSERT_NE(nullptr, get);
        ASSERT_NE(nullptr, release);
    }
    void TearDown() override
    {
        if (release)
            release();
        FreeLibrary(module);
    }
    HMODULE module = nullptr;
    GetVcamMangerFn get = nullptr;
    ReleaseVcamMangerFn release = nullptr;
};

} // namespace

TEST_F(Lumeo, ExportsHandOutOneManagerUntilReleased)
{
    release();  // with no manager: nothing happens
    IVcamManger* first = get();
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(first, get());
    EXPECT_NE(nullptr, first->GetLevelValue());
    release();
    IVcamManger* second = get();
    ASSERT_NE(nullptr, second);
    EXPECT_NE(nullptr, second->GetCaptureVideo());
}

TEST_F(Lumeo, AnotherProcessSeesTheResetRequestRecord)
{
    ASSERT_NE(nullptr, get());
    EXPECT_EQ(0u, RunPeer(L"read-request 360 480 1000000"));
}

TEST_F(Lumeo, BackgroundFrameReachesAnotherProcess)
{
    IVcamManger* manager = get();
    ASSERT_TRUE(manager->StartBackgroundVideo());
    EXPECT_EQ(0u, RunPeer(L"read"));
    std::wstring path;
    EXPECT_EQ(-1, manager->GetFilterModulePath(path));  // no outside decoder on this machine
    EXPECT_TRUE(path.empty());
}
