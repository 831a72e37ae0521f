// The sound renderers' volume for a player volume of 0..1: one table shared by
// the media-file source, the accompaniment and the mood music.
#pragma once

#include <dshow.h>

namespace tq {

// Entry trunc(volume x 100), clamped to 0..99, in hundredths of a decibel.
long VolumeToDirectShow(double volume);

// Sets the graph's basic-audio volume through the table; false without a
// basic-audio interface or when the graph refuses it.
bool SetGraphVolume(IUnknown* graph, double volume);

} // namespace tq
