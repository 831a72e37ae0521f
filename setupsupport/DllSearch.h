// Where the setup programs look for DLLs. They run elevated from folders the
// user fills (Downloads, the per-user setup folder): a DLL planted there under
// a system DLL's name must never be loaded.
#pragma once

#include <windows.h>

// Limits the DLL search of this process to the system folder. Called first
// thing in the programs' entry points, before any DLL that is not already
// mapped is loaded. False when the system cannot do it.
bool restrictDllSearchToSystem();

// Loads a system DLL from the system folder only, never from the program's
// folder or the current folder.
HMODULE loadSystemLibrary(const wchar_t* name);
