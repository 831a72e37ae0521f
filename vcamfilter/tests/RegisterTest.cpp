// TqVirtualCam.ax as a COM server: registration and its removal (through the
// exports and through regsvr32), an out-of-process consumer (vcamgrab) that
// finds "TqNelu" by name, and the launcher start from the filter's folder.
#include "CameraRun.h"
#include "VirtualCamInterfaces.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

const wchar_t kCameraKey[] = L"CLSID\\{8E99549A-DB91-4889-CFDD-F5662FE7BE7B}";
const wchar_t kLegacyKey[] = L"CLSID\\{8E14549A-DB61-4309-AFA1-3578E927E933}";
const wchar_t kCategoryInstances[] = L"CLSID\\{860BB310-5D01-11D0-BD3B-00A0C911CE86}\\Instance";

std::wstring BinFolder()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    return folder.substr(0, folder.find_last_of(L'\\'));
}

std::wstring FilterPath() { return BinFolder() + L"\\TqVirtualCam.ax"; }

bool KeyExists(const std::wstring& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

std::wstring ReadString(const std::wstring& path, const wchar_t* name)
{
    wchar_t value[1024] = {};
    DWORD size = sizeof(value);
    if (RegGetValueW(HKEY_CLASSES_ROOT, path.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
        return L"<missing>";
    return value;
}

void WriteString(const std::wstring& path, const wchar_t* name, const wchar_t* value)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), DWORD((wcslen(value) + 1) * 2));
    RegCloseKey(key);
}

// Runs a program to its end; its exit code, and what it printed when asked.
DWORD RunProgram(const std::wstring& commandLine, std::string* output = nullptr, DWORD timeoutMs = 60000)
{
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (output && !CreatePipe(&readEnd, &writeEnd, &inherit, 0))
        return DWORD(-1);
    if (readEnd)
        SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {sizeof(startup)};
    if (output) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = writeEnd;
        startup.hStdError = writeEnd;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    }
    PROCESS_INFORMATION process = {};
    std::wstring line = commandLine;
    const BOOL started = CreateProcessW(nullptr, &line[0], nullptr, nullptr, output != nullptr, 0, nullptr,
                                        nullptr, &startup, &process);
    if (writeEnd)
        CloseHandle(writeEnd);
    if (!started) {
        if (readEnd)
            CloseHandle(readEnd);
        return DWORD(-1);
    }
    if (output) {
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(readEnd, buffer, sizeof(buffer), &got, nullptr) && got)
            output->append(buffer, got);
        CloseHandle(readEnd);
    }
    DWORD code = DWORD(-2);
    if (WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &code);
    else
        TerminateProcess(process.hProcess, 99);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

