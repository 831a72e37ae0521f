#include "LameEncoder.h"
#include "MediaFileWalker.h"
#include "RecordContainer.h"
#include "RecordMuxer.h"
#include "ReferenceI420.h"
#include "TestPaths.h"
#include "X264Encoder.h"

#include <gtest/gtest.h>
#include <mmsystem.h>
#include <cmath>
#include <fstream>
#include <functional>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

using tq::CRecordMuxer;
using namespace rectest;

namespace {

class EventLog : public tq::IRecordMuxerOwner {
public:
    void OnMuxerEvent(int code, int reason, int) override
    {
        EnterCriticalSection(&m_lock);
        m_codes.push_back(code);
        m_reasons.push_back(reason);
        LeaveCriticalSection(&m_lock);
    }
    std::vector<int> Reasons()
    {
        EnterCriticalSection(&m_lock);
        std::vector<int> reasons = m_reasons;
        LeaveCriticalSection(&m_lock);
        return reasons;
    }
    std::vector<int> Codes()
    {
        EnterCriticalSection(&m_lock);
        std::vector<int> codes = m_codes;
        LeaveCriticalSection(&m_lock);
        return codes;
    }
    EventLog() { InitializeCriticalSection(&m_lock); }
    ~EventLog() { DeleteCriticalSection(&m_lock); }

private:
    CRITICAL_SECTION m_lock;
    std::vector<int> m_codes;
    std::vector<int> m_reasons;
};

// 400x300 bottom-up BGR picture that moves with the index.
std::vector<uint8_t> Frame(int index)
{
    std::vector<uint8_t> frame(400 * 300 * 3);
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 400; ++x) {
            uint8_t* p = &frame[(y * 400 + x) * 3];
            p[0] = uint8_t((x + index * 4) & 255);
            p[1] = uint8_t((y * 2) & 255);
            p[2] = uint8_t(((x / 40 + y / 30) & 1) ? 200 : 40);
        }
    return frame;
}

std::vector<uint8_t> ToneBlock(int sampleFrames, int& phase)
{
    std::vector<uint8_t> pcm(sampleFrames * 4);
    for (int i = 0; i < sampleFrames; ++i, ++phase) {
        int16_t s = int16_t(9000 * std::sin(2 * 3.14159265 * 440 * phase / 44100));
        memcpy(&pcm[i * 4], &s, 2);
        memcpy(&pcm[i * 4 + 2], &s, 2);
    }
    return pcm;
}

bool WaitFor(const std::function<bool()>& condition, DWORD ms)
{
    DWORD start = timeGetTime();
    while (!condition()) {
        if (timeGetTime() - start > ms)
            return false;
        Sleep(5);
    }
    return true;
}

void Prepare(CRecordMuxer& muxer, EventLog& log)
{
    ASSERT_TRUE(muxer.Init());
    muxer.SetOwner(&log);
    muxer.SetVideoFormat(400, 300, 13, 0);
    muxer.SetAudioFormat(2, 16, 44100, 128);
}

int CountMp3Samples(const std::vector<uint8_t>& mp3)
{
    size_t pos = 0;
    int frames = 0;
    while (pos + 4 <= mp3.size()) {
        int length = tq::MpegAudioFrameLength(&mp3[pos]);
        if (length <= 0)
            return -1;
        pos += length;
        ++frames;
    }
    return pos == mp3.size() ? frames * 1152 : -1;
}

} // namespace

TEST(RecordMuxer, WritesEveryPictureAndAllSoundOfOddBlocks)
{
    std::string path = OutputPath("muxer_odd.mkv");
    EventLog log;
    int pushedSamples = 0;
    const int frames = 26;
    {
        CRecordMuxer muxer;
        Prepare(muxer, log);
        muxer.Start(path);
        ASSERT_TRUE(WaitFor([&] { return muxer.IsRunning(); }, 5000));
        // Odd block sizes (in bytes; whole sample frames), one block larger
        // than a packet, paced like a real capture.
        const int blocks[] = {1234 * 4, 7 * 4, 2561 * 4, 6400 * 4, 333 * 4};
        int phase = 0, block = 0;
        for (int i = 0; i < frames; ++i) {
            std::vector<uint8_t> frame = Frame(i), before = frame;
            muxer.PushVideo(frame.data(), 400, 300, timeGetTime());
            EXPECT_EQ(before, frame) << "the caller's picture must come back unchanged";
            int bytes = blocks[block++ % 5];
            std::vector<uint8_t> pcm = ToneBlock(bytes / 4, phase);
            muxer.PushAudio(pcm.data(), int(pcm.size()));
            pushedSamples += bytes / 4;
            Sleep(77);
        }
        muxer.Stop();
        EXPECT_FALSE(muxer.IsRunning());
    }
    EXPECT_EQ((std::vector<int>{1, 0}), log.Codes());
    FileSummary file = SummariseFile(path);
    ASSERT_TRUE(file.valid);
    const TrackSummary* video = file.Find("video");
    ASSERT_NE(nullptr, video);
    EXPECT_EQ(frames, video->packets);  // the encoder's delayed pictures are drained
    ASSERT_FALSE(video->keyIndexes.empty());
    EXPECT_EQ(0, video->keyIndexes[0]);
    const TrackSummary* audio = file.Find("audio");
    ASSERT_NE(nullptr, audio);
    int samples = CountMp3Samples(audio->payload);
    EXPECT_GE(samples, pushedSamples);
    EXPECT_LE(samples, pushedSamples + 576 + 529 + 2 * 1152);
    std::ofstream(path + ".samples") << pushedSamples << "\n";
}

