// The entry of the main-window library "mainframe.dll", resolved by name
// "sorvaMain". The launcher and the library share the C runtime DLL, so the
// version string object crosses the boundary by value.
#pragma once

#include <string>

typedef int (*SorvaMainFunction)(int argc, char** argv, std::wstring version);
