// Builders of small picture files for the tests, the fuzz seeds and the
// benchmark: every fixture is generated, so each test shows how it was made.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cxfix {

using Bytes = std::vector<uint8_t>;

void Put16(Bytes& b, uint32_t v);
void Put32(Bytes& b, uint32_t v);
void Put16Be(Bytes& b, uint32_t v);
void Put32Be(Bytes& b, uint32_t v);

// GIF ---------------------------------------------------------------------

// LZW codes of one frame's indices, as data sub-blocks with the minimum code
// size byte in front and the terminator behind.
Bytes GifLzw(const Bytes& indices, int minCodeSize);
// Codes exactly as given (each with its width), packed into sub-blocks.
Bytes GifCodes(int minCodeSize, const std::vector<std::pair<int, int>>& codesAndWidths);

struct GifFrame {
    int left = 0, top = 0, width = 0, height = 0;
    Bytes indices;    // top row first
    Bytes localTable; // red, green, blue triples; empty: none
    bool interlaced = false;
    bool withControl = true;
    int disposal = 0;
    int delay = 0;
    int transparent = -1;
    Bytes rawData; // replaces the encoded indices when not empty
};

Bytes Gif(int screenWidth, int screenHeight, const Bytes& globalTable, const std::vector<GifFrame>& frames,
          bool withLoopExtension = false);
// A colour table of n entries, entry i = colours[i] (0xRRGGBB), padded black.
Bytes ColourTable(const std::vector<uint32_t>& colours, int entries);

// BMP ---------------------------------------------------------------------

struct BmpSpec {
    bool fileHeader = true;
    uint32_t headerSize = 40;
    int32_t width = 0, height = 0;
    uint16_t bits = 24;
    uint32_t compression = 0;
    uint32_t colorsUsed = 0;
    int32_t pelsPerMeter = 3780;
    Bytes palette; // as stored: 4 bytes an entry (3 for the 12-byte header)
    Bytes masks;   // stored right after the first 40 header bytes
    Bytes pixels;  // as stored
};
Bytes Bmp(const BmpSpec& spec);
// Rows of width pixels (indices or BGR bytes) padded to four bytes.
Bytes PadRows(const Bytes& tight, int width, int bitsPerPixel, int height);

// ICO ---------------------------------------------------------------------

struct IcoImage {
    int width = 0, height = 0, bits = 8;
    Bytes palette; // 4 bytes an entry
    Bytes xorRows; // as stored, bottom row first
    Bytes andRows; // as stored; empty: no mask bytes at all
};
Bytes Ico(const std::vector<IcoImage>& images);

// Others ------------------------------------------------------------------

Bytes TgaHeader(int imageType, int width, int height, int depth, int descriptor, int mapLength = 0, int mapBits = 24);
Bytes Pcx(int bitsPerPlane, int planes, int width, int height, const Bytes& encoded, int bytesPerLine);
Bytes PcxEncode(const Bytes& raw);
Bytes Wbmp(int width, int height, const Bytes& rows);
Bytes Ska(int width, int height, const Bytes& paletteRgb, const Bytes& indices);

struct PsdSpec {
    int mode = 3;
    int channels = 3;
    int rows = 1, columns = 1;
    int depth = 8;
    Bytes modeData;
    Bytes resources; // whole blocks
    std::vector<Bytes> planes; // one per channel, rows x columns
    bool packBits = false;
};
Bytes Psd(const PsdSpec& spec);
Bytes PsdResource(int id, const Bytes& data);
Bytes PackBits(const Bytes& row);

// Placeable metafile drawing one solid rectangle over its whole frame.
Bytes PlaceableWmf(int right, int bottom, int unitsPerInch, uint32_t colourRef);
Bytes Emf(int left, int top, int right, int bottom);

// Every fixture of every format, for seeds and truncation tests.
struct NamedFixture {
    std::string name;
    uint32_t formatId;
    Bytes bytes;
};
std::vector<NamedFixture> AllFixtures();

// Inputs the fuzz run once crashed a reader with, byte for byte as it saved
// them; they stay in the tests and in the fuzz seeds.
std::vector<NamedFixture> FuzzFindings();

} // namespace cxfix
