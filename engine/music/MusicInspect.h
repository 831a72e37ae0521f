// What a test reads back from a player's worker (sent, so the worker's own
// thread fills it between two of its handlers).
#pragma once

#include "AudioGraphRecipes.h"

#include <windows.h>

#include <string>
#include <vector>

struct MusicTrackReport {
    bool hasGraph = false;
    std::vector<std::string> filters;  // the graph's filter names, ANSI
    std::string file;                  // the file its source loaded, ANSI
    bool volumeRead = false;
    long volume = 0;                   // the basic-audio volume
    long state = -1;                   // the graph's state, -1 when it cannot be read
    double position = 0.0;             // seconds
};

struct MusicGraphReport {
    MusicTrackReport tracks[2];        // accompaniment: original, karaoke; mood music: tracks[0]
    UINT durationPeriod = 0;
    bool durationTimer = false;
    bool positionTimer = false;
};

// Fills a report of one track; called on the worker's thread.
void ReportTrack(tq::AudioTrack& track, MusicTrackReport& report);
