#include "LameEncoder.h"
#include "MediaFileWalker.h"
#include "RecordContainer.h"
#include "TestPaths.h"
#include "X264Encoder.h"

#include <gtest/gtest.h>
#include <cmath>
#include <vector>

using tq::CRecordContainer;
using namespace rectest;

namespace {

struct EncodedPicture {
    std::vector<uint8_t> bytes;
    bool key;
};

// Real H.264 pictures and headers, so every muxer accepts them.
class Pictures {
public:
    explicit Pictures(int count)
    {
        EXPECT_TRUE(m_encoder.Open(400, 300, 13, 500));
        std::vector<uint8_t> in(180000), out(460800);
        int size;
        bool key;
        uint32_t stamp;
        for (int i = 0; i < count; ++i) {
            for (size_t p = 0; p < in.size(); ++p)
                in[p] = uint8_t((p * 7 + i * 3) % 200 + 16);
            if (m_encoder.Encode(in.data(), i, out.data(), int(out.size()), &size, &key, &stamp))
                m_pictures.push_back({std::vector<uint8_t>(out.begin(), out.begin() + size), key});
        }
        while (m_encoder.Flush(out.data(), int(out.size()), &size, &key, &stamp))
            m_pictures.push_back({std::vector<uint8_t>(out.begin(), out.begin() + size), key});
    }
    const uint8_t* Header() const { return m_encoder.HeaderBytes(); }
    int HeaderLength() const { return m_encoder.HeaderLength(); }
    const std::vector<EncodedPicture>& All() const { return m_pictures; }

private:
    tq::CX264Encoder m_encoder;
    std::vector<EncodedPicture> m_pictures;
};

std::vector<uint8_t> OneMp3Frame()
{
    tq::CLameEncoder lame;
    EXPECT_TRUE(lame.Open(2, 16, 44100, 128));
    std::vector<uint8_t> pcm(4608 * 4), out(10240);
    for (size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = uint8_t(i * 13);
    int length = 0;
    lame.Encode(pcm.data(), int(pcm.size()), out.data(), 10240, &length);
    EXPECT_GT(length, 0);
    int frame = tq::MpegAudioFrameLength(out.data());
    return std::vector<uint8_t>(out.begin(), out.begin() + frame);
}

void PrepareContainer(CRecordContainer& container, const Pictures& pictures)
{
    container.SetVideoFormat(400, 300, 13, 500);
    container.SetAudioFormat(2, 16, 44100, 128);
    container.SetExtradata(pictures.Header(), pictures.HeaderLength());
}

} // namespace

TEST(RecordContainer, ContainerFollowsTheExtension)
{
    Pictures pictures(3);
    std::vector<uint8_t> mp3 = OneMp3Frame();
    struct { const char* name; const char* format; const char* docType; } cases[] = {
        {"ext.mkv", "matroska", "matroska"},
        {"ext.mp4", "mp4", "mp4"},
        {"noextension", "matroska", "matroska"},
        {"unknown.xyz", "matroska", "matroska"},
    };
    for (auto& c : cases) {
        std::string path = OutputPath(c.name);
        CRecordContainer container;
        PrepareContainer(container, pictures);
        ASSERT_TRUE(container.Open(path)) << c.name;
        EXPECT_EQ(c.format, container.FormatName()) << c.name;
        // Sound too: the MP4 writer leaves a track without samples out of the file.
        for (size_t i = 0; i < pictures.All().size(); ++i) {
            ASSERT_TRUE(container.WriteVideo(5000 + 77 * uint32_t(i), pictures.All()[i].bytes.data(),
                                             int(pictures.All()[i].bytes.size()), pictures.All()[i].key ? 1 : 0));
            ASSERT_TRUE(container.WriteAudio(5010 + 77 * uint32_t(i), mp3.data(), int(mp3.size())));
        }
        container.Close();
        FileSummary file = SummariseFile(path);
        ASSERT_TRUE(file.valid) << c.name;
        EXPECT_EQ(c.docType, file.docType);
        const TrackSummary* video = file.Find("video");
        ASSERT_NE(nullptr, video) << c.name;
        EXPECT_EQ(std::string(file.docType == "mp4" ? "avc1" : "V_MPEG4/ISO/AVC"), video->codec);
        EXPECT_EQ(400, video->width);
        EXPECT_EQ(300, video->height);
        EXPECT_EQ(3, video->packets);
        const TrackSummary* audio = file.Find("audio");
        ASSERT_NE(nullptr, audio) << c.name;
        EXPECT_EQ(3, audio->packets) << c.name;
        EXPECT_EQ(std::string(file.docType == "mp4" ? "mp4a" : "A_MPEG/L3"), audio->codec);
        EXPECT_EQ(2, audio->channels);
        EXPECT_EQ(44100, int(audio->sampleRate));
    }
}

TEST(RecordContainer, KeyFlagComesFromBitZeroAndTimesStartAtTheFirstPicture)
{
    Pictures pictures(31);
    std::string path = OutputPath("keys.mkv");
    CRecordContainer container;
    PrepareContainer(container, pictures);
    ASSERT_TRUE(container.Open(path));
    // Pictures go to the nearest slot of the frame rate (13 a second, so
    // 77 ms steps land one slot apart); two pictures in one millisecond take
    // two slots, not one, and are not refused. The flags hand over odd and
    // even values: only bit 0 marks a key picture.
    uint32_t stamps[31];
    for (int i = 0; i < 31; ++i)
        stamps[i] = 70000 + 77 * i;
    stamps[5] = stamps[4];
    // The encoder decides where key pictures fall (a scene change may bring
    // one before the 30th picture); the file must mark exactly those.
    std::vector<int> expectedKeys;
    for (int i = 0; i < 31; ++i) {
        const EncodedPicture& p = pictures.All()[i];
        if (p.key)
            expectedKeys.push_back(i);
        ASSERT_TRUE(container.WriteVideo(stamps[i], p.bytes.data(), int(p.bytes.size()), p.key ? 3 : 2)) << i;
    }
    ASSERT_FALSE(expectedKeys.empty());
    EXPECT_EQ(0, expectedKeys[0]);
    container.Close();
    FileSummary file = SummariseFile(path);
    ASSERT_TRUE(file.valid);
    const TrackSummary* video = file.Find("video");
    ASSERT_NE(nullptr, video);
    EXPECT_EQ(31, video->packets);
    EXPECT_EQ(expectedKeys, video->keyIndexes);
    EXPECT_EQ((30 * 1000 + 6) / 13, video->lastTime);  // slot 30, to the nearest ms
}

TEST(RecordContainer, SoundIsHeldUntilTheFirstPictureAndOlderSoundIsDropped)
{
    Pictures pictures(3);
    std::vector<uint8_t> mp3 = OneMp3Frame();
    std::string path = OutputPath("held.mkv");
    CRecordContainer container;
    PrepareContainer(container, pictures);
    ASSERT_TRUE(container.Open(path));
    // Sound written before any picture: 990 is older than the first picture
    // (1000) and is dropped; 1010 and 1030 are kept.
    EXPECT_TRUE(container.WriteAudio(990, mp3.data(), int(mp3.size())));
    EXPECT_TRUE(container.WriteAudio(1010, mp3.data(), int(mp3.size())));
    EXPECT_TRUE(container.WriteAudio(1030, mp3.data(), int(mp3.size())));
    const auto& all = pictures.All();
    ASSERT_TRUE(container.WriteVideo(1000, all[0].bytes.data(), int(all[0].bytes.size()), 1));
    EXPECT_TRUE(container.WriteAudio(1056, mp3.data(), int(mp3.size())));
    EXPECT_TRUE(container.WriteAudio(1040, mp3.data(), int(mp3.size())));  // older than the last: skipped
    EXPECT_TRUE(container.WriteAudio(1082, mp3.data(), int(mp3.size())));
    ASSERT_TRUE(container.WriteVideo(1077, all[1].bytes.data(), int(all[1].bytes.size()), 0));
    container.Close();
    FileSummary file = SummariseFile(path);
    ASSERT_TRUE(file.valid);
    const TrackSummary* audio = file.Find("audio");
    ASSERT_NE(nullptr, audio);
    EXPECT_EQ(4, audio->packets);
    // The first packet kept (1010) places the sound 10 ms after the first
    // picture; the others follow its samples, one MP3 frame (1152) each,
    // whatever their own stamps: 10 ms + 3 x 1152 / 44.1 ms.
    EXPECT_EQ((441 + 3 * 1152) * 1000 / 44100, audio->lastTime);
}

TEST(RecordContainer, FileWithoutPicturesIsRemoved)
{
    Pictures pictures(1);
    for (const char* name : {"empty.mkv", "empty.mp4", "empty.avi"}) {
        std::string path = OutputPath(name);
        CRecordContainer container;
        PrepareContainer(container, pictures);
        ASSERT_TRUE(container.Open(path));
        EXPECT_TRUE(FileExists(path));
        EXPECT_FALSE(container.Close()) << name;
        EXPECT_FALSE(FileExists(path)) << name;
    }
    // One picture is enough for a file that stays.
    std::string path = OutputPath("one_picture.mkv");
    CRecordContainer container;
    PrepareContainer(container, pictures);
    ASSERT_TRUE(container.Open(path));
    const EncodedPicture& first = pictures.All().at(0);
    ASSERT_TRUE(container.WriteVideo(0, first.bytes.data(), int(first.bytes.size()), 1));
    EXPECT_TRUE(container.Close());
    EXPECT_TRUE(SummariseFile(path).valid);
}

TEST(RecordContainer, OpenFailsWhenTheFileOrHeaderCannotBeWritten)
{
    CRecordContainer container;
    container.SetVideoFormat(400, 300, 13, 500);
    EXPECT_FALSE(container.Open(OutputFolder() + "no_such_folder\\x.mkv"));
    EXPECT_FALSE(container.IsOpen());
    // A header the muxer refuses (no sample rate) is a failure, not a recording.
    container.SetAudioFormat(2, 16, 0, 128);
    EXPECT_FALSE(container.Open(OutputPath("badheader.mkv")));
    EXPECT_FALSE(container.IsOpen());
    uint8_t data[4] = {};
    EXPECT_FALSE(container.WriteVideo(1, data, 4, 1));
    EXPECT_FALSE(container.WriteAudio(1, data, 4));
}
