// Placeholder for the audio output chooser until it is built.
#pragma once

#include "CallRecorder.h"

class CSonvexMgr : public CCallRecorder {
public:
    virtual void Quit() { Record("Quit"); }
    virtual ~CSonvexMgr() = default;
};
