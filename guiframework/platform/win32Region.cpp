#include "KqRegion.h"

#include "win32Gdiplus.h"

KqRegion::KqRegion(const KqRect& rect, int ellipseWidth, int ellipseHeight) : m_region(nullptr)
{
    HRGN native = CreateRoundRectRgn(rect.left, rect.top, rect.right + 2, rect.bottom + 2, ellipseWidth, ellipseHeight);
    m_region = native ? new Gdiplus::Region(native) : new Gdiplus::Region();
    if (native)
        DeleteObject(native); // the GDI+ region keeps its own copy
}

KqRegion::~KqRegion() { delete m_region; }

KqRegion* KqRegion::clone() const { return new KqRegion(m_region->Clone()); }

bool KqRegion::contains(int x, int y) const { return m_region->IsVisible(x, y) != FALSE; }

KqRect KqRegion::bounds() const
{
    HDC dc = CreateCompatibleDC(nullptr);
    Gdiplus::Rect box;
    {
        Gdiplus::Graphics graphics(dc);
        m_region->GetBounds(&box, &graphics);
    }
    DeleteDC(dc);
    return KqRect::fromEdges(box.X, box.Y, box.X + box.Width, box.Y + box.Height);
}
