// Layers over the test camera, seen through "TqNelu": the stand-in host
// (runhost, mainframe, lumeo) runs the test camera with a PNG sticker, a GIF
// sticker and a full-frame GIF, and a DirectShow consumer (vcamgrab) takes
// the frames from the virtual camera.
#include "LayerTestFiles.h"
#include "Fixtures.h"
#include "common/BmpFile.h"
#include "testing/ChildProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

bool CallServer(const std::wstring& module, bool registerServer)
{
    HMODULE library = LoadLibraryW(module.c_str());
    if (!library)
        return false;
    typedef HRESULT(STDAPICALLTYPE * ServerFn)();
    auto call = reinterpret_cast<ServerFn>(
        GetProcAddress(library, registerServer ? "DllRegisterServer" : "DllUnregisterServer"));
    const bool done = call && SUCCEEDED(call());
    FreeLibrary(library);
    return done;
}

std::string ReadText(const std::wstring& path)
{
    std::ifstream file(path.c_str());
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// Largest channel difference of the pixel at (x, y from the top) from a colour (blue, green, red).
int Distance(const std::vector<uint8_t>& picture, int width, int height, int x, int y, const uint8_t bgr[3])
{
    const uint8_t* p = &picture[(size_t(height - 1 - y) * width + x) * 3];
    return std::max({std::abs(p[0] - bgr[0]), std::abs(p[1] - bgr[1]), std::abs(p[2] - bgr[2])});
}

const uint8_t kMagenta[3] = {255, 0, 255};
const uint8_t kOrange[3] = {0, 128, 255};
const uint8_t kGifColours[3][3] = {{255, 255, 0}, {0, 255, 255}, {255, 255, 255}};  // cyan, yellow, white

// Three solid 40 x 30 frames, 300 ms each.
std::vector<uint8_t> StickerGif()
{
    const cxfix::Bytes table = cxfix::ColourTable({0x00FFFF, 0xFFFF00, 0xFFFFFF, 0}, 4);
    std::vector<cxfix::GifFrame> frames;
    for (int i = 0; i < 3; ++i) {
        cxfix::GifFrame frame;
        frame.width = 40;
        frame.height = 30;
        frame.indices.assign(40 * 30, uint8_t(i));
        frame.delay = 30;
        frames.push_back(frame);
    }
    return cxfix::Gif(40, 30, table, frames, true);
}

// 48 x 36, transparent but for an orange block in the middle (rows 14-21, columns 20-27).
std::vector<uint8_t> OverlayGif()
{
    const cxfix::Bytes table = cxfix::ColourTable({0x010203, 0xFF8000}, 2);
    cxfix::GifFrame frame;
    frame.width = 48;
    frame.height = 36;
    for (int y = 0; y < 36; ++y)
        for (int x = 0; x < 48; ++x)
            frame.indices.push_back(uint8_t(x >= 20 && x < 28 && y >= 14 && y < 22 ? 1 : 0));
    frame.transparent = 0;
    frame.delay = 10;
    return cxfix::Gif(48, 36, table, {frame});
}

} // namespace

