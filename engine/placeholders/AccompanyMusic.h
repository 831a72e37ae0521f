// Placeholder for the accompaniment player until it is built.
#pragma once

#include "CallRecorder.h"

class CAccompanyMusic : public CCallRecorder {
public:
    virtual ~CAccompanyMusic() = default;
    bool Stop() { Record("Stop"); return true; }
    void Quit() { Record("Quit"); }
};
