// The module instance of the library the engine code is linked into; set by
// its entry point, used to register window classes and to find resources.
#pragma once

#include <windows.h>

namespace tq {
HINSTANCE GetEngineModule();
void SetEngineModule(HINSTANCE module);
}