class RegisterTest : public ::testing::Test {
protected:
    void SetUp() override { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    void TearDown() override { CoUninitialize(); }

    void ExpectRegistered()
    {
        EXPECT_EQ(ReadString(kCameraKey, nullptr), L"TqNelu");
        EXPECT_EQ(_wcsicmp(ReadString(std::wstring(kCameraKey) + L"\\InprocServer32", nullptr).c_str(),
                           FilterPath().c_str()), 0);
        EXPECT_EQ(ReadString(std::wstring(kCameraKey) + L"\\InprocServer32", L"ThreadingModel"), L"Both");
        const std::wstring instance = std::wstring(kCategoryInstances) + L"\\zavova";
        EXPECT_EQ(ReadString(instance, L"FriendlyName"), L"TqNelu");
        EXPECT_EQ(ReadString(instance, L"CLSID"), L"{8E99549A-DB91-4889-CFDD-F5662FE7BE7B}");
    }
    void ExpectUnregistered()
    {
        EXPECT_FALSE(KeyExists(kCameraKey));
        EXPECT_FALSE(KeyExists(std::wstring(kCategoryInstances) + L"\\zavova"));
        EXPECT_FALSE(KeyExists(std::wstring(kCategoryInstances) + L"\\{8E99549A-DB91-4889-CFDD-F5662FE7BE7B}"));
    }
};

using ServerFn = HRESULT(STDAPICALLTYPE*)();

TEST_F(RegisterTest, ExportsRegisterTheCameraAndRemoveTheOlderOne)
{
    // The older camera filter as a previous install left it.
    WriteString(kLegacyKey, nullptr, L"old camera");
    WriteString(std::wstring(kLegacyKey) + L"\\InprocServer32", nullptr, L"C:\\old\\camera.ax");
    WriteString(std::wstring(kCategoryInstances) + L"\\{8E14549A-DB61-4309-AFA1-3578E927E933}", L"FriendlyName", L"old");
    WriteString(std::wstring(kCategoryInstances) + L"\\{8E14549A-DB61-4309-AFA1-3578E927E933}", L"CLSID",
                L"{8E14549A-DB61-4309-AFA1-3578E927E933}");

    HMODULE library = LoadLibraryW(FilterPath().c_str());
    ASSERT_TRUE(library);
    auto registerServer = reinterpret_cast<ServerFn>(GetProcAddress(library, "DllRegisterServer"));
    auto unregisterServer = reinterpret_cast<ServerFn>(GetProcAddress(library, "DllUnregisterServer"));
    ASSERT_TRUE(registerServer && unregisterServer);
    ASSERT_TRUE(GetProcAddress(library, "DllGetClassObject"));
    ASSERT_TRUE(GetProcAddress(library, "DllCanUnloadNow"));

    ASSERT_EQ(registerServer(), S_OK);
    ExpectRegistered();
    EXPECT_FALSE(KeyExists(kLegacyKey));
    EXPECT_FALSE(KeyExists(std::wstring(kCategoryInstances) + L"\\{8E14549A-DB61-4309-AFA1-3578E927E933}"));
    const auto devices = CCaptureGraph::ListVideoDevices();
    EXPECT_NE(std::find(devices.begin(), devices.end(), L"TqNelu"), devices.end());
    // Registering again leaves one entry.
    ASSERT_EQ(registerServer(), S_OK);
    const auto again = CCaptureGraph::ListVideoDevices();
    EXPECT_EQ(std::count(again.begin(), again.end(), L"TqNelu"), 1);

    ASSERT_EQ(unregisterServer(), S_OK);
    ExpectUnregistered();
    FreeLibrary(library);
}

TEST_F(RegisterTest, Regsvr32RegistersAndRemoves)
{
    EXPECT_EQ(RunProgram(L"regsvr32 /s \"" + FilterPath() + L"\""), 0u);
    ExpectRegistered();
    EXPECT_EQ(RunProgram(L"regsvr32 /s /u \"" + FilterPath() + L"\""), 0u);
    ExpectUnregistered();
}

TEST_F(RegisterTest, VcamgrabFindsTqNeluAndSavesFrames)
{
    // A copy away from the build folder, whose real TqSorva.exe the first
    // sample would start.
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"vcamgrab-filter";
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring filter = folder + L"\\TqVirtualCam.ax";
    ASSERT_TRUE(CopyFileW(FilterPath().c_str(), filter.c_str(), FALSE) || GetFileAttributesW(filter.c_str()) != INVALID_FILE_ATTRIBUTES);
    ASSERT_EQ(RunProgram(L"regsvr32 /s \"" + filter + L"\""), 0u);
    std::string listed;
    EXPECT_EQ(RunProgram(L"\"" + BinFolder() + L"\\vcamgrab.exe\" list", &listed), 0u);
    EXPECT_NE(listed.find("TqNelu"), std::string::npos) << listed;

    const std::wstring out = std::wstring(temp) + L"vcamgrab-test";
    CreateDirectoryW(out.c_str(), nullptr);
    DeleteFileW((out + L"\\frame_001.bmp").c_str());
    std::string printed;
    EXPECT_EQ(RunProgram(L"\"" + BinFolder() + L"\\vcamgrab.exe\" grab TqNelu -size 640x480 -frametime 333333 -frames 2 -out \"" +
                             out + L"\"", &printed), 0u) << printed;
    EXPECT_NE(printed.find("connected 640x480"), std::string::npos) << printed;
    WIN32_FILE_ATTRIBUTE_DATA info = {};
    ASSERT_TRUE(GetFileAttributesExW((out + L"\\frame_001.bmp").c_str(), GetFileExInfoStandard, &info));
    EXPECT_EQ(info.nFileSizeLow, 54u + 640 * 480 * 3);
    RunProgram(L"regsvr32 /s /u \"" + filter + L"\"");
}

// A filter object made by a copy of the library in folder, streamed until
// its first samples went out.
void StreamFromCopy(const std::wstring& folder)
{
    const std::wstring library = folder + L"\\TqVirtualCam.ax";
    ASSERT_TRUE(CopyFileW(FilterPath().c_str(), library.c_str(), FALSE));
    HMODULE module = LoadLibraryW(library.c_str());
    ASSERT_TRUE(module);
    using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    auto getClassObject = reinterpret_cast<GetClassObjectFn>(GetProcAddress(module, "DllGetClassObject"));
    ASSERT_TRUE(getClassObject);
    IClassFactory* factory = nullptr;
    ASSERT_EQ(getClassObject(CLSID_VirtualCamFilter, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    IBaseFilter* filter = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IBaseFilter, reinterpret_cast<void**>(&filter)), S_OK);
    factory->Release();
    {
        CCaptureGraph graph;
        ASSERT_EQ(graph.OpenFilter(filter), S_OK);
        HANDLE arrived = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        ASSERT_EQ(graph.Build([arrived](const CapturedSample&) { SetEvent(arrived); }), S_OK);
        ASSERT_TRUE(SUCCEEDED(graph.Run()));
        EXPECT_EQ(WaitForSingleObject(arrived, 10000), WAIT_OBJECT_0);
        Sleep(300);  // past Wine 8's clock start-up, which can hang a graph released at once
        graph.Stop();
        CloseHandle(arrived);
    }
    filter->Release();
    // The next copy has the same name: this one must be gone first.
    using CanUnloadFn = HRESULT(STDAPICALLTYPE*)();
    auto canUnload = reinterpret_cast<CanUnloadFn>(GetProcAddress(module, "DllCanUnloadNow"));
    EXPECT_EQ(canUnload(), S_OK);
    FreeLibrary(module);
}

bool WaitForFile(const std::wstring& path, DWORD timeoutMs)
{
    for (DWORD waited = 0; waited < timeoutMs; waited += 100) {
        if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES)
            return true;
        Sleep(100);
    }
    return false;
}

