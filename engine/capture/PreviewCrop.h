// The centred crop that fits a picture to the preview's aspect before it is
// scaled: an excess of more than one pixel, rounded up to even, is cut
// equally from both sides.
#pragma once

#include "ColorConverter.h"

#include <cstdint>

// picture: width x height RGB24, bottom row first, left untouched. work holds
// at least width x height x 3 bytes. destination: targetWidth x targetHeight.
bool CropAndScale(const uint8_t* picture, int width, int height, uint8_t* work, uint8_t* destination,
                  int targetWidth, int targetHeight, CColorConverter& converter);
