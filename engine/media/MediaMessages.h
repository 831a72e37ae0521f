// Window messages between the media-file source's public object and its worker.
#pragma once

#include <windows.h>

// To the worker.
constexpr UINT WM_MEDIA_INIT = 1126;
constexpr UINT WM_MEDIA_STOP = 1127;
constexpr UINT WM_MEDIA_PAUSE = 1128;
constexpr UINT WM_MEDIA_CONTINUE = 1129;
constexpr UINT WM_MEDIA_SETPOSITION = 1131;
constexpr UINT WM_MEDIA_SETVOLUME = 1132;
constexpr UINT WM_MEDIA_SETCONF = 1133;
constexpr UINT WM_MEDIA_STARTPROGRESS = 1134;
constexpr UINT WM_MEDIA_GOTPICTURE = 1135;
constexpr UINT WM_MEDIA_GRAPHNOTIFY = 32868;

// To the public object.
constexpr UINT WM_MEDIA_NOTIFYPROGRESS = 1136;
constexpr UINT WM_MEDIA_NOTIFYOPEN = 1137;
constexpr UINT WM_MEDIA_NOTIFYEND = 1138;
constexpr UINT WM_MEDIA_NOTIFYDURATION = 1139;
constexpr UINT WM_MEDIA_NOTIFYSTOPPED = 1140;
