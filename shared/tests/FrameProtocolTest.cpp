#include "FrameProtocol.h"
#include "SharedFrameWriter.h"
#include "ShareHandle.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace tq;

TEST(BigEndianFields, WriteU32StoresMostSignificantByteFirst)
{
    uint8_t buffer[12] = {};
    WriteU32BE(buffer, 480, 4);
    const uint8_t expected[12] = {0, 0, 0, 0, 0x00, 0x00, 0x01, 0xE0, 0, 0, 0, 0};
    EXPECT_EQ(0, memcmp(buffer, expected, sizeof buffer));
    EXPECT_EQ(480u, ReadU32BE(buffer, 4));
}

TEST(BigEndianFields, FrameTimeIsSignExtended)
{
    struct Case { uint32_t time; uint8_t bytes[8]; int32_t readBack; };
    const Case cases[] = {
        {1000u,        {0, 0, 0, 0, 0x00, 0x00, 0x03, 0xE8}, 1000},
        {0x7FFFFFFFu,  {0, 0, 0, 0, 0x7F, 0xFF, 0xFF, 0xFF}, 0x7FFFFFFF},
        {0x80000000u,  {0xFF, 0xFF, 0xFF, 0xFF, 0x80, 0x00, 0x00, 0x00}, INT32_MIN},
        {0xFFFFFFF0u,  {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xF0}, -16},
    };
    for (const Case& c : cases) {
        uint8_t buffer[8] = {};
        WriteU64BE(buffer, static_cast<int32_t>(c.time), 0);
        EXPECT_EQ(0, memcmp(buffer, c.bytes, 8)) << "time " << c.time;
        EXPECT_EQ(c.readBack, ReadFrameTimeLow(buffer, 0)) << "time " << c.time;
    }
}

TEST(MutexLock, NullHandleIsHarmless)
{
    CMutexLock lock(nullptr);
}

static DWORD WINAPI TryTakeMutex(void* mutex)
{
    return WaitForSingleObject(*static_cast<HANDLE*>(mutex), 0);
}

TEST(MutexLock, HoldsAndReleases)
{
    HANDLE mutex = CreateMutexW(nullptr, FALSE, nullptr);
    ASSERT_NE(nullptr, mutex);
    {
        CMutexLock lock(mutex);
        // Held by this thread: another thread cannot take it.
        DWORD otherResult = 0;
        HANDLE t = CreateThread(nullptr, 0, TryTakeMutex, &mutex, 0, nullptr);
        WaitForSingleObject(t, INFINITE);
        GetExitCodeThread(t, &otherResult);
        CloseHandle(t);
        EXPECT_EQ(WAIT_TIMEOUT, otherResult);
    }
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(mutex, 0));
    ReleaseMutex(mutex);
    CloseHandle(mutex);
}

namespace {
std::vector<uint8_t> Record(uint32_t width, uint32_t height, size_t size = kFrameCopyBytes)
{
    std::vector<uint8_t> record(size, 0);
    FrameHeader h;
    h.smoothFlag = 1;
    h.width = width;
    h.height = height;
    h.frameTime = 1234;
    WriteFrameHeader(record.data(), h);
    return record;
}
}

TEST(FrameHeader, WrittenByteForByte)
{
    std::vector<uint8_t> record(kFrameHeaderSize, 0xAA);
    FrameHeader h;
    h.smoothFlag = 1;
    h.width = 480;
    h.height = 360;
    h.frameTime = -2;
    WriteFrameHeader(record.data(), h);
    const uint8_t expected[kFrameHeaderSize] = {
        0, 0, 0, 1,  0, 0, 0x01, 0xE0,  0, 0, 0x01, 0x68,  0, 0, 0, 0, 0, 0, 0, 0,
        0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE};
    EXPECT_EQ(0, memcmp(record.data(), expected, kFrameHeaderSize));
}

