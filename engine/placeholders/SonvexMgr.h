// Placeholder for the audio output chooser until it is built.
#pragma once

#include "CallRecorder.h"

#include <string>

class CSonvexMgr : public CCallRecorder {
public:
    virtual void Quit() { Record("Quit"); }
    // No device chosen yet: the players keep the default renderer.
    std::string GetOutputDevice() { return std::string(); }
    virtual ~CSonvexMgr() = default;
};
