// The manager's registration of the camera filter: the system's regsvr32
// runs on "<program folder>\Stable\TqVirtualCam.ax".
#include "VcamManger.h"

#include <gtest/gtest.h>

#include <string>

TEST(RegisterCameraFilter, RunsRegsvr32OnTheStableCopy)
{
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    folder = folder.substr(0, folder.find_last_of(L'\\'));
    const std::wstring marker = folder + L"\\Stable\\registered.txt";
    DeleteFileW(marker.c_str());

    ASSERT_TRUE(RegisterCameraFilter());
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    for (int i = 0; i < 300 && attributes == INVALID_FILE_ATTRIBUTES; ++i) {
        Sleep(100);
        attributes = GetFileAttributesW(marker.c_str());
    }
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, attributes) << "regsvr32 did not call DllRegisterServer";
}