TEST(FrameHeader, ReaderAcceptsOnlyFramesThatFit)
{
    struct Case { uint32_t width, height; size_t recordSize; bool accepted; };
    const Case cases[] = {
        {480, 360, kFrameCopyBytes, true},
        {800, 600, kFrameCopyBytes, true},          // exactly 1,440,000 bytes
        {801, 600, kFrameCopyBytes, false},         // one column too many
        {0, 360, kFrameCopyBytes, false},
        {480, 0, kFrameCopyBytes, false},
        {100000, 100000, kFrameCopyBytes, false},   // would wrap a 32-bit product
        {0x80000000u, 2, kFrameCopyBytes, false},
        {480, 360, 28 + 480 * 360 * 3 - 1, false},  // record ends mid-picture
        {1, 1, 20, false},                           // shorter than the header
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> record = Record(c.width, c.height, std::max<size_t>(c.recordSize, kFrameHeaderSize));
        FrameHeader h;
        std::string error;
        EXPECT_EQ(c.accepted, ReadFrameHeader(record.data(), c.recordSize, h, &error))
            << c.width << "x" << c.height << " in " << c.recordSize;
        if (c.accepted) {
            EXPECT_EQ(c.width, h.width);
            EXPECT_EQ(c.height, h.height);
            EXPECT_EQ(1234, h.frameTime);
        } else {
            EXPECT_FALSE(error.empty());
        }
    }
}