// Sound that arrives in bursts and in blocks larger than one packet, and
// pictures whose arrival jitters (two of them 3 ms apart), as a loaded
// machine delivers them: every container must get increasing times for both
// tracks and a sound track whose stated length is what it decodes to.
// record_probe reads the files back; five rounds, since the faults showed
// at random.
TEST(RecordMuxer, JitteredInputGivesIncreasingTimesInEveryContainer)
{
    const int kRounds = 5;
    const char* extensions[] = {"mkv", "mp4", "flv", "avi"};
    // Milliseconds between pictures: about ten a second, unevenly.
    const DWORD pictureGaps[] = {100, 67, 133, 3, 97, 71, 129, 100, 2, 98};
    // Sample frames per sound block; 6400 frames make three packets.
    const int soundBlocks[] = {882, 882, 4410, 441, 6400, 1234, 882};
    for (int round = 0; round < kRounds; ++round) {
        for (const char* extension : extensions) {
            std::string name = "muxer_jitter_" + std::to_string(round) + "." + extension;
            std::string path = OutputPath(name);
            EventLog log;
            int pictures = 0;
            {
                CRecordMuxer muxer;
                Prepare(muxer, log);
                muxer.Start(path);
                ASSERT_TRUE(WaitFor([&] { return muxer.IsRunning(); }, 5000)) << name;
                std::atomic<bool> stop{false};
                // Blocks are pushed once real time has made them due, polled
                // unevenly, so several often arrive in the same millisecond.
                std::thread sound([&] {
                    int phase = 0, block = 0, poll = 0;
                    int64_t pushed = 0;
                    const DWORD start = timeGetTime();
                    while (!stop) {
                        const int64_t due = int64_t(timeGetTime() - start) * 44100 / 1000;
                        while (!stop && pushed + soundBlocks[block % 7] <= due) {
                            std::vector<uint8_t> pcm = ToneBlock(soundBlocks[block % 7], phase);
                            muxer.PushAudio(pcm.data(), int(pcm.size()));
                            pushed += soundBlocks[block++ % 7];
                        }
                        Sleep(poll++ % 3 == 2 ? 45 : 3);
                    }
                });
                const DWORD start = timeGetTime();
                while (timeGetTime() - start < 2000) {
                    std::vector<uint8_t> frame = Frame(pictures);
                    muxer.PushVideo(frame.data(), 400, 300, timeGetTime());
                    Sleep(pictureGaps[pictures++ % 10]);
                }
                stop = true;
                sound.join();
                muxer.Stop();
            }
            EXPECT_EQ((std::vector<int>{1, 0}), log.Codes()) << name;
            if (std::string(extension) == "mkv" || std::string(extension) == "mp4") {
                FileSummary file = SummariseFile(path);
                ASSERT_TRUE(file.valid) << name;
                ASSERT_NE(nullptr, file.Find("video")) << name;
                // About ten a second: none is given up for the rate.
                EXPECT_EQ(pictures, file.Find("video")->packets) << name;
            }
        }
    }
}

