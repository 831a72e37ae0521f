// The media frame road fed straight through the grabber's callback: what a
// tick writes into the shared frame record and the preview for each picture
// size and type, and what it leaves alone.
#include "ColorConverter.h"
#include "MediaFit.h"
#include "MediaTestSupport.h"
#include "MediaVideo.h"
#include "MediaVideoOper.h"
#include "ShareHandle.h"

#include <gtest/gtest.h>

#include <mmsystem.h>
#include <uuids.h>

#include <cstring>

namespace {

class SnapshotCopy : public ISnapshotSink {
public:
    void OnSnapshot(const uint8_t* bytes, uint32_t length) override { picture.assign(bytes, bytes + length); }
    std::vector<uint8_t> picture;
};

class MediaRoad : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        tq::GetCaptureShareMemory();
        StartMediaLogCapture();
        media = new CMediaVideo;
    }
    static void TearDownTestSuite()
    {
        media->Quit();
        delete media;
        media = nullptr;
    }
    void SetUp() override
    {
        oper = media->OperForTesting();
        ASSERT_NE(nullptr, oper);
        ClearMediaLog();
    }
    // One sample of this format through the callback and one tick; returns the
    // sample's arrival window.
    void Feed(const std::vector<uint8_t>& sample, int width, int height, const GUID& subtype, size_t length,
              DWORD& before, DWORD& after)
    {
        MediaPictureFormat format;
        format.width = width;
        format.height = height;
        format.subtype = subtype;
        oper->SetPictureFormatForTesting(format);
        NextMillisecond();
        before = timeGetTime();
        oper->GrabberCallback().BufferCB(0.0, const_cast<BYTE*>(sample.data()), LONG(length));
        after = timeGetTime();
        oper->DealNewPicture();
    }
    void Feed(const std::vector<uint8_t>& sample, int width, int height, const GUID& subtype)
    {
        DWORD before, after;
        Feed(sample, width, height, subtype, sample.size(), before, after);
    }
    // The pattern converted into another layout by the engine's converter.
    static std::vector<uint8_t> Convert(const std::vector<uint8_t>& rgb, int width, int height, const GUID& subtype)
    {
        std::vector<uint8_t> out(CColorConverter::PictureBytes(subtype, width, height));
        CColorConverter converter;
        converter.SetSource(MEDIASUBTYPE_RGB24, width, height, rgb.data());
        converter.SetDestination(subtype, width, height, out.data());
        EXPECT_TRUE(converter.Convert());
        return out;
    }

    static CMediaVideo* media;
    CMediaVideoOper* oper = nullptr;
};
CMediaVideo* MediaRoad::media = nullptr;

bool AllZero(const uint8_t* bytes, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        if (bytes[i])
            return false;
    }
    return true;
}

} // namespace