TEST(HostList, SplitsDropsDuplicatesAndBrokenItems)
{
    struct Case { std::string list; std::vector<std::string> items; };
    const Case cases[] = {
        {"<A><B><A>", {"A", "B"}},
        {">A<", {}},
        {"", {}},
        {"<C:\\a b\\x.exe>", {"C:\\a b\\x.exe"}},
        {"<A><B", {"A"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.items, SplitHostList(c.list)) << c.list;
}

TEST(HostList, AppendAddsWholeItemsOnce)
{
    char memory[64] = {};
    EXPECT_TRUE(AppendHostItem(memory, sizeof memory, "C:\\app.exe"));
    EXPECT_TRUE(AppendHostItem(memory, sizeof memory, "C:\\app.exe"));
    // A prefix of a registered path is a different program.
    EXPECT_TRUE(AppendHostItem(memory, sizeof memory, "C:\\app"));
    EXPECT_STREQ("<C:\\app.exe><C:\\app>", memory);
}

TEST(HostList, AppendThatWouldNotFitWritesNothing)
{
    char memory[16];
    memset(memory, 'z', sizeof memory);
    memcpy(memory, "<abcdefghij>", 13);  // 12 characters and the terminator
    const std::vector<char> before(memory, memory + sizeof memory);
    EXPECT_FALSE(AppendHostItem(memory, sizeof memory, "kl"));  // 12 + 4 + terminator = 17 > 16
    EXPECT_EQ(before, std::vector<char>(memory, memory + sizeof memory));
    EXPECT_TRUE(AppendHostItem(memory, sizeof memory, "k"));    // 12 + 3 + terminator fills all 16
    EXPECT_STREQ("<abcdefghij><k>", memory);
}

TEST(HostList, ReadIsBoundedToTheMapping)
{
    std::vector<char> full(kUserMemorySize, 'x');
    full[0] = '<';
    full[kUserMemorySize - 1] = '>';  // no terminator anywhere
    const std::string list = ReadHostList(full.data(), full.size());
    EXPECT_EQ(kUserMemorySize, list.size());
    EXPECT_EQ(1u, SplitHostList(list).size());
}

TEST(ShareHandle, RequestRecordResetReadAndMarkCorner)
{
    CShareHandle& para = GetVcamParaShareMemory();
    ASSERT_NE(nullptr, para.Get());
    para.WriteMarkCorner(3);
    para.ResetVcamPara();
    uint32_t width = 0, height = 0, frameTime = 0;
    para.ReadVcamPara(width, height, frameTime);
    EXPECT_EQ(480u, width);
    EXPECT_EQ(360u, height);
    EXPECT_EQ(1000000u, frameTime);

    // The record as another process sees it: big-endian fields; the reset keeps markCorner.
    HANDLE mapping = OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, kVcamParaMemoryName);
    ASSERT_NE(nullptr, mapping);
    CMappedView view(mapping, FILE_MAP_ALL_ACCESS);
    ASSERT_TRUE(view);
    const uint8_t expected[16] = {0, 0, 0x01, 0x68, 0, 0, 0x01, 0xE0, 0, 0x0F, 0x42, 0x40, 0, 0, 0, 3};
    EXPECT_EQ(0, memcmp(view.Get(), expected, 16));
    CloseHandle(mapping);
}

TEST(ShareHandle, OperationsWithoutAHandleDoNothing)
{
    CShareHandle empty;
    uint32_t width = 7, height = 8, frameTime = 2000000;
    empty.ResetVcamPara();
    empty.WriteMarkCorner(2);
    empty.ReadVcamPara(width, height, frameTime);
    EXPECT_EQ(7u, width);
    EXPECT_EQ(8u, height);
    EXPECT_EQ(2000000u, frameTime);
    empty.Close();
    EXPECT_EQ(nullptr, empty.Get());
}

namespace {
// Records the order of the writer's steps and where the frame signal fell.
class RecordingSteps : public IFrameWriterSteps {
public:
    explicit RecordingSteps(HANDLE event) : m_event(event) {}
    void WritePixels(uint8_t* pixels, uint32_t width, uint32_t height) override
    {
        memset(pixels, 0x5A, size_t(width) * height * 3);
        Note("pixels");
    }
    void RunPasses(uint8_t*, uint32_t, uint32_t) override { Note("passes"); }
    void ScalePreview(const uint8_t*, uint32_t, uint32_t) override { Note("preview"); }
    void HandOverPreview(int32_t) override
    {
        // Still mapped when the capture view can be seen holding our pixels?
        Note("handover");
    }
    std::string log;
private:
    void Note(const char* step)
    {
        if (WaitForSingleObject(m_event, 0) == WAIT_OBJECT_0)
            log += "signal ";
        log += step;
        log += ' ';
    }
    HANDLE m_event;
};
}

TEST(SharedFrameWriter, FollowsEachSourcesPlan)
{
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, kSynFrameEventName);
    ASSERT_NE(nullptr, event);
    struct Case { FrameWriterPlan::SignalPoint signal; bool early; const char* expected; };
    const Case cases[] = {
        {FrameWriterPlan::SignalAfterPixels, true, "pixels signal passes preview handover "},    // background
        {FrameWriterPlan::SignalAfterPasses, false, "pixels passes signal preview handover "},   // camera, desktop
        {FrameWriterPlan::SignalAfterPreview, false, "pixels passes preview signal handover "},  // media file
    };
    for (const Case& c : cases) {
        CSharedFrameWriter writer;
        RecordingSteps steps(event);
        FrameWriterPlan plan;
        plan.signal = c.signal;
        plan.handOverBeforeUnmap = c.early;
        FrameHeader h;
        h.smoothFlag = 1;
        h.width = 480;
        h.height = 360;
        h.frameTime = 77;
        ASSERT_TRUE(writer.WriteFrame(h, steps, plan));
        EXPECT_EQ(c.expected, steps.log);
    }
    // The record holds the header and the picture.
    HANDLE mapping = OpenFileMappingW(FILE_MAP_READ, FALSE, kCaptureMemoryName);
    ASSERT_NE(nullptr, mapping);
    CMappedView view(mapping, FILE_MAP_READ);
    FrameHeader h;
    ASSERT_TRUE(ReadFrameHeader(view.Get(), kCaptureMemorySize, h));
    EXPECT_EQ(480u, h.width);
    EXPECT_EQ(77, h.frameTime);
    EXPECT_EQ(0x5A, view.Get()[kFrameHeaderSize + 480 * 360 * 3 - 1]);
    CloseHandle(mapping);
    CloseHandle(event);
}

TEST(SharedFrameWriter, RefusesAFrameLargerThanTheRecord)
{
    CSharedFrameWriter writer;
    RecordingSteps steps(nullptr);
    FrameHeader h;
    h.width = 1024;
    h.height = 768;
    EXPECT_FALSE(writer.WriteFrame(h, steps, FrameWriterPlan()));
    EXPECT_EQ("", steps.log);
}