TEST_F(RegisterTest, FirstSampleStartsTheLauncherBesideOrAboveTheFilter)
{
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring product = std::wstring(temp) + L"vcam-launch-" + std::to_wstring(GetCurrentProcessId());
    const std::wstring stable = product + L"\\Stable";
    const std::wstring beside = product + L"\\Beside";
    CreateDirectoryW(product.c_str(), nullptr);
    CreateDirectoryW(stable.c_str(), nullptr);
    CreateDirectoryW(beside.c_str(), nullptr);
    const std::wstring standin = BinFolder() + L"\\vcam_standin_launcher.exe";
    ASSERT_TRUE(CopyFileW(standin.c_str(), (product + L"\\tqsorva.exe").c_str(), FALSE));
    ASSERT_TRUE(CopyFileW(standin.c_str(), (beside + L"\\tqsorva.exe").c_str(), FALSE));

    // Installed in "Stable" with no launcher beside it: the product folder's launcher.
    StreamFromCopy(stable);
    EXPECT_TRUE(WaitForFile(product + L"\\launched.txt", 10000));
    // A launcher beside the filter is the one started.
    DeleteFileW((product + L"\\launched.txt").c_str());
    StreamFromCopy(beside);
    EXPECT_TRUE(WaitForFile(beside + L"\\launched.txt", 10000));
    Sleep(500);
    EXPECT_EQ(GetFileAttributesW((product + L"\\launched.txt").c_str()), INVALID_FILE_ATTRIBUTES);
}

} // namespace
