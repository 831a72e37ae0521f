// Window messages between the music players' and the output chooser's public
// objects and their workers.
#pragma once

#include <windows.h>

// Accompaniment, to the worker.
constexpr UINT WM_ACCOMPANY_START = 33669;
constexpr UINT WM_ACCOMPANY_STOP = 33670;
constexpr UINT WM_ACCOMPANY_PAUSE = 33671;
constexpr UINT WM_ACCOMPANY_CONTINUE = 33672;
constexpr UINT WM_ACCOMPANY_SETVOLUME = 33673;
constexpr UINT WM_ACCOMPANY_QUERYDURATION = 33674;
constexpr UINT WM_ACCOMPANY_SETPOSITION = 33675;
constexpr UINT WM_ACCOMPANY_SWITCHTYPE = 33676;
// Accompaniment, to the public window.
constexpr UINT WM_ACCOMPANY_NOTIFYSTARTED = 33688;
constexpr UINT WM_ACCOMPANY_NOTIFYDURATION = 33689;
constexpr UINT WM_ACCOMPANY_NOTIFYEND = 33690;
constexpr UINT WM_ACCOMPANY_NOTIFYPOSITION = 33691;

// Mood music, to the worker.
constexpr UINT WM_MOOD_START = 33069;
constexpr UINT WM_MOOD_SETVOLUME = 33070;
constexpr UINT WM_MOOD_STOP = 33071;

// Output chooser.
constexpr UINT WM_AUDIODEV_ENUM = 2225;  // to the worker
constexpr UINT WM_AUDIODEV_LIST = 2246;  // to the public window

// Sent (not posted) by tests to a worker: fills the MusicGraphReport at lParam.
constexpr UINT WM_MUSIC_INSPECT = WM_APP + 0x3A1;
