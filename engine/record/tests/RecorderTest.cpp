#include "MediaFileWalker.h"
#include "Recorder.h"
#include "testing/SlotCall.h"
#include "TestPaths.h"

#include <gtest/gtest.h>
#include <mmsystem.h>
#include <process.h>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <new>
#include <thread>
#include <vector>

using tq::CRecorder;
using namespace rectest;

namespace {

// The stand-in engine's test helpers; holding our own reference keeps its
// call log across the recorder's load and free.
struct Sonvex {
    HMODULE module = LoadLibraryW(L"Sonvex.dll");
    int (*callLog)(char*, int) = module ? reinterpret_cast<int (*)(char*, int)>(
        reinterpret_cast<void*>(GetProcAddress(module, "SonvexCallLog"))) : nullptr;
    void (*setBlockBytes)(int) = module ? reinterpret_cast<void (*)(int)>(
        reinterpret_cast<void*>(GetProcAddress(module, "SonvexSetBlockBytes"))) : nullptr;

    std::string Log()
    {
        std::vector<char> text(callLog(nullptr, 0) + 1);
        callLog(text.data(), int(text.size()));
        return text.data();
    }
    size_t Count(const std::string& what)
    {
        std::string log = Log();
        size_t n = 0;
        for (size_t pos = log.find(what); pos != std::string::npos; pos = log.find(what, pos + 1))
            ++n;
        return n;
    }
    // The recording runs (frames are taken) once the worker has started the
    // sound capture, the last call of its start sequence.
    bool WaitForStart(size_t count, DWORD ms)
    {
        DWORD start = timeGetTime();
        while (Count(kStartCallsText) < count) {
            if (timeGetTime() - start > ms)
                return false;
            Sleep(10);
        }
        return true;
    }
    static const char* kStartCallsText;
    // The recorder releases the engine last when a recording ends.
    bool WaitForRelease(size_t count, DWORD ms)
    {
        DWORD start = timeGetTime();
        while (Count("engine.0;") < count) {
            if (timeGetTime() - start > ms)
                return false;
            Sleep(10);
        }
        return true;
    }
};

// Synthetic preview: smooth gradients moving with the frame index, as the
// engine's PreviewFrame holds them (BGR, bottom row first).
void MakeFrame(std::vector<uint8_t>& frame, int index)
{
    frame.resize(400 * 300 * 3);
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 400; ++x) {
            uint8_t* p = &frame[(y * 400 + x) * 3];
            p[0] = uint8_t((x + 3 * index) * 255 / 520);
            p[1] = uint8_t(y * 255 / 300);
            p[2] = uint8_t(128 + 100 * ((x / 50 + y / 50 + index / 13) & 1) - 50);
        }
}

// Feeds the recorder's frame sink at 13 frames per second on its own thread.
class FrameFeeder {
public:
    FrameFeeder(CRecorder& recorder, const std::string& rawCopy = std::string())
        : m_recorder(recorder), m_raw(rawCopy)
    {
        m_thread = std::thread([this] { Run(); });
    }
    ~FrameFeeder() { Stop(); }
    int Stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        return m_frames;
    }

private:
    void Run()
    {
        std::ofstream raw;
        if (!m_raw.empty())
            raw.open(m_raw, std::ios::binary);
        std::vector<uint8_t> frame;
        DWORD start = timeGetTime();
        while (!m_stop) {
            MakeFrame(frame, m_frames);
            if (raw.is_open())  // top row first, for the native comparison
                for (int y = 299; y >= 0; --y)
                    raw.write(reinterpret_cast<const char*>(&frame[y * 1200]), 1200);
            if (tq::IRecordFrameSink* sink = m_recorder.GetFrameSink())
                sink->OnFrame(frame.data(), 400, 300, timeGetTime());
            ++m_frames;
            DWORD next = start + DWORD(m_frames * 1000 / 13);
            DWORD now = timeGetTime();
            if (int(next - now) > 0)
                Sleep(next - now);
        }
    }

    CRecorder& m_recorder;
    std::string m_raw;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_frames{0};
};

const char kStartCalls[] =
    "engine.10;engine.13(1);capture.1(1);capture.31(1);capture.15;capture.29(0);capture.16(0);capture.9;";
const char* Sonvex::kStartCallsText = kStartCalls;
const char kStopCalls[] = "capture.10;capture.17(0);capture.0;engine.0;";

} // namespace

class Recorder : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(nullptr, sonvex.module) << "Sonvex.dll beside the test"; }
    Sonvex sonvex;
};