// Each size lands letterboxed: the picture where FitMediaPicture puts it,
// black around it, the header of a 480 x 360 frame with the sample's time.
TEST_F(MediaRoad, SizesAreLetterboxedIntoTheRecord)
{
    const struct { int width, height; int x, y, w, h; } cases[] = {
        {640, 480, 0, 0, 480, 360},
        {1280, 720, 0, 45, 480, 270},
        {720, 576, 12, 0, 456, 360},
        {176, 144, 20, 0, 440, 360},
    };
    for (const auto& c : cases) {
        FillRecord(1, 0x77);
        const std::vector<uint8_t> sample = QuadrantPicture(c.width, c.height);
        DWORD before, after;
        Feed(sample, c.width, c.height, MEDIASUBTYPE_RGB24, sample.size(), before, after);
        const std::vector<uint8_t> record = ReadRecord();
        const tq::FrameHeader header = HeaderOf(record);
        EXPECT_EQ(1u, header.smoothFlag);
        EXPECT_EQ(480u, header.width);
        EXPECT_EQ(360u, header.height);
        EXPECT_GE(uint32_t(header.frameTime), before) << c.width;
        EXPECT_LE(uint32_t(header.frameTime), after) << c.width;
        EXPECT_TRUE(AllZero(record.data() + 12, 8)) << "reserved bytes";
        const uint8_t* picture = record.data() + tq::kFrameHeaderSize;
        EXPECT_LE(QuadrantDistance(picture, 480, 360, c.x, c.y, c.w, c.h), 24) << c.width << "x" << c.height;
        // Margins: whole black rows above and below, black columns left and right.
        const size_t row = 480 * 3;
        EXPECT_TRUE(AllZero(picture, size_t(c.y) * row)) << c.width << "x" << c.height;
        EXPECT_TRUE(AllZero(picture + size_t(c.y + c.h) * row, size_t(360 - c.y - c.h) * row));
        for (int y = c.y; y < c.y + c.h; y += 17) {
            const uint8_t* line = picture + size_t(y) * row;
            EXPECT_TRUE(AllZero(line, size_t(c.x) * 3)) << c.width << " row " << y;
            EXPECT_TRUE(AllZero(line + size_t(c.x + c.w) * 3, size_t(480 - c.x - c.w) * 3)) << c.width << " row " << y;
            EXPECT_FALSE(AllZero(line + size_t(c.x) * 3, 3)) << c.width << " row " << y << ": picture starts there";
        }
    }
}

// Every grabbed type gives the same upright picture: RGB24 bottom-up and
// top-down (a negative height), RGB32, YUY2 and YV12.
TEST_F(MediaRoad, GrabbedTypesAgree)
{
    const int width = 320, height = 240;
    const std::vector<uint8_t> rgb = QuadrantPicture(width, height);
    std::vector<uint8_t> topDown(rgb.size());
    for (int y = 0; y < height; ++y)
        memcpy(&topDown[size_t(y) * width * 3], &rgb[size_t(height - 1 - y) * width * 3], size_t(width) * 3);
    const struct { const char* name; std::vector<uint8_t> sample; int height; GUID subtype; } cases[] = {
        {"RGB24 bottom-up", rgb, height, MEDIASUBTYPE_RGB24},
        {"RGB24 top-down", topDown, -height, MEDIASUBTYPE_RGB24},
        {"RGB32", Convert(rgb, width, height, MEDIASUBTYPE_RGB32), height, MEDIASUBTYPE_RGB32},
        {"YUY2", Convert(rgb, width, height, MEDIASUBTYPE_YUY2), height, MEDIASUBTYPE_YUY2},
        {"YV12", Convert(rgb, width, height, MEDIASUBTYPE_YV12), height, MEDIASUBTYPE_YV12},
    };
    for (const auto& c : cases) {
        FillRecord(1, 0x77);
        Feed(c.sample, width, c.height, c.subtype);
        const std::vector<uint8_t> record = ReadRecord();
        ASSERT_NE(1, HeaderOf(record).frameTime) << c.name;
        EXPECT_LE(QuadrantDistance(record.data() + tq::kFrameHeaderSize, 480, 360, 0, 0, 480, 360), 24) << c.name;
    }
}

// Empty and short samples, and a sample no newer than the last one taken,
// leave the record as it was.
TEST_F(MediaRoad, ShortOrStaleSamplesWriteNothing)
{
    const int width = 640, height = 480;
    const std::vector<uint8_t> rgb = QuadrantPicture(width, height);
    const std::vector<uint8_t> yv12 = Convert(rgb, width, height, MEDIASUBTYPE_YV12);
    const struct { const char* name; const std::vector<uint8_t>* sample; GUID subtype; size_t length; } cases[] = {
        {"empty", &rgb, MEDIASUBTYPE_RGB24, 0},
        {"one byte short", &rgb, MEDIASUBTYPE_RGB24, rgb.size() - 1},
        {"half a YV12 picture", &yv12, MEDIASUBTYPE_YV12, yv12.size() / 2},
    };
    for (const auto& c : cases) {
        FillRecord(1, 0x77);
        DWORD before, after;
        Feed(*c.sample, width, height, c.subtype, c.length, before, after);
        const std::vector<uint8_t> record = ReadRecord();
        EXPECT_EQ(1, HeaderOf(record).frameTime) << c.name;
        EXPECT_EQ(0x77, record[tq::kFrameHeaderSize + 1000]) << c.name;
    }
    // A good sample is written once; a second tick without a newer one is not.
    Feed(rgb, width, height, MEDIASUBTYPE_RGB24);
    FillRecord(1, 0x77);
    oper->DealNewPicture();
    EXPECT_EQ(1, HeaderOf(ReadRecord()).frameTime);
}

