// Another program made the product's shared records first, shorter than the
// engine's: the engine must neither read nor write past their end. It refuses
// such a view, says so in its log, and goes on working.
#include "FrameProtocol.h"
#include "IVcamManger.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr DWORD kShortBytes = 64;

struct ShortMapping {
    HANDLE handle = nullptr;
    uint8_t* view = nullptr;
    explicit ShortMapping(const wchar_t* name)
    {
        handle = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kShortBytes, name);
        if (handle)
            view = static_cast<uint8_t*>(MapViewOfFile(handle, FILE_MAP_ALL_ACCESS, 0, 0, 0));
        if (view)
            memset(view, 0x5A, kShortBytes);
    }
    ~ShortMapping()
    {
        if (view)
            UnmapViewOfFile(view);
        if (handle)
            CloseHandle(handle);
    }
    bool Untouched() const
    {
        for (DWORD i = 0; i < kShortBytes; ++i)
            if (view[i] != 0x5A)
                return false;
        return true;
    }
};

std::string EngineLog()
{
    wchar_t appData[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, appData);
    std::string text;
    FILE* file = _wfopen((std::wstring(appData) + L"\\brenlo\\tqsorva\\log\\tqsorva.log").c_str(), L"rb");
    if (!file)
        return text;
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, file)) > 0)
        text.append(buffer, got);
    fclose(file);
    return text;
}

} // namespace

TEST(ShortSharedRecords, EngineRefusesThemAndKeepsWorking)
{
    // Made before the engine loads, so its holders open these.
    ShortMapping capture(tq::kCaptureMemoryName), user(tq::kUserMemoryName), request(tq::kVcamParaMemoryName);
    ASSERT_NE(nullptr, capture.view);
    ASSERT_NE(nullptr, user.view);
    ASSERT_NE(nullptr, request.view);

    const size_t logBefore = EngineLog().size();  // the log is appended to across runs
    HMODULE module = LoadLibraryW(L"lumeo.dll");
    ASSERT_NE(nullptr, module);
    auto get = reinterpret_cast<GetVcamMangerFn>(GetProcAddress(module, "_getVcamManger@0"));
    auto release = reinterpret_cast<ReleaseVcamMangerFn>(GetProcAddress(module, "_releaseVcamManger@0"));
    ASSERT_NE(nullptr, get);
    ASSERT_NE(nullptr, release);

    IVcamManger* manager = get();
    ASSERT_NE(nullptr, manager);
    EXPECT_TRUE(manager->StartBackgroundVideo());  // writes a frame: refused
    std::set<std::string> programs;
    manager->GetTqSorva3rdExe(programs);           // reads the host list: refused
    EXPECT_TRUE(programs.empty());
    std::vector<uint8_t> preview(kPreviewBytes);
    manager->CopyPreviewFrame(preview.data());     // the engine's own buffer still works
    release();
    FreeLibrary(module);

    EXPECT_TRUE(capture.Untouched());
    EXPECT_TRUE(user.Untouched());
    EXPECT_TRUE(request.Untouched());
    const std::string all = EngineLog();
    ASSERT_GE(all.size(), logBefore);
    const std::string log = all.substr(logBefore);
    for (const char* name : {"CaptureShareMemory", "UserShareMemory", "VcamParaShareMemory"})
        EXPECT_NE(std::string::npos, log.find(std::string(name) + ": mapping of")) << name;
}
