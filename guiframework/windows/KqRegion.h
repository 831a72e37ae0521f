// A rounded-rectangle clip region (a GDI+ region).
#pragma once

#include "KqGeometry.h"

namespace Gdiplus {
class Region;
}

class KqRegion {
public:
    // Built from the rectangle's edges plus one past its right and bottom
    // (the system's rounded regions end one pixel inside those).
    KqRegion(const KqRect& rect, int ellipseWidth, int ellipseHeight);
    KqRegion(const KqRegion&) = delete;
    KqRegion& operator=(const KqRegion&) = delete;
    virtual ~KqRegion();
    KqRegion* clone() const;
    Gdiplus::Region* region() const { return m_region; }
    bool contains(int x, int y) const;
    // Bounding box (right and bottom exclusive).
    KqRect bounds() const;

private:
    explicit KqRegion(Gdiplus::Region* region) : m_region(region) {}
    Gdiplus::Region* m_region;
};
