// Placeholder for the recorder until it is built.
#pragma once

#include "CallRecorder.h"

#include <cstdint>

// Receives each preview frame while a recording runs.
class IRecordFrameSink {
public:
    virtual void OnFrame(const uint8_t* rgb24, int width, int height, uint32_t timeMs) = 0;
protected:
    ~IRecordFrameSink() = default;
};

class CRecorder : public CCallRecorder {
public:
    virtual void Quit() { Record("Quit"); }
    virtual ~CRecorder() = default;
    IRecordFrameSink* GetFrameSink() { return nullptr; }
};
