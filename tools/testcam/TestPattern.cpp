#include "TestPattern.h"

#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

namespace {
const PatternColor kQuadrants[4] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};

uint8_t Clamp(int v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); }
}

PatternColor QuadrantColor(int quadrant)
{
    return kQuadrants[quadrant & 3];
}

PatternColor PatternAt(int x, int y, int width, int height, unsigned frame)
{
    const int block = 32;
    const int blockX = int((frame * 8u) % unsigned(width > block ? width - block : 1));
    const int blockY = height / 2 - block / 2;
    if (x >= blockX && x < blockX + block && y >= blockY && y < blockY + block)
        return {0, 0, 0};
    const int quadrant = (y >= height / 2 ? 2 : 0) + (x >= width / 2 ? 1 : 0);
    return kQuadrants[quadrant];
}

void FillRgb24(std::vector<uint8_t>& out, int width, int height, unsigned frame)
{
    out.resize(size_t(width) * height * 3);
    for (int row = 0; row < height; ++row) {
        uint8_t* p = &out[size_t(height - 1 - row) * width * 3];  // bottom row first
        for (int x = 0; x < width; ++x, p += 3) {
            const PatternColor c = PatternAt(x, row, width, height, frame);
            p[0] = c.b;
            p[1] = c.g;
            p[2] = c.r;
        }
    }
}

void FillYuy2(std::vector<uint8_t>& out, int width, int height, unsigned frame)
{
    out.resize(size_t(width) * height * 2);
    for (int y = 0; y < height; ++y) {
        uint8_t* p = &out[size_t(y) * width * 2];
        for (int x = 0; x < width; x += 2, p += 4) {
            const PatternColor a = PatternAt(x, y, width, height, frame);
            const PatternColor b = PatternAt(x + 1, y, width, height, frame);
            auto luma = [](PatternColor c) { return Clamp(((66 * c.r + 129 * c.g + 25 * c.b + 128) >> 8) + 16); };
            const int r = (a.r + b.r) / 2, g = (a.g + b.g) / 2, bl = (a.b + b.b) / 2;
            p[0] = luma(a);
            p[1] = Clamp(((-38 * r - 74 * g + 112 * bl + 128) >> 8) + 128);
            p[2] = luma(b);
            p[3] = Clamp(((112 * r - 94 * g - 18 * bl + 128) >> 8) + 128);
        }
    }
}

bool EncodeJpeg(std::vector<uint8_t>& out, int width, int height, unsigned frame)
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<uint8_t> row(size_t(width) * 3);
    while (cinfo.next_scanline < cinfo.image_height) {
        const int y = int(cinfo.next_scanline);
        for (int x = 0; x < width; ++x) {
            const PatternColor c = PatternAt(x, y, width, height, frame);
            row[x * 3] = c.r;
            row[x * 3 + 1] = c.g;
            row[x * 3 + 2] = c.b;
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    out.assign(buffer, buffer + size);
    jpeg_destroy_compress(&cinfo);
    free(buffer);
    return !out.empty();
}