TEST_F(Recorder, ThreeSecondsWithSoundInEachContainer)
{
    struct { const char* name; const char* docType; } cases[] = {
        {"record_3s.mkv", "matroska"}, {"record_3s.mp4", "mp4"}, {"record_3s", "matroska"},
        {"record_3s.avi", nullptr},  // read back by the native probe only
    };
    for (auto& c : cases) {
        std::string path = OutputPath(c.name);
        size_t released = sonvex.Count("engine.0;");
        size_t started = sonvex.Count(kStartCalls);
        CRecorder recorder;
        ASSERT_NE(nullptr, recorder.GetFrameSink());
        recorder.StartRecord(path);
        EXPECT_TRUE(recorder.IsRecording());
        // The feeder starts once the recording takes frames, so every
        // picture it offers is in the file.
        ASSERT_TRUE(sonvex.WaitForStart(started + 1, 20000));
        int frames;
        {
            FrameFeeder feeder(recorder, path + ".rgb");
            Sleep(3000);
            frames = feeder.Stop();
        }
        std::ofstream(path + ".frames") << frames << "\n";
        recorder.StopRecord();
        EXPECT_FALSE(recorder.IsRecording());
        ASSERT_TRUE(sonvex.WaitForRelease(released + 1, 20000));
        std::string log = sonvex.Log();
        EXPECT_NE(std::string::npos, log.find(std::string(kStartCalls) + kStopCalls)) << log;
        recorder.Quit();

        if (!c.docType)
            continue;
        FileSummary file = SummariseFile(path);
        ASSERT_TRUE(file.valid) << c.name;
        EXPECT_EQ(c.docType, file.docType);
        const TrackSummary* video = file.Find("video");
        ASSERT_NE(nullptr, video);
        EXPECT_EQ(400, video->width);
        EXPECT_EQ(300, video->height);
        EXPECT_GE(video->packets, 36) << c.name;
        EXPECT_LE(video->packets, frames);
        ASSERT_FALSE(video->keyIndexes.empty());
        EXPECT_EQ(0, video->keyIndexes[0]);
        for (int key : video->keyIndexes)
            EXPECT_EQ(0, key % 30) << c.name << " key frame at " << key;
        const TrackSummary* audio = file.Find("audio");
        ASSERT_NE(nullptr, audio);
        EXPECT_GT(audio->packets, 50) << c.name;
    }
}

// A host compiled elsewhere reaches the recorder only through its table:
// Quit, StartRecord, StopRecord, IsRecording, then the destructor's one slot.
TEST_F(Recorder, EveryOperationRunsAtItsSlot)
{
    static_assert(kRecorderSlots == 5, "the host's recorder table");
    std::string path = OutputPath("record_slots.mkv");
    size_t released = sonvex.Count("engine.0;");
    size_t started = sonvex.Count(kStartCalls);
    CRecorder* recorder = new CRecorder;
    void* object = static_cast<IRecorder*>(recorder);
    ASSERT_EQ(object, static_cast<void*>(recorder)) << "the host's slots start the object";

    EXPECT_FALSE(CallSlot<bool>(object, 3));
    CallSlot<void, const std::string*>(object, 1, &path);  // a reference travels as its address
    EXPECT_TRUE(CallSlot<bool>(object, 3));
    EXPECT_EQ(path, recorder->GetPath());
    ASSERT_TRUE(sonvex.WaitForStart(started + 1, 20000));
    {
        FrameFeeder feeder(*recorder);
        Sleep(500);
    }
    CallSlot<void>(object, 2);
    EXPECT_FALSE(CallSlot<bool>(object, 3));
    ASSERT_TRUE(sonvex.WaitForRelease(released + 1, 20000));
    CallSlot<void>(object, 0);
    EXPECT_EQ(nullptr, recorder->GetFrameSink()) << "Quit ended the worker";
    EXPECT_TRUE(SummariseFile(path).valid);

    // The destructor's slot with bit 0 frees the object; a heap checker
    // would report a double free or a leak here.
    CallSlot<void, unsigned>(object, 4, 1u);
}

// The destructor's slot without bit 0 ends the worker (finishing a running
// recording) but leaves the memory to its owner.
TEST_F(Recorder, DestructorSlotWithoutFreeFinishesTheRecording)
{
    std::string path = OutputPath("record_slot_destroyed.mkv");
    size_t started = sonvex.Count(kStartCalls);
    alignas(CRecorder) static unsigned char storage[sizeof(CRecorder)];
    CRecorder* recorder = new (storage) CRecorder;
    recorder->StartRecord(path);
    ASSERT_TRUE(sonvex.WaitForStart(started + 1, 20000));
    {
        FrameFeeder feeder(*recorder);
        Sleep(500);
    }
    CallSlot<void, unsigned>(static_cast<IRecorder*>(recorder), 4, 0u);
    FileSummary file = SummariseFile(path);
    ASSERT_TRUE(file.valid);
    ASSERT_NE(nullptr, file.Find("video"));
    EXPECT_GE(file.Find("video")->packets, 3);
}