TEST(LayerRoad, StickersAndGifsReachTheVirtualCamera)
{
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"tq-layer-road";
    CreateDirectoryW(folder.c_str(), nullptr);
    // The product's filter from a folder of its own: from the build folder its
    // first sample would start the launcher lying there.
    const std::wstring filter = folder + L"\\TqVirtualCam.ax";
    ASSERT_TRUE(CopyFileW((tqtest::ProgramFolder() + L"\\TqVirtualCam.ax").c_str(), filter.c_str(), FALSE));
    CoInitialize(nullptr);
    ASSERT_TRUE(CallServer(tqtest::ProgramFolder() + L"\\TqTestCam.ax", true));
    ASSERT_TRUE(CallServer(filter, true));

    const std::string png = FixturePath("sticker.png");
    const std::string gif = WriteTempFile("road-sticker.gif", StickerGif());
    const std::string overlay = WriteTempFile("road-overlay.gif", OverlayGif());
    const std::wstring hostOutput = folder + L"\\runhost.txt";
    tqtest::ChildProcess host;
    ASSERT_TRUE(host.Start(L"runhost.exe",
                           L"-camera \"Tq Test Camera\" -seconds 120 -layer \"" + Wide(png) + L"\" 10 10 -layer \"" +
                               Wide(gif) + L"\" 10 200 -layer \"" + Wide(overlay) + L"\"",
                           hostOutput));
    const DWORD start = GetTickCount();
    while (ReadText(hostOutput).find("mainframe: camera \"Tq Test Camera\" running") == std::string::npos &&
           GetTickCount() - start < 60000)
        Sleep(100);
    ASSERT_NE(std::string::npos, ReadText(hostOutput).find("camera \"Tq Test Camera\" running")) << ReadText(hostOutput);

    // Batches of frames until the GIF sticker has been seen in two of its
    // frames (consumers may get frames faster than the GIF moves on).
    std::vector<int> gifFrames;
    for (int batch = 0; batch < 6; ++batch) {
        const std::wstring grabbed = folder + L"\\grab" + std::to_wstring(batch);
        CreateDirectoryW(grabbed.c_str(), nullptr);
        {
            tqtest::ChildProcess grab;
            ASSERT_TRUE(grab.Start(L"vcamgrab.exe",
                                   L"grab TqNelu -size 480x360 -frametime 333333 -frames 6 -out \"" + grabbed + L"\"",
                                   grabbed + L"\\vcamgrab.txt"));
            ASSERT_EQ(0u, grab.Wait(60000)) << ReadText(grabbed + L"\\vcamgrab.txt");
        }
        for (int i = 2; i < 6; ++i) {  // the first frames may come before the layers are loaded
            wchar_t name[64];
            swprintf(name, 64, L"\\frame_%03d.bmp", i);
            int width = 0, height = 0;
            std::vector<uint8_t> frame;
            ASSERT_TRUE(tqtools::LoadBmp24((grabbed + name).c_str(), width, height, frame));
            ASSERT_EQ(480, width);
            ASSERT_EQ(360, height);
            // (10, 10) preview units are (12, 12) frame pixels: the 40 x 30 sticker's middle.
            EXPECT_LE(Distance(frame, width, height, 32, 27, kMagenta), 24) << "PNG sticker, frame " << i;
            EXPECT_GT(Distance(frame, width, height, 60, 27, kMagenta), 60) << "beside the sticker, frame " << i;
            // The overlay's block, scaled ten times, round the middle.
            EXPECT_LE(Distance(frame, width, height, 240, 178, kOrange), 24) << "full-frame GIF, frame " << i;
            // The GIF sticker at (10, 200): (12, 240) frame pixels.
            int shown = -1;
            for (int c = 0; c < 3; ++c)
                if (Distance(frame, width, height, 32, 255, kGifColours[c]) <= 24)
                    shown = c;
            EXPECT_GE(shown, 0) << "GIF sticker, frame " << i;
            if (std::find(gifFrames.begin(), gifFrames.end(), shown) == gifFrames.end())
                gifFrames.push_back(shown);
        }
        if (gifFrames.size() >= 2 || HasFailure())
            break;
    }
    EXPECT_GE(gifFrames.size(), 2u) << "the GIF sticker changes";

    EnumWindows(&tqtest::CloseVisibleWindowsOf, LPARAM(host.Id()));
    EXPECT_EQ(0u, host.Wait(30000));
    const std::string output = ReadText(hostOutput);
    EXPECT_NE(std::string::npos, output.find("mainframe: layer")) << output;
    CallServer(filter, false);
    CallServer(tqtest::ProgramFolder() + L"\\TqTestCam.ax", false);
    CoUninitialize();
}
