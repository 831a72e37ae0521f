// Window messages between the desktop source's public object and its worker.
#pragma once

#include <windows.h>

// To the worker.
constexpr UINT WM_DESKTOP_CONF = 2524;
constexpr UINT WM_DESKTOP_START = 2525;
constexpr UINT WM_DESKTOP_STOP = 2526;
constexpr UINT WM_DESKTOP_REOPEN = 2527;
// To the public object.
constexpr UINT WM_DESKTOP_STOPPED = 2528;
constexpr UINT WM_DESKTOP_STARTED = 2529;
