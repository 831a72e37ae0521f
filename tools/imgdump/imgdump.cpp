// imgdump FILE OUT.bmp [FRAME]: decodes FILE with the image library and writes
// the chosen frame as a 24-bit BMP, transparent pixels over white. On failure
// prints the library's error text and exits non-zero.
#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "CxImage.h"
#include "common/BmpFile.h"

namespace {

// The format the file's extension names, so a failure reports that reader's text.
uint32_t FormatOfName(const char* path)
{
    const char* dot = std::strrchr(path, '.');
    std::string ext = dot ? dot + 1 : "";
    for (char& c : ext)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    struct Entry {
        const char* ext;
        uint32_t id;
    } const table[] = {{"bmp", CXIMAGE_FORMAT_BMP}, {"dib", CXIMAGE_FORMAT_BMP}, {"gif", CXIMAGE_FORMAT_GIF},
                       {"ico", CXIMAGE_FORMAT_ICO}, {"cur", CXIMAGE_FORMAT_ICO}, {"tga", CXIMAGE_FORMAT_TGA},
                       {"pcx", CXIMAGE_FORMAT_PCX}, {"wbmp", CXIMAGE_FORMAT_WBMP}, {"wmf", CXIMAGE_FORMAT_WMF},
                       {"emf", CXIMAGE_FORMAT_WMF}, {"ska", CXIMAGE_FORMAT_SKA}, {"psd", CXIMAGE_FORMAT_PSD}};
    for (const Entry& e : table)
        if (ext == e.ext)
            return e.id;
    return CXIMAGE_FORMAT_UNKNOWN;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: imgdump FILE OUT.bmp [FRAME]\n");
        return 2;
    }
    CxImage image;
    if (argc == 4)
        image.SelectFrame(std::atoi(argv[3]));
    if (!image.LoadFromPath(argv[1], FormatOfName(argv[1])) || !image.HasPixels()) {
        std::fprintf(stderr, "%s\n", image.LastError()[0] ? image.LastError() : "no picture decoded");
        return 1;
    }
    const int width = int(image.Width()), height = int(image.Height());
    const bool transparent = image.HasTransparency();
    const CxRgbQuad key = image.TransparentColor();
    const int keyIndex = image.TransparentIndex();
    const bool paletted = image.PaletteEntries() != 0;
    std::vector<uint8_t> pixels(size_t(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            CxRgbQuad c = image.PixelColor(x, y, true);
            uint32_t alpha = image.HasAlpha() ? c.rgbReserved : 255;
            if (transparent && (paletted ? image.PixelIndex(x, y) == keyIndex
                                         : c.rgbBlue == key.rgbBlue && c.rgbGreen == key.rgbGreen &&
                                               c.rgbRed == key.rgbRed))
                alpha = 0;
            uint8_t* p = &pixels[(size_t(y) * width + x) * 3];
            p[0] = uint8_t((c.rgbBlue * alpha + 255 * (255 - alpha)) / 255);
            p[1] = uint8_t((c.rgbGreen * alpha + 255 * (255 - alpha)) / 255);
            p[2] = uint8_t((c.rgbRed * alpha + 255 * (255 - alpha)) / 255);
        }
    }
    wchar_t out[MAX_PATH];
    if (!MultiByteToWideChar(CP_ACP, 0, argv[2], -1, out, MAX_PATH) ||
        !tqtools::SaveBmp24(out, width, height, pixels.data())) {
        std::fprintf(stderr, "cannot write %s\n", argv[2]);
        return 1;
    }
    std::printf("%dx%d, %u bits, frame %d of %d, delay %u\n", width, height, image.BitDepth(),
                image.FrameToLoad(), image.FrameCount(), image.FrameDelay());
    return 0;
}
