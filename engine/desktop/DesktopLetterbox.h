// Where a captured area goes in the 480 x 360 desktop frame.
#pragma once

struct DesktopPlacement {
    int x;
    int y;
    int width;
    int height;
};

// The area's picture keeping its shape: 480 wide and centred vertically when
// it is at least 4:3, else 360 high and centred horizontally. An area with
// no width or height gives an empty placement.
DesktopPlacement LetterboxDesktop(int width, int height);

// The captured width: rounded up to even.
inline int EvenCaptureWidth(int width)
{
    return width + (width & 1);
}
