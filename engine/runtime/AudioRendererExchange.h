// The output-device exchange of a connected sound graph: the default
// DirectSound renderer is replaced by the renderer of the device the audio
// output chooser holds. Used the same way by the media-file source and the
// music players, each with its own log texts.
#pragma once

#include <dshow.h>

#include <string>

namespace tq {

constexpr const char* kDefaultAudioDevice = "Default DirectSound Device";

enum class AudioExchange {
    NotNeeded,       // no graph, an empty name or the default device itself
    NoDefaultFound,  // the graph has no "Default DirectSound Device" filter
    Exchanged,       // the chosen device's renderer now plays the sound
    KeptDefault,     // the chosen device has no renderer: the default one stays connected
};

// On Exchanged, *renderer (when given) receives the added renderer, AddRef'ed.
AudioExchange ExchangeAudioRenderer(IGraphBuilder* graph, const std::string& deviceName,
                                    IBaseFilter** renderer = nullptr);

} // namespace tq
