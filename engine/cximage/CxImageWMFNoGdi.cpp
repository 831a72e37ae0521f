// Metafile rendering where GDI is absent (the host-compiled sanitizer build):
// the headers are checked as on Windows, the picture cannot be played.
#include "CxImageWMF.h"

void CxImageWMF::ScreenDpi(int32_t&, int32_t&) {}

bool CxImageWMF::Render(const uint8_t*, size_t, bool, int32_t, int32_t)
{
    SetLastError("corrupted WMF");
    return false;
}