// The first sample of a graph wakes the worker once; after the callback is
// reset (as a new graph does) the next first sample wakes it again.
TEST_F(MediaRoad, OnlyTheFirstSampleReportsAPicture)
{
    oper->GrabberCallback().Reset();
    ClearMediaLog();
    const std::vector<uint8_t> rgb = QuadrantPicture(64, 48);
    for (int i = 0; i < 3; ++i)
        Feed(rgb, 64, 48, MEDIASUBTYPE_RGB24);
    // The worker handles its messages in order: a later command marks the end.
    media->SetFrameTime(1000000);
    ASSERT_TRUE(PumpUntil([] { return CountMediaLog("OnSetMediaConf") > 0; }, 5000));
    EXPECT_EQ(1, CountMediaLog("CMediaVideoOper::OnGetNewPicture enter"));
    EXPECT_EQ(0, CountMediaLog("OnGetNewPicture timer started")) << "no graph, no timer";

    oper->GrabberCallback().Reset();
    Feed(rgb, 64, 48, MEDIASUBTYPE_RGB24);
    media->SetFrameTime(1000000);
    ASSERT_TRUE(PumpUntil([] { return CountMediaLog("OnSetMediaConf") > 1; }, 5000));
    EXPECT_EQ(2, CountMediaLog("CMediaVideoOper::OnGetNewPicture enter"));
}

// A frame later than 1.5 frame times (99 ms at 66 ms) after the previous
// one is recorded with its delay; a prompt one is not.
TEST_F(MediaRoad, LateFramesAreRecorded)
{
    media->SetFrameTime(1000000);  // 66 ms
    const std::vector<uint8_t> rgb = QuadrantPicture(64, 48);
    Feed(rgb, 64, 48, MEDIASUBTYPE_RGB24);
    ClearMediaLog();
    Feed(rgb, 64, 48, MEDIASUBTYPE_RGB24);
    EXPECT_EQ(0, CountMediaLog("DealNewPicture delay"));
    const DWORD start = timeGetTime();
    while (timeGetTime() - start < 130)
        Sleep(10);
    Feed(rgb, 64, 48, MEDIASUBTYPE_RGB24);
    EXPECT_EQ(1, CountMediaLog("DealNewPicture delay"));
}

// The frame sets the filter's event and leaves a 400 x 300 preview that a
// snapshot hands out.
TEST_F(MediaRoad, EventAndPreview)
{
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, tq::kSynFrameEventName);
    ASSERT_NE(nullptr, event);
    SnapshotCopy sink;
    media->SetSnapshotSink(&sink);
    const std::vector<uint8_t> rgb = QuadrantPicture(640, 480);
    Feed(rgb, 640, 480, MEDIASUBTYPE_RGB24);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, 0));
    media->Snapshot(true);
    ASSERT_EQ(size_t(kMediaPreviewBytes), sink.picture.size());
    EXPECT_LE(QuadrantDistance(sink.picture.data(), 400, 300, 0, 0, 400, 300), 24);
    sink.picture.clear();
    media->Snapshot(false);
    EXPECT_TRUE(sink.picture.empty());
    media->SetSnapshotSink(nullptr);
    CloseHandle(event);
}
