#include "MemPool.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<std::string> g_reports;
void collect(const char* text) { g_reports.push_back(text); }

std::string expectedText(const char* format, const void* p)
{
    char text[128];
    snprintf(text, sizeof text, format, reinterpret_cast<uintptr_t>(p));
    return text;
}

class MemPoolTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_reports.clear();
        mp_set_report_hook(collect);
    }
    void TearDown() override { mp_set_report_hook(nullptr); }
};

TEST_F(MemPoolTest, RequestsMapToTheirClassAndBlockSize)
{
    struct Case { unsigned request; int sizeClass; size_t blockSize; };
    const Case cases[] = {
        {0, 0, 8}, {1, 0, 8}, {8, 0, 8}, {9, 1, 16}, {32, 3, 32}, {33, 4, 48}, {48, 4, 48},
        {49, 5, 64}, {96, 7, 96}, {97, 8, 128}, {128, 8, 128}, {129, 9, 160}, {256, 12, 256},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.request);
        EXPECT_EQ(c.sizeClass, mp_size_class(c.request));
        void* p = mp_alloc(c.request);
        ASSERT_TRUE(p);
        EXPECT_TRUE(mp_owns(p));
        EXPECT_EQ(c.blockSize, mp_size(p));
        mp_free(p);
    }
    EXPECT_TRUE(g_reports.empty());
}

TEST_F(MemPoolTest, LargeRequestsGoToTheHeap)
{
    EXPECT_EQ(-1, mp_size_class(257));
    void* p = mp_alloc(257);
    ASSERT_TRUE(p);
    EXPECT_FALSE(mp_owns(p));
    EXPECT_EQ(_msize(p), mp_size(p));
    memset(p, 0x5A, 257);
    mp_free(p); // goes to free(); a wrong path would corrupt the heap
    void* heap = malloc(40);
    EXPECT_FALSE(mp_owns(heap));
    mp_free(heap);
    EXPECT_TRUE(g_reports.empty());
}

TEST_F(MemPoolTest, DataIsAlignedForAnyFundamentalType)
{
    const size_t alignment = sizeof(void*) == 8 ? 16 : 8;
    for (unsigned size = 0; size <= 256; size += 7) {
        std::vector<void*> blocks;
        for (int i = 0; i < 5; ++i) {
            void* p = mp_alloc(size);
            EXPECT_EQ(0u, reinterpret_cast<uintptr_t>(p) % alignment) << size;
            blocks.push_back(p);
        }
        for (void* p : blocks)
            mp_free(p);
    }
}

TEST_F(MemPoolTest, OwnershipComesFromChunkRangesOnly)
{
    char* p = static_cast<char*>(mp_alloc(64));
    int onStack = 0;
    EXPECT_TRUE(mp_owns(p));
    EXPECT_FALSE(mp_owns(p + 1));
    EXPECT_FALSE(mp_owns(p + 8));
    EXPECT_FALSE(mp_owns(nullptr));
    EXPECT_FALSE(mp_owns(&onStack));
    EXPECT_FALSE(mp_owns(reinterpret_cast<void*>(0x10)));
    mp_free(p);
}

TEST_F(MemPoolTest, ChunksOfAClassGrowTo1MB)
{
    // The 224-byte class is used by no other test.
    std::vector<void*> blocks;
    std::vector<uint32_t> sizes;
    while (sizes.size() < 6) {
        blocks.push_back(mp_alloc(200));
        sizes.clear();
        for (unsigned i = 0; i < mp_chunk_count(); ++i) {
            uint32_t size = 0, blockSize = 0;
            ASSERT_TRUE(mp_chunk_info(i, &size, &blockSize));
            if (blockSize == 224)
                sizes.push_back(size);
        }
    }
    const std::vector<uint32_t> expected = {0x20000, 0x40000, 0x80000, 0x100000, 0x100000, 0x100000};
    EXPECT_EQ(expected, sizes);
    for (void* p : blocks)
        mp_free(p);
    EXPECT_TRUE(g_reports.empty());
}

TEST_F(MemPoolTest, DoubleFreeIsReportedAndKeepsTheFreeList)
{
    void* a = mp_alloc(16);
    mp_free(a);
    mp_free(a);
    ASSERT_EQ(1u, g_reports.size());
    EXPECT_EQ(expectedText("mp_free - repeat free block 0x%08" PRIXPTR "!", a), g_reports[0]);
    void* b = mp_alloc(16);
    void* c = mp_alloc(16);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c); // pushed twice, the block would come out twice
    mp_free(b);
    mp_free(c);
    EXPECT_EQ(1u, g_reports.size());
}

