// The test camera's picture: four coloured quadrants (top-left red, top-right
// green, bottom-left blue, bottom-right white) and a black 32 x 32 block that
// moves along the middle band, so a live demo shows motion while the
// quadrant centres stay fixed for tests.
#pragma once

#include <cstdint>
#include <vector>

struct PatternColor {
    uint8_t r, g, b;
};

// Colour of the pattern at (x, y), y counted from the top.
PatternColor PatternAt(int x, int y, int width, int height, unsigned frame);
// Colour a quadrant centre must show: quadrant 0 top-left, 1 top-right, 2 bottom-left, 3 bottom-right.
PatternColor QuadrantColor(int quadrant);

// Bottom-up BGR rows, width x height x 3 bytes.
void FillRgb24(std::vector<uint8_t>& out, int width, int height, unsigned frame);
// Top-down YUY2, width x height x 2 bytes (BT.601, limited range).
void FillYuy2(std::vector<uint8_t>& out, int width, int height, unsigned frame);
// A baseline JPEG of the pattern, quality 90.
bool EncodeJpeg(std::vector<uint8_t>& out, int width, int height, unsigned frame);