TEST_F(Recorder, StartThenStopAtOnceGivesAFinishedFile)
{
    std::string path = OutputPath("record_quick.mp4");
    size_t released = sonvex.Count("engine.0;");
    CRecorder recorder;
    FrameFeeder feeder(recorder);
    recorder.StartRecord(path);
    recorder.StopRecord();
    ASSERT_TRUE(sonvex.WaitForRelease(released + 1, 20000));
    feeder.Stop();
    recorder.Quit();
    // Stopped at once, the recording may have received no picture: then it
    // leaves no file. A file that is there is finished and holds the video.
    if (FileExists(path)) {
        FileSummary file = SummariseFile(path);
        EXPECT_TRUE(file.valid);
        const TrackSummary* video = file.Find("video");
        ASSERT_NE(nullptr, video);
        EXPECT_EQ(400, video->width);
        EXPECT_EQ(300, video->height);
    }
}

TEST_F(Recorder, QuitDuringARecordingFinishesTheFile)
{
    std::string path = OutputPath("record_quit.mp4");
    CRecorder recorder;
    recorder.StartRecord(path);
    {
        FrameFeeder feeder(recorder);
        Sleep(1500);
        recorder.Quit();  // while frames still arrive
        EXPECT_EQ(nullptr, recorder.GetFrameSink());
    }
    FileSummary file = SummariseFile(path);
    ASSERT_TRUE(file.valid);
    ASSERT_NE(nullptr, file.Find("video"));
    EXPECT_GE(file.Find("video")->packets, 10);
}

TEST_F(Recorder, DestructorWithoutQuitFinishesTheFile)
{
    std::string path = OutputPath("record_destroyed.mp4");
    {
        CRecorder recorder;
        recorder.StartRecord(path);
        FrameFeeder feeder(recorder);
        Sleep(800);
        feeder.Stop();
    }
    FileSummary file = SummariseFile(path);
    ASSERT_TRUE(file.valid);
    EXPECT_GE(file.Find("video")->packets, 5);
}

TEST_F(Recorder, SecondStartFinishesTheFirstRecording)
{
    std::string first = OutputPath("record_first.mp4"), second = OutputPath("record_second.mp4");
    size_t released = sonvex.Count("engine.0;");
    CRecorder recorder;
    FrameFeeder feeder(recorder);
    recorder.StartRecord(first);
    Sleep(800);
    recorder.StartRecord(second);
    Sleep(800);
    recorder.StopRecord();
    ASSERT_TRUE(sonvex.WaitForRelease(released + 2, 20000));
    feeder.Stop();
    recorder.Quit();
    for (const std::string& path : {first, second}) {
        FileSummary file = SummariseFile(path);
        ASSERT_TRUE(file.valid) << path;
        EXPECT_GE(file.Find("video")->packets, 4) << path;
    }
}

TEST_F(Recorder, StopWithoutRecordingOnlyClearsTheFlag)
{
    size_t calls = sonvex.Log().size();
    CRecorder recorder;
    EXPECT_FALSE(recorder.IsRecording());
    recorder.StopRecord();
    EXPECT_FALSE(recorder.IsRecording());
    recorder.Quit();
    EXPECT_EQ(calls, sonvex.Log().size());
    // After Quit nothing runs: a start is not reported as recording.
    recorder.StartRecord(OutputPath("record_after_quit.mkv"));
    EXPECT_FALSE(recorder.IsRecording());
    EXPECT_FALSE(FileExists(OutputFolder() + "record_after_quit.mkv"));
}

// Without "Sonvex.dll" the recording has video only. The DLL sits beside
// this program, so a copy of the program runs from a folder without it.
TEST(RecorderWithoutSonvex, FileHasVideoOnly)
{
    std::string path = OutputPath("record_nosonvex.mkv");
    if (getenv("TQ_RECORD_CHILD")) {
        ASSERT_EQ(nullptr, LoadLibraryW(L"Sonvex.dll"));
        CRecorder recorder;
        recorder.StartRecord(path);
        {
            FrameFeeder feeder(recorder);
            Sleep(2000);
        }
        recorder.StopRecord();
        recorder.Quit();
        return;
    }
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string folder = OutputFolder() + "nosonvex";
    CreateDirectoryA(folder.c_str(), nullptr);
    std::string copy = folder + "\\record_child.exe";
    ASSERT_TRUE(CopyFileA(self, copy.c_str(), FALSE));
    SetEnvironmentVariableA("TQ_RECORD_CHILD", "1");
    std::string command = "\"" + copy + "\" --gtest_filter=RecorderWithoutSonvex.FileHasVideoOnly";
    STARTUPINFOA si = {sizeof(si)};
    PROCESS_INFORMATION pi = {};
    BOOL started = CreateProcessA(copy.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                                  folder.c_str(), &si, &pi);
    SetEnvironmentVariableA("TQ_RECORD_CHILD", nullptr);
    ASSERT_TRUE(started);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(pi.hProcess, 60000));
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    EXPECT_EQ(0u, code);

    FileSummary file = SummariseFile(path);
    ASSERT_TRUE(file.valid);
    ASSERT_NE(nullptr, file.Find("video"));
    EXPECT_GE(file.Find("video")->packets, 15);
    const TrackSummary* audio = file.Find("audio");
    EXPECT_TRUE(!audio || audio->packets == 0);
}
