// GDI+ for the framework's win32 files.
#pragma once

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include "KqString.h"

inline const WCHAR* kqWide(const KqString& text) { return reinterpret_cast<const WCHAR*>(text.data()); }
