#include "LameEncoder.h"
#include "MediaFileWalker.h"
#include "RecordMuxer.h"
#include "TestPaths.h"

#include <gtest/gtest.h>
#include <mmsystem.h>
#include <cmath>
#include <fstream>
#include <functional>
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