// Pictures take the slots of the stated rate (13 a second): a slower or
// uneven source keeps every picture, one picture per slot; a faster one
// gives up those that would run ahead of the clock, so the pictures keep
// pace with the sound.
TEST(RecordMuxer, PicturesTakeSlotsOfTheStatedRate)
{
    struct Case {
        const char* name;
        std::vector<uint32_t> stamps;  // ms
        int minKept, maxKept;
        int64_t lastTime;               // ms of the last picture in the file
        int64_t lastTimeSlack;          // ms either side
    };
    auto every = [](int count, double gapMs) {
        std::vector<uint32_t> stamps;
        for (int i = 0; i < count; ++i)
            stamps.push_back(100000 + uint32_t(i * gapMs + 0.5));
        return stamps;
    };
    std::vector<uint32_t> pairs = every(20, 100);
    pairs[7] = pairs[6] + 1;    // two pictures in one slot: both stay, one slot apart
    pairs[12] = pairs[11];      // and two in one millisecond
    const Case cases[] = {
        {"muxer_slots_13.mkv", every(26, 1000.0 / 13), 26, 26, 1923, 0},
        {"muxer_slots_10.mkv", pairs, 20, 20, 1923, 0},
        // Two seconds at 30 a second: 27 slots, and a picture may run one
        // slot ahead of its own time (1967 ms), never more.
        {"muxer_slots_30.mkv", every(60, 1000.0 / 30), 26, 28, 1967, 1000 * 3 / 26},
    };
    for (const Case& c : cases) {
        std::string path = OutputPath(c.name);
        EventLog log;
        {
            CRecordMuxer muxer;
            Prepare(muxer, log);
            muxer.Start(path);
            ASSERT_TRUE(WaitFor([&] { return muxer.IsRunning(); }, 5000));
            for (size_t i = 0; i < c.stamps.size(); ++i) {
                std::vector<uint8_t> frame = Frame(int(i));
                muxer.PushVideo(frame.data(), 400, 300, c.stamps[i]);
            }
            muxer.Stop();
        }
        FileSummary file = SummariseFile(path);
        ASSERT_TRUE(file.valid) << c.name;
        const TrackSummary* video = file.Find("video");
        ASSERT_NE(nullptr, video) << c.name;
        EXPECT_GE(video->packets, c.minKept) << c.name;
        EXPECT_LE(video->packets, c.maxKept) << c.name;
        EXPECT_NEAR(double(c.lastTime), double(video->lastTime), double(c.lastTimeSlack)) << c.name;
        // Slot n lies at round(n * 1000 / 13) ms: the last picture sits on one.
        const int64_t slot = (video->lastTime * 13 + 500) / 1000;
        EXPECT_EQ((slot * 1000 + 6) / 13, video->lastTime) << c.name;
    }
}

// A recording that never received a picture (sound alone waits for the
// first one) leaves no file behind and is reported as failed.
TEST(RecordMuxer, RecordingWithoutPicturesIsRemovedAndReported)
{
    for (bool withSound : {false, true}) {
        for (const char* name : {"muxer_empty.mkv", "muxer_empty.mp4", "muxer_empty.avi"}) {
            std::string path = OutputPath(name);
            EventLog log;
            {
                CRecordMuxer muxer;
                Prepare(muxer, log);
                muxer.Start(path);
                ASSERT_TRUE(FileExists(path)) << name << " is open while recording";
                if (withSound) {
                    std::vector<uint8_t> sound(4096, 0);
                    for (int i = 0; i < 40; ++i)
                        muxer.PushAudio(sound.data(), int(sound.size()));
                }
                muxer.Stop();
            }
            EXPECT_FALSE(FileExists(path)) << name << (withSound ? " with sound" : "");
            std::vector<int> codes = log.Codes(), reasons = log.Reasons();
            ASSERT_FALSE(codes.empty());
            EXPECT_EQ(tq::IRecordMuxerOwner::MuxerFailed, codes.back()) << name;
            EXPECT_EQ(tq::IRecordMuxerOwner::NoPicture, reasons.back()) << name;
        }
    }
}

TEST(RecordMuxer, FailedStartIsReportedAndPushesAreDropped)
{
    EventLog log;
    CRecordMuxer muxer;
    Prepare(muxer, log);
    muxer.Start(OutputFolder() + "no_such_folder\\x.mkv");
    EXPECT_EQ((std::vector<int>{2}), log.Codes());
    EXPECT_FALSE(muxer.IsRunning());
    std::vector<uint8_t> frame = Frame(0);
    muxer.PushVideo(frame.data(), 400, 300, 1);
    muxer.PushAudio(frame.data(), 4000);
    muxer.Stop();
    EXPECT_EQ((std::vector<int>{2}), log.Codes());
}

