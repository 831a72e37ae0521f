// Where a media picture goes in the 480 x 360 frame: its fitted size and its
// placement with black margins. Plain functions, shared with the tests.
#pragma once

#include <cstdint>

constexpr int kMediaFrameWidth = 480;
constexpr int kMediaFrameHeight = 360;
constexpr uint32_t kMediaFrameBytes = kMediaFrameWidth * kMediaFrameHeight * 3;

struct MediaFitSize {
    int width;
    int height;
};

// The picture's size inside 480 x 360 keeping its shape: the width rounded up
// to a multiple of 8, the height made even. A source side that is not
// positive gives 0 x 0.
MediaFitSize FitMediaPicture(int sourceWidth, int sourceHeight);

// Blacks out the 480 x 360 RGB24 frame and places the fitted picture
// (width x height, bottom-up RGB24) in it: centred between left and right
// margins when it is narrower, between top and bottom ones when it is lower.
void PlaceMediaPicture(const uint8_t* picture, int width, int height, uint8_t* frame);
