// Window messages between the camera source's public object and its worker.
#pragma once

#include <windows.h>

// To the worker.
constexpr UINT WM_CAPTURE_INIT = 2824;
constexpr UINT WM_CAPTURE_STOP = 2825;
constexpr UINT WM_CAPTURE_REOPEN = 2826;
constexpr UINT WM_CAPTURE_PAUSE = 2827;
constexpr UINT WM_CAPTURE_CONTINUE = 2828;
constexpr UINT WM_CAPTURE_SETCONF = 2829;
constexpr UINT WM_CAPTURE_ENUMDEVICES = 2830;
constexpr UINT WM_CAPTURE_PROPERTYPAGE = 2831;
constexpr UINT WM_CAPTURE_GOTPICTURE = 2844;
constexpr UINT WM_CAPTURE_GRAPHNOTIFY = 33468;

// To the public object.
constexpr UINT WM_CAPTURE_NOTIFYLISTENER = 2834;
constexpr UINT WM_CAPTURE_OPENRESULT = 2835;
constexpr UINT WM_CAPTURE_DEVICECHANGE = 2846;
