// DecodeJpegToBgr: decodes one JPEG picture (an MJPEG camera sample) from
// memory into top-down BGR rows through libjpeg-turbo.
#pragma once

#include <cstdint>

// jpeg, length: the compressed picture. The decoder reads these bytes only,
//   and running out of them before the picture ends is a failure.
// output: room for width x height x 3 bytes (the sizes passed in).
// width, height: in, the largest picture the output can take; out, the
//   decoded picture's size. A picture wider or taller than announced fails.
// outputLength: out, width x height x 3 of the decoded picture.
// The rows are written top-down, width x 3 bytes each with no padding, in
// B, G, R order; a gray-scale picture gives gray BGR pixels.
//
// Returns false, leaving width, height and outputLength as they were, for a
// missing or empty input or output, a stream that is not a JPEG picture, a
// truncated or damaged one (libjpeg's corrupt-data warnings count as damage),
// colour spaces other than gray, YCbCr and RGB, and a picture larger than
// announced. The output may then hold part of a picture: a caller that must
// keep its picture intact decodes into a scratch buffer (as
// CColorConverter::ConvertMjpg does). A failure never ends the process.
//
// Keeps no state between calls; any number of threads may decode at once.
bool DecodeJpegToBgr(const uint8_t* jpeg, int length, uint8_t* output, int& width, int& height, int& outputLength);
