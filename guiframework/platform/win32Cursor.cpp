#include "KqCursor.h"

#include <windows.h>

namespace {

class SystemCursorBackend : public KqCursorBackend {
public:
    void* load(int systemId) override
    {
        return LoadImageW(nullptr, MAKEINTRESOURCEW(systemId), IMAGE_CURSOR, 0, 0, LR_SHARED | LR_DEFAULTSIZE);
    }
    void* current() override { return GetCursor(); }
    void set(void* handle) override { SetCursor(static_cast<HCURSOR>(handle)); }
};

} // namespace

KqCursorBackend* kqSystemCursorBackend()
{
    static SystemCursorBackend backend;
    return &backend;
}
