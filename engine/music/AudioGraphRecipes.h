// The sound graphs of the music players: four recipes that build a graph
// from a file and run it on the chosen output device, described once in a
// table for the three users (the accompaniment's original and karaoke tracks
// and the mood music), with each user's texts and log channels.
#pragma once

#include "ComPtr.h"

#include <dshow.h>

#include <string>
#include <vector>

namespace tq {

enum class AudioRecipe { Mp30, Mp31, Aac, AutoRender };
enum class AudioUser { Orig, Kalaok, Mood };

// Graph notifications of each user's worker window.
constexpr UINT WM_ACCOMPANYMUSIORIGNOTIFY = 33698;
constexpr UINT WM_ACCOMPANY_KALAOKNOTIFY = 33699;
constexpr UINT WM_MOODMUSINOTIFY = 33068;

// One file's graph members; every pointer is empty until a recipe builds it
// and empty again after Clear.
struct AudioTrack {
    ComPtr<IGraphBuilder> graph;
    ComPtr<IBaseFilter> source;
    ComPtr<IFileSourceFilter> fileSource;
    ComPtr<IBaseFilter> dmoWrapper;
    ComPtr<IBaseFilter> splitter;
    ComPtr<IBaseFilter> mpcmpaDecoder;
    ComPtr<IBaseFilter> ac3Filter;
    ComPtr<IBaseFilter> renderer;
    ComPtr<IMediaControl> control;
    ComPtr<IMediaEvent> event;
    ComPtr<IMediaPosition> position;
    ComPtr<IMediaEventEx> eventEx;
    ComPtr<IBasicAudio> audio;
    ComPtr<IMediaSeeking> seeking;  // the accompaniment's tracks only
    ComPtr<IBaseFilter> exchangedRenderer;

    // Pause, StopWhenReady, every filter out of the graph, everything released.
    void Clear();
};

// The recipes a user tries for a file, in order, by its lower-case extension.
std::vector<AudioRecipe> AudioRecipeOrder(AudioUser user, const std::string& fileName);
const char* AudioRecipeName(AudioRecipe recipe);
UINT AudioNotifyMessage(AudioUser user);

// Builds and runs the recipe's graph into track (which must be empty);
// notifications go to notifyWindow. outputDevice is the chooser's device
// name. Returns S_OK when the graph runs, else the failed step's HRESULT
// after its report (the caller clears the track); a missing or empty file
// gives HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) and builds nothing.
HRESULT BuildAudioTrack(AudioRecipe recipe, AudioUser user, const std::string& fileName, HWND notifyWindow,
                        const std::string& outputDevice, AudioTrack& track);

// The chooser's device name, asked of the manager's chooser (empty without one).
std::string ChosenAudioDevice();

// Reads every pending event of the track with the given time-out, frees each
// one's parameters; true when one of them was EC_COMPLETE.
bool DrainTrackEvents(AudioTrack& track, long timeoutMs, bool stopAtFirst = false);

} // namespace tq
