// Receiver of a copy of a source's 400 x 300 RGB24 preview.
#pragma once

#include <cstdint>

class ISnapshotSink {
public:
    virtual void OnSnapshot(const uint8_t* bytes, uint32_t length) = 0;
protected:
    ~ISnapshotSink() = default;
};
