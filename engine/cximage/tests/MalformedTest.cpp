#include <gtest/gtest.h>

#include "TestUtil.h"

using cxfix::Bytes;

namespace {

// Readers that must refuse any file cut short (GIF keeps what it decoded, an
// icon without its mask is still an icon, an EMF is checked by GDI).
bool RefusesTruncation(const std::string& name)
{
    return name.find(".gif") == std::string::npos && name.find(".ico") == std::string::npos &&
           name.find(".emf") == std::string::npos;
}

void DecodeEveryWay(const Bytes& bytes, uint32_t formatId, const std::string& what)
{
    for (int frame : {0, 1}) {
        for (uint32_t id : {formatId, 0u}) {
            CxImage image;
            image.SelectFrame(frame);
            const bool ok = DecodeBytes(image, bytes, id);
            if (!ok && id == 0) {
                ASSERT_STRNE(image.LastError(), "") << what;
            }
            if (ok && image.HasPixels()) {
                // Read every pixel as the engine does.
                for (uint32_t y = 0; y < image.Height() && y < 64; ++y)
                    for (uint32_t x = 0; x < image.Width() && x < 64; ++x)
                        image.PixelColor(int(x), int(y), true);
            }
        }
    }
}

} // namespace

TEST(CxImageMalformed, TruncationAtEveryOffset)
{
    for (const cxfix::NamedFixture& f : cxfix::AllFixtures()) {
        for (size_t length = 0; length < f.bytes.size(); ++length) {
            const Bytes cut(f.bytes.begin(), f.bytes.begin() + length);
            DecodeEveryWay(cut, f.formatId, f.name + " cut at " + std::to_string(length));
            if (RefusesTruncation(f.name)) {
                CxImage image;
                EXPECT_FALSE(DecodeBytes(image, cut, f.formatId)) << f.name << " cut at " << length;
                if (f.formatId != CXIMAGE_FORMAT_SKA) {
                    EXPECT_STRNE(image.LastError(), "") << f.name << " cut at " << length;
                }
            }
        }
    }
}

TEST(CxImageMalformed, MutatedFixturesNeverCrash)
{
    uint32_t state = 0x9E3779B9u;
    auto next = [&state]() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    };
    for (const cxfix::NamedFixture& f : cxfix::AllFixtures()) {
        for (int round = 0; round < 150; ++round) {
            Bytes b = f.bytes;
            const int edits = 1 + int(next() % 4);
            for (int e = 0; e < edits && !b.empty(); ++e) {
                const size_t at = next() % b.size();
                switch (next() % 4) {
                case 0: b[at] = uint8_t(next()); break;
                case 1: b[at] = 0xFF; break;
                case 2: b[at] = 0; break;
                default: b[at] ^= uint8_t(1u << (next() % 8)); break;
                }
            }
            DecodeEveryWay(b, f.formatId, f.name + " mutation " + std::to_string(round));
        }
    }
}

TEST(CxImageMalformed, FuzzFindingsNeverCrash)
{
    for (const cxfix::NamedFixture& f : cxfix::FuzzFindings())
        DecodeEveryWay(f.bytes, f.formatId, f.name);
}

