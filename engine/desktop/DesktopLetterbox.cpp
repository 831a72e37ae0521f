#include "DesktopLetterbox.h"

DesktopPlacement LetterboxDesktop(int width, int height)
{
    if (width <= 0 || height <= 0)
        return {0, 0, 0, 0};
    const double aspect = double(width) / double(height);
    if (aspect >= 4.0 / 3.0) {
        const int h = int(480.0 / aspect);
        return {0, (360 - h) / 2, 480, h};
    }
    const int w = int(aspect * 360.0);
    return {(480 - w) / 2, 0, w, 360};
}
