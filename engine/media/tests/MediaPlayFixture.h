// What the tests that play real clips through the media-file source share:
// the clips' folder, a listener that keeps what it heard, and a fixture with
// a source, its listener and the waits for a first frame, a stop and the end.
#pragma once

#include "MediaTestSupport.h"
#include "MediaVideo.h"
#include "ShareHandle.h"

#include <gtest/gtest.h>

#include <objbase.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

inline std::string ClipFolder()
{
    const char* folder = getenv("TQ_MEDIA_CLIPS");
    return folder ? folder : "";
}

inline std::string Clip(const char* name)
{
    return ClipFolder() + "\\" + name;
}

class MediaListener : public IMediaVideoListener {
public:
    void OnMediaProgress(double ms) override { ++progress; lastProgress = ms; }
    void OnMediaEnd() override { ++ended; }
    void OnMediaOpenFailed() override { ++failed; }
    void OnMediaDuration(const char* name, double ms) override { durations[name] = ms; }
    int progress = 0, ended = 0, failed = 0;
    double lastProgress = -1;
    std::map<std::string, double> durations;
};

class MediaPlayFixture : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        tq::GetCaptureShareMemory();
        StartMediaLogCapture();
    }
    void SetUp() override
    {
        ASSERT_FALSE(ClipFolder().empty()) << "TQ_MEDIA_CLIPS names the clips' folder";
        media = new CMediaVideo;
        media->SetListener(&listener);
        ClearMediaLog();
    }
    void TearDown() override
    {
        if (!media)
            return;
        media->Quit();  // the worker releases its graph on the way out
        delete media;
        media = nullptr;
    }
    // Starts a file and waits for its first frame in the record.
    bool PlayUntilFrame(const std::string& path, std::vector<uint8_t>& record, DWORD timeoutMs = 15000)
    {
        const int32_t before = HeaderOf(ReadRecord()).frameTime;
        media->Init(path.c_str(), 0);
        return WaitForNewFrame(before, record, timeoutMs);
    }
    // Stops the file and waits for the worker to have stopped it.
    bool StopAndWait()
    {
        const int stops = CountMediaLog("OnStopMediaVideo end");
        media->StopMediaVideo();
        return PumpUntil([&] { return CountMediaLog("OnStopMediaVideo end") > stops; }, 15000);
    }
    bool PumpUntilEnded(DWORD timeoutMs)
    {
        return PumpUntil([&] { return listener.ended > 0 || listener.failed > 0; }, timeoutMs);
    }
    CMediaVideo* media = nullptr;
    MediaListener listener;
};