TEST(CxImageMalformed, HugeSizesFailWithText)
{
    struct Case {
        const char* what;
        Bytes bytes;
        uint32_t formatId;
        const char* error;
    };
    std::vector<Case> cases;
    {
        cxfix::BmpSpec s;
        s.width = 30000;
        s.height = 30000;
        s.bits = 8;
        s.pixels = {1, 2, 3};
        cases.push_back({"BMP beyond the memory cap", cxfix::Bmp(s), 1, "CXIMAGE_MAX_MEMORY exceeded"});
        s.width = 16000;
        s.height = 16000;
        cases.push_back({"BMP larger than its file", cxfix::Bmp(s), 1, "corrupted BMP"});
        s.compression = 1;
        s.pixels = {0, 0};
        cases.push_back({"RLE BMP without data", cxfix::Bmp(s), 1, "corrupted BMP"});
    }
    cases.push_back({"TGA larger than its file", cxfix::TgaHeader(2, 10000, 10000, 8, 0), 7, "corrupted TGA"});
    cases.push_back({"RLE TGA larger than its file", cxfix::TgaHeader(10, 10000, 10000, 8, 0), 7, "corrupted TGA"});
    cases.push_back({"PCX larger than its file", cxfix::Pcx(8, 3, 65535, 65535, {1, 2}, 65535), 8, "corrupted PCX"});
    {
        cxfix::PsdSpec s;
        s.rows = 30000;
        s.columns = 30000;
        s.channels = 3;
        s.planes = {{1}, {2}, {3}};
        cases.push_back({"PSD larger than its file", cxfix::Psd(s), 20, "error loading PSD file"});
        s.packBits = true;
        s.rows = 2;
        s.columns = 60000;
        s.planes = {Bytes(120000, 1), Bytes(120000, 2), Bytes(120000, 3)};
        Bytes packed = cxfix::Psd(s);
        packed.resize(packed.size() - 500);
        cases.push_back({"PSD PackBits cut short", packed, 20, "error loading PSD file"});
    }
    cases.push_back({"WBMP larger than its file", cxfix::Wbmp(5000, 5000, {0}), 9, "Corrupted WBMP"});
    for (const Case& c : cases) {
        CxImage image;
        EXPECT_FALSE(DecodeBytes(image, c.bytes, c.formatId)) << c.what;
        EXPECT_STREQ(image.LastError(), c.error) << c.what;
        EXPECT_FALSE(image.HasPixels());
    }
    // SKA and ICO have no texts.
    CxImage ska;
    EXPECT_FALSE(DecodeBytes(ska, cxfix::Ska(32767, 32767, {}, {1}), 18));
}

TEST(CxImageMalformed, GifScreenTooLargeGivesNoPixels)
{
    cxfix::GifFrame f;
    f.width = 2;
    f.height = 2;
    f.indices = {0, 1, 1, 0};
    const Bytes gif = cxfix::Gif(65535, 65535, cxfix::ColourTable({0, 0xFFFFFF}, 2), {f});
    CxImage image;
    DecodeBytes(image, gif, CXIMAGE_FORMAT_GIF);
    EXPECT_FALSE(image.HasPixels());
}

TEST(CxImageMalformed, GifShortBlocks)
{
    const Bytes table = cxfix::ColourTable({0, 0xFFFFFF, 0xFF0000, 0x00FF00}, 4);
    cxfix::GifFrame f;
    f.width = 8;
    f.height = 8;
    f.indices.assign(64, 2);
    const Bytes whole = cxfix::Gif(8, 8, table, {f});
    // A sub-block that promises 255 bytes and is cut after 3.
    Bytes shortBlock(whole.begin(), whole.begin() + 13 + 12 + 8 + 10 + 1);
    shortBlock.push_back(255);
    shortBlock.insert(shortBlock.end(), {1, 2, 3});
    // Extensions cut inside.
    Bytes shortExtension(whole.begin(), whole.begin() + 13 + 12 + 4);
    // A minimum code size out of range.
    cxfix::GifFrame badSize = f;
    badSize.rawData = {12, 2, 0xFF, 0xFF, 0};
    for (const Bytes& b : {shortBlock, shortExtension, cxfix::Gif(8, 8, table, {badSize, f})}) {
        for (int frame : {0, 1}) {
            CxImage image;
            image.SelectFrame(frame);
            DecodeBytes(image, b, CXIMAGE_FORMAT_GIF);
        }
    }
    // The frame after a bad code size is still found.
    CxImage second;
    second.SelectFrame(1);
    ASSERT_TRUE(DecodeBytes(second, cxfix::Gif(8, 8, table, {badSize, f}), CXIMAGE_FORMAT_GIF));
    EXPECT_EQ(second.FrameCount(), 2);
}
