#include "GdiplusSession.h"

#include <windows.h>
#include <gdiplus.h>

namespace tq {

bool EnsureGdiplus()
{
    static const bool started = [] {
        Gdiplus::GdiplusStartupInput input;
        ULONG_PTR token = 0;
        return Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok;
    }();
    return started;
}

} // namespace tq