TEST_F(MemPoolTest, OneByteOverrunIsReportedOnFree)
{
    unsigned char* a = static_cast<unsigned char*>(mp_alloc(24));
    a[24] = 0;
    mp_free(a);
    ASSERT_EQ(1u, g_reports.size());
    EXPECT_EQ(expectedText("mp_free - detect block 0x%08" PRIXPTR " corrupt!", a), g_reports[0]);
    void* again = mp_alloc(24); // the guard was rewritten: no second report
    EXPECT_EQ(a, again);
    mp_free(again);
    EXPECT_EQ(1u, g_reports.size());
}

TEST_F(MemPoolTest, ReallocKeepsOrMovesWithTheSmallerSize)
{
    unsigned char* p = static_cast<unsigned char*>(mp_alloc(20));
    for (int i = 0; i < 24; ++i)
        p[i] = static_cast<unsigned char>(i + 1);
    EXPECT_EQ(p, mp_realloc(p, 24));
    unsigned char* moved = static_cast<unsigned char*>(mp_realloc(p, 40));
    ASSERT_NE(p, moved);
    EXPECT_EQ(48u, mp_size(moved));
    for (int i = 0; i < 24; ++i)
        EXPECT_EQ(i + 1, moved[i]);
    // Shrinking out of the pool into the heap and back copies only what fits.
    unsigned char* big = static_cast<unsigned char*>(mp_realloc(moved, 300));
    EXPECT_FALSE(mp_owns(big));
    EXPECT_EQ(24, big[23]);
    mp_free(big);
    EXPECT_TRUE(g_reports.empty());
}

TEST_F(MemPoolTest, ReallocOfAFreedBlockIsRefused)
{
    void* p = mp_alloc(40);
    mp_free(p);
    EXPECT_EQ(nullptr, mp_realloc(p, 44));
    ASSERT_EQ(1u, g_reports.size());
    void* a = mp_alloc(40);
    void* b = mp_alloc(40);
    EXPECT_NE(a, b);
    mp_free(a);
    mp_free(b);
}

TEST_F(MemPoolTest, CommandLineSwitchTurnsThePoolOffInAnyCase)
{
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring probe(path);
    probe = probe.substr(0, probe.find_last_of(L"\\/") + 1) + L"mempool_switch_probe.exe";
    struct Case { const wchar_t* arguments; DWORD exitCode; };
    const Case cases[] = {{L"", 3}, {L" /DisableMemPool", 7}, {L" x /DISABLEMEMPOOL y", 7}};
    for (const Case& c : cases) {
        std::wstring line = L"\"" + probe + L"\"" + c.arguments;
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi = {};
        ASSERT_TRUE(CreateProcessW(probe.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
        WaitForSingleObject(pi.hProcess, INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(pi.hProcess, &code);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        EXPECT_EQ(c.exitCode, code) << line.size();
    }
}

TEST_F(MemPoolTest, BytesInUseCountWholeBlocks)
{
    const size_t before = mp_bytes_in_use();
    void* a = mp_alloc(40);  // a 48-byte block
    void* b = mp_alloc(256);
    void* big = mp_alloc(300); // from the heap: not counted
    EXPECT_EQ(before + 48 + 256, mp_bytes_in_use());
    a = mp_realloc(a, 44); // still fits its block
    EXPECT_EQ(before + 48 + 256, mp_bytes_in_use());
    a = mp_realloc(a, 70); // moves to an 80-byte block
    EXPECT_EQ(before + 80 + 256, mp_bytes_in_use());
    mp_free(a);
    mp_free(b);
    mp_free(big);
    EXPECT_EQ(before, mp_bytes_in_use());
}

} // namespace

TEST_F(MemPoolTest, BytesInUseCountBlocksHandedOutAndReturned)
{
    if (mp_disabled())
        GTEST_SKIP() << "the pool is switched off";
    const size_t before = mp_bytes_in_use();
    void* small = mp_alloc(10);   // a 16-byte block
    void* medium = mp_alloc(100); // a 128-byte block
    void* large = mp_alloc(1000); // from the heap: not counted
    EXPECT_EQ(before + 16 + 128, mp_bytes_in_use());
    mp_free(small);
    mp_free(large);
    EXPECT_EQ(before + 128, mp_bytes_in_use());
    mp_free(medium);
    mp_free(medium); // a repeated free is reported and counts nothing
    EXPECT_EQ(before, mp_bytes_in_use());
    EXPECT_EQ(1u, g_reports.size());
}
