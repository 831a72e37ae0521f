// Placeholder for the mood-music player until it is built.
#pragma once

#include "CallRecorder.h"

class CMoodMusic : public CCallRecorder {
public:
    virtual void Quit() { Record("Quit"); }
    virtual ~CMoodMusic() = default;
    bool StopMoodMusic() { Record("StopMoodMusic"); return true; }
};