TEST(RecordMuxer, BadFrameSizesAreDropped)
{
    std::string path = OutputPath("muxer_sizes.mkv");
    EventLog log;
    {
        CRecordMuxer muxer;
        Prepare(muxer, log);
        muxer.Start(path);
        ASSERT_TRUE(WaitFor([&] { return muxer.IsRunning(); }, 5000));
        std::vector<uint8_t> big(1000 * 1000 * 3);
        muxer.PushVideo(big.data(), 642, 480, 10);   // more than one packet holds
        muxer.PushVideo(big.data(), 401, 300, 20);   // odd width
        muxer.PushVideo(big.data(), 0, 300, 30);
        muxer.PushVideo(nullptr, 400, 300, 40);
        std::vector<uint8_t> frame = Frame(1);
        muxer.PushVideo(frame.data(), 400, 300, 50);
        muxer.Stop();
    }
    FileSummary file = SummariseFile(path);
    ASSERT_TRUE(file.valid);
    ASSERT_NE(nullptr, file.Find("video"));
    EXPECT_EQ(1, file.Find("video")->packets);
}

// The producers hand over their picture under the preview lock while others
// may read it: the muxer only reads it (here it lies in read-only memory),
// and the pictures it encodes are exactly those of flipping the picture and
// converting it the plain way: the same stream, packet for packet, as the
// encoder gives for them written through the same container.
TEST(RecordMuxer, ReadsThePictureOnlyAndEncodesItExactly)
{
    const int frames = 40;  // two key frames
    const size_t frameBytes = 400 * 300 * 3;
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    const size_t pageRounded = (frameBytes + system.dwPageSize - 1) / system.dwPageSize * system.dwPageSize;
    uint8_t* readOnly = static_cast<uint8_t*>(VirtualAlloc(nullptr, pageRounded, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    ASSERT_NE(nullptr, readOnly);
    auto stamp = [](int i) { return 1000u + uint32_t(i * 1000 / 13); };

    const std::string ours = OutputPath("muxer_exact.mkv");
    EventLog log;
    {
        CRecordMuxer muxer;
        Prepare(muxer, log);
        muxer.Start(ours);
        ASSERT_TRUE(WaitFor([&] { return muxer.IsRunning(); }, 5000));
        for (int i = 0; i < frames; ++i) {
            DWORD old = 0;
            ASSERT_TRUE(VirtualProtect(readOnly, pageRounded, PAGE_READWRITE, &old));
            const std::vector<uint8_t> frame = Frame(i);
            memcpy(readOnly, frame.data(), frameBytes);
            ASSERT_TRUE(VirtualProtect(readOnly, pageRounded, PAGE_READONLY, &old));
            muxer.PushVideo(readOnly, 400, 300, stamp(i));
        }
        muxer.Stop();
    }
    VirtualFree(readOnly, 0, MEM_RELEASE);
    EXPECT_EQ((std::vector<int>{1, 0}), log.Codes());

    const std::string reference = OutputPath("muxer_exact_reference.mkv");
    {
        tq::CX264Encoder encoder;
        ASSERT_TRUE(encoder.Open(400, 300, 13, CRecordMuxer::VideoKbps));
        tq::CRecordContainer container;
        container.SetVideoFormat(400, 300, 13, CRecordMuxer::VideoKbps);
        container.SetAudioFormat(2, 16, 44100, 128);
        container.SetExtradata(encoder.HeaderBytes(), encoder.HeaderLength());
        ASSERT_TRUE(container.Open(reference));
        std::vector<uint8_t> out(tq::CRecordPacket::VideoCapacity);
        int size = 0;
        bool key = false;
        uint32_t time = 0;
        auto write = [&] { ASSERT_TRUE(container.WriteVideo(time, out.data(), size, key ? tq::CRecordPacket::KeyFrame : 0)); };
        for (int i = 0; i < frames; ++i) {
            const std::vector<uint8_t> frame = Frame(i);
            const std::vector<uint8_t> i420 = ReferenceI420(frame.data(), 400, 300, true);
            if (encoder.Encode(i420.data(), stamp(i), out.data(), int(out.size()), &size, &key, &time))
                write();
        }
        while (encoder.Flush(out.data(), int(out.size()), &size, &key, &time))
            write();
        EXPECT_TRUE(container.Close());
    }

    const FileSummary ourFile = SummariseFile(ours), referenceFile = SummariseFile(reference);
    ASSERT_TRUE(ourFile.valid);
    ASSERT_TRUE(referenceFile.valid);
    const TrackSummary* ourVideo = ourFile.Find("video");
    const TrackSummary* referenceVideo = referenceFile.Find("video");
    ASSERT_NE(nullptr, ourVideo);
    ASSERT_NE(nullptr, referenceVideo);
    EXPECT_EQ(frames, ourVideo->packets);
    EXPECT_EQ(referenceVideo->packets, ourVideo->packets);
    EXPECT_EQ(referenceVideo->keyIndexes, ourVideo->keyIndexes);
    EXPECT_TRUE(referenceVideo->payload == ourVideo->payload) << "the encoded pictures differ";
}
