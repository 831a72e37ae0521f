// Decodes the mark's PNG resource (101, type "PNG") of a module into a
// bottom-up 32-bit picture.
#pragma once

#include "MarkPicture.h"

#include <windows.h>

bool LoadMarkResource(HMODULE module, MarkBitmap& out);
