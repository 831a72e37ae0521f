// browser.dll as its host loads it: the exports by their plain names, the
// exit notice without a window, and the exported record class.
#include "PerfRecord.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>

namespace {

TEST(BrowserDllTest, ExportsByPlainNamesAndExitWithoutWindowIsHarmless)
{
    HMODULE module = LoadLibraryW(L"browser.dll");
    ASSERT_NE(nullptr, module);
    typedef void(__cdecl * ShowFn)(void*, void*);
    typedef void(__cdecl * ExitFn)();
    EXPECT_NE(nullptr, reinterpret_cast<ShowFn>(GetProcAddress(module, "ShowMoreAuraeBox")));
    auto exitNotice = reinterpret_cast<ExitFn>(GetProcAddress(module, "NotifyBeforeProcessExit"));
    ASSERT_NE(nullptr, exitNotice);
    exitNotice();
    exitNotice();
    FreeLibrary(module);
}

TEST(BrowserDllTest, PerfRecordClearsItsHeadAndCopiesWhole)
{
    alignas(8) unsigned char storage[sizeof(Perf::CPerfRecord)];
    memset(storage, 0xAB, sizeof storage);
    auto* record = new (storage) Perf::CPerfRecord();
    for (unsigned i = 0; i < sizeof storage; ++i)
        ASSERT_EQ(i < 22 ? 0 : 0xAB, storage[i]) << i;

    alignas(8) unsigned char target[sizeof(Perf::CPerfRecord)];
    memset(target, 0, sizeof target);
    *reinterpret_cast<Perf::CPerfRecord*>(target) = *record;
    EXPECT_EQ(0, memcmp(storage, target, sizeof storage));

    Perf::CPerfRecord* instance = Perf::CPerfRecord::GetInstance();
    ASSERT_NE(nullptr, instance);
    EXPECT_EQ(instance, Perf::CPerfRecord::GetInstance());
    EXPECT_EQ(instance, Perf::CPerfRecord::s_pImpl);
    for (unsigned i = 0; i < 22; ++i)
        EXPECT_EQ(0, instance->bytes()[i]);
}

}  // namespace
