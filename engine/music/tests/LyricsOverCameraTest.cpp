// Lyrics over the test camera: the stand-in host plays a song with timed
// lyrics while the test camera is its source; the frames in the shared record
// carry both lyric lines, and the sung part of the first grows as the song goes.
#include "CaptureTestSupport.h"
#include "MusicTestSupport.h"
#include "testing/ChildProcess.h"

#include <gtest/gtest.h>

namespace {

// The test's paths are ASCII (the temp and build folders).
std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

struct LyricPixels {
    int sung = 0;         // yellow, in the left half of the lyric band (line 1)
    int unsungRight = 0;  // blue on the white quadrant, right half of the band (line 2)
};

// The lyric band: the bottom quarter of a bottom-up BGR picture.
LyricPixels CountLyricPixels(const uint8_t* bgr, int width, int height)
{
    LyricPixels count;
    for (int row = 0; row < height / 4; ++row) {
        const uint8_t* p = bgr + size_t(row) * width * 3;
        for (int x = 0; x < width; ++x, p += 3) {
            const int b = p[0], g = p[1], r = p[2];
            if (x < width / 2 && r > 200 && g > 200 && b < 80)
                ++count.sung;
            if (x >= width / 2 && b > 200 && r < 80 && g < 80)
                ++count.unsungRight;
        }
    }
    return count;
}

} // namespace

TEST(LyricsOverCamera, BothLinesShowAndTheSungPartGrows)
{
    ASSERT_TRUE(RegisterTestCamera());
    const std::string lyrics = musictest::WriteTempFile(
        "song.lrc", "[00:00.00]WWWWWWWWWWWW WWWWWWWW\r\n[00:03.90]MMMMMMMMMM MMMMMMMM\r\n");
    const std::string output = musictest::TempFolder() + "\\runhost-lyrics.txt";
    const std::string arguments = "-camera \"Tq Test Camera\" -seconds 60 -accompany \"" + musictest::Song("song.wav") +
                                  "\" \"" + musictest::Song("karaoke.wav") + "\" -lyrics \"" + lyrics + "\"";
    tqtest::ChildProcess host;
    ASSERT_TRUE(host.Start(L"runhost.exe", Wide(arguments), Wide(output)));
    ASSERT_TRUE(PumpUntil([&] { return musictest::ReadFileBytes(output).find("mainframe: lyrics shown") != std::string::npos; },
                          30000))
        << musictest::ReadFileBytes(output);

    // Two composed frames of the camera about a second apart.
    std::vector<uint8_t> first, second;
    int32_t after = HeaderOf(ReadRecord()).frameTime;
    ASSERT_TRUE(WaitForFrame(after, 480, 360, first, 5000));
    const DWORD firstAt = GetTickCount();
    PumpFor(1000);
    after = HeaderOf(ReadRecord()).frameTime;
    ASSERT_TRUE(WaitForFrame(after, 480, 360, second, 5000));
    const DWORD gap = GetTickCount() - firstAt;

    const LyricPixels a = CountLyricPixels(first.data() + tq::kFrameHeaderSize, 480, 360);
    const LyricPixels b = CountLyricPixels(second.data() + tq::kFrameHeaderSize, 480, 360);
    printf("lyric pixels: sung %d -> %d, line 2 %d, %d\n", a.sung, b.sung, a.unsungRight, b.unsungRight);
    EXPECT_GT(a.unsungRight, 40) << "line 2 stands on the right";
    EXPECT_GT(b.unsungRight, 40) << "line 2 stands on the right";
    EXPECT_GT(b.sung, a.sung + 40) << "the sung part of line 1 grows over " << gap << " ms: " << a.sung << " -> " << b.sung;
    EXPECT_GT(b.sung, 0);

    EnumWindows(&tqtest::CloseVisibleWindowsOf, LPARAM(host.Id()));
    EXPECT_TRUE(PumpUntil([&] { return host.Ended(); }, 30000));
    const std::string text = musictest::ReadFileBytes(output);
    EXPECT_NE(std::string::npos, text.find("mainframe: camera \"Tq Test Camera\" running")) << text;
    EXPECT_NE(std::string::npos, text.find("mainframe: closed")) << text;
}
