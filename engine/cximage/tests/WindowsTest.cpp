// What needs Windows itself: GDI+ as the reference GIF decoder, GDI for the
// metafile reader, and the imgdump tool.
#include <windows.h>

#include <gdiplus.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "TestUtil.h"

using cxfix::Bytes;
using cxfix::ColourTable;
using cxfix::GifFrame;

namespace {

const GUID kFrameDimensionTime = {0x6aedbd6d, 0x3fb5, 0x418a, {0x83, 0xa6, 0x7f, 0x45, 0x22, 0x9d, 0xc8, 0x72}};

struct GdiplusSession {
    ULONG_PTR token = 0;
    GdiplusSession()
    {
        Gdiplus::GdiplusStartupInput input;
        Gdiplus::GdiplusStartup(&token, &input, nullptr);
    }
    ~GdiplusSession() { Gdiplus::GdiplusShutdown(token); }
};

std::string WriteFile(const std::string& name, const Bytes& bytes)
{
    std::ofstream(name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return name;
}

std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

GifFrame Pattern(int width, int height, int entries, int seed)
{
    GifFrame f;
    f.width = width;
    f.height = height;
    uint32_t state = uint32_t(seed) * 2654435761u + 1;
    for (int i = 0; i < width * height; ++i) {
        state = state * 1103515245u + 12345u;
        // Runs and noise, so both short and long codes appear.
        f.indices.push_back(uint8_t(((i / 5) % 3 == 0 ? (state >> 16) : uint32_t(i / 7)) % uint32_t(entries)));
    }
    return f;
}

Bytes Table(int entries)
{
    std::vector<uint32_t> colours;
    for (int i = 0; i < entries; ++i)
        colours.push_back(uint32_t(i * 0x3F1D07 + 0x102030) & 0xFFFFFF);
    return ColourTable(colours, entries);
}

} // namespace

TEST(CxImageWindows, GifFramesEqualGdiplus)
{
    GdiplusSession gdiplus;
    struct Case {
        const char* name;
        Bytes gif;
    };
    std::vector<Case> cases;
    {
        GifFrame f = Pattern(13, 7, 256, 1);
        cases.push_back({"g_8bit.gif", cxfix::Gif(13, 7, Table(256), {f})});
    }
    {
        GifFrame f = Pattern(9, 9, 4, 2);
        f.transparent = 1;
        cases.push_back({"g_transparent.gif", cxfix::Gif(9, 9, Table(4), {f})});
    }
    {
        GifFrame f = Pattern(6, 10, 16, 3);
        f.interlaced = true;
        cases.push_back({"g_interlaced.gif", cxfix::Gif(6, 10, Table(16), {f})});
    }
    {
        GifFrame f = Pattern(17, 3, 2, 4);
        cases.push_back({"g_1bit.gif", cxfix::Gif(17, 3, Table(2), {f})});
    }
    {
        std::vector<GifFrame> frames;
        for (int i = 0; i < 3; ++i) {
            GifFrame f = Pattern(8, 6, 32, 10 + i);
            f.delay = 5 * (i + 1);
            f.disposal = 1;
            frames.push_back(f);
        }
        cases.push_back({"g_animated.gif", cxfix::Gif(8, 6, Table(32), frames, true)});
    }
    {
        GifFrame f = Pattern(200, 150, 256, 5);
        cases.push_back({"g_large.gif", cxfix::Gif(200, 150, Table(256), {f})});
    }
    for (const Case& c : cases) {
        const std::string path = WriteFile(c.name, c.gif);
        Gdiplus::Bitmap reference(Wide(path).c_str());
        ASSERT_EQ(reference.GetLastStatus(), Gdiplus::Ok) << c.name;
        const UINT frames = reference.GetFrameCount(&kFrameDimensionTime);
        ASSERT_GE(frames, 1u) << c.name;
        for (UINT n = 0; n < frames; ++n) {
            ASSERT_EQ(reference.SelectActiveFrame(&kFrameDimensionTime, n), Gdiplus::Ok);
            CxImage image;
            image.SelectFrame(int(n));
            ASSERT_TRUE(image.LoadFromPath(path.c_str(), CXIMAGE_FORMAT_GIF)) << c.name;
            ASSERT_EQ(UINT(image.FrameCount()), frames) << c.name;
            ASSERT_EQ(image.Width(), reference.GetWidth());
            ASSERT_EQ(image.Height(), reference.GetHeight());
            int mismatches = 0;
            for (UINT y = 0; y < reference.GetHeight(); ++y) {
                for (UINT x = 0; x < reference.GetWidth(); ++x) {
                    Gdiplus::Color expected;
                    reference.GetPixel(INT(x), INT(y), &expected);
                    const int row = int(image.Height()) - 1 - int(y);
                    if (expected.GetA() == 0) {
                        mismatches += image.PixelIndex(int(x), row) != image.TransparentIndex();
                        continue;
                    }
                    const CxRgbQuad got = image.PixelColor(int(x), row, false);
                    mismatches += got.rgbRed != expected.GetR() || got.rgbGreen != expected.GetG() ||
                                  got.rgbBlue != expected.GetB();
                }
            }
            EXPECT_EQ(mismatches, 0) << c.name << " frame " << n;
        }
        std::remove(path.c_str());
    }
}

TEST(CxImageWindows, MetafileScaledThroughGdi)
{
    HDC screen = GetDC(nullptr);
    const int dpiX = GetDeviceCaps(screen, LOGPIXELSX), dpiY = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    // 8000 x 2000 units at the screen's own dots per inch: 8000 x 2000 pixels, limited to 4000 x 1000.
    const Bytes wmf = cxfix::PlaceableWmf(8000 * 96 / dpiX, 2000 * 96 / dpiY, 96, 0x0000FF);
    CxImage image;
    ASSERT_TRUE(DecodeBytes(image, wmf, CXIMAGE_FORMAT_WMF)) << image.LastError();
    EXPECT_EQ(image.FormatId(), uint32_t(CXIMAGE_FORMAT_WMF));
    EXPECT_EQ(image.Width(), 4000u);
    EXPECT_EQ(image.Height(), 1000u);
    EXPECT_EQ(RgbAt(image, 2000, 500), 0xFF0000u); // the brush's red fills the frame

    CxImage small;
    ASSERT_TRUE(DecodeBytes(small, cxfix::PlaceableWmf(96, 48, 96, 0x00FF00), CXIMAGE_FORMAT_WMF))
        << small.LastError();
    EXPECT_EQ(small.Width(), uint32_t(dpiX));
    EXPECT_EQ(small.Height(), uint32_t(dpiY / 2));

    CxImage enhanced;
    ASSERT_TRUE(DecodeBytes(enhanced, cxfix::Emf(0, 0, 30, 20), 0)) << enhanced.LastError();
    EXPECT_EQ(enhanced.FormatId(), uint32_t(CXIMAGE_FORMAT_WMF));
    EXPECT_EQ(enhanced.Width(), 30u);
    EXPECT_EQ(enhanced.Height(), 20u);
    const COLORREF window = GetSysColor(COLOR_WINDOW);
    EXPECT_EQ(RgbAt(enhanced, 5, 5), (uint32_t(GetRValue(window)) << 16) | (GetGValue(window) << 8) | GetBValue(window));
}

namespace {

// Runs imgdump with the arguments; returns its exit code and its error output.
DWORD RunImgdump(const std::string& arguments, std::string& errors)
{
    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string path(exe);
    path = path.substr(0, path.find_last_of("\\/") + 1) + "imgdump.exe";
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE err = CreateFileA("imgdump_err.txt", GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = err;
    si.hStdError = err;
    PROCESS_INFORMATION pi = {};
    std::string command = "\"" + path + "\" " + arguments;
    DWORD code = 255;
    if (CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
        WaitForSingleObject(pi.hProcess, 60000);
        GetExitCodeProcess(pi.hProcess, &code);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    }
    CloseHandle(err);
    std::ifstream in("imgdump_err.txt");
    errors.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    in.close();
    std::remove("imgdump_err.txt");
    return code;
}

} // namespace

TEST(CxImageWindows, ImgdumpWritesFramesOverWhite)
{
    GifFrame a;
    a.width = 2;
    a.height = 2;
    a.indices = {0, 1, 2, 3};
    a.transparent = 3;
    GifFrame b = a;
    b.indices = {2, 2, 2, 2};
    const std::string gif = WriteFile("dump_in.gif", cxfix::Gif(2, 2, ColourTable({0x000000, 0x0000FF, 0xFF0000, 0x00FF00}, 4), {a, b}));
    std::string errors;
    ASSERT_EQ(RunImgdump("dump_in.gif dump_out.bmp", errors), 0u) << errors;
    CxImage dumped;
    ASSERT_TRUE(dumped.LoadFromPath("dump_out.bmp", CXIMAGE_FORMAT_BMP));
    EXPECT_EQ(dumped.BitDepth(), 24u);
    EXPECT_EQ(RgbAt(dumped, 0, 0), 0x000000u);
    EXPECT_EQ(RgbAt(dumped, 1, 0), 0x0000FFu);
    EXPECT_EQ(RgbAt(dumped, 0, 1), 0xFF0000u);
    EXPECT_EQ(RgbAt(dumped, 1, 1), 0xFFFFFFu); // transparent over white

    ASSERT_EQ(RunImgdump("dump_in.gif dump_out.bmp 1", errors), 0u) << errors;
    CxImage second;
    ASSERT_TRUE(second.LoadFromPath("dump_out.bmp", CXIMAGE_FORMAT_BMP));
    EXPECT_EQ(RgbAt(second, 1, 1), 0xFF0000u);

    EXPECT_NE(RunImgdump("dump_in.gif dump_out.bmp 7", errors), 0u);
    WriteFile("dump_bad.pcx", cxfix::Pcx(8, 1, 2, 1, {0xC5, 1}, 2));
    EXPECT_NE(RunImgdump("dump_bad.pcx dump_out.bmp", errors), 0u);
    EXPECT_NE(errors.find("repeat count spans end of image"), std::string::npos) << errors;
    std::remove("dump_in.gif");
    std::remove("dump_bad.pcx");
    std::remove("dump_out.bmp");
}
