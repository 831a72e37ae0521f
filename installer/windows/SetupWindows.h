// Lets the bridge open the installer's windows (the program calls it once).
#pragma once

#include <windows.h>

void installSetupWindows();

class KqFrameWindow;
// The setup window behind a handle the bridge holds, or null.
KqFrameWindow* setupWindowFor(HWND window);
