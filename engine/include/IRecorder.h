// The recorder as the host drives it: the slots of the object that
// IVcamManger::GetRecorder returns, in their fixed order. The host's compiler
// lays a virtual destructor out as one slot taking a flag (bit 0: free the
// memory too), so that slot is declared as such and the C++ destructor is
// not virtual.
#pragma once

#include <string>

class IRecorder {
public:
    virtual void Quit() = 0;
    virtual void StartRecord(const std::string& path) = 0;
    virtual void StopRecord() = 0;
    virtual bool IsRecording() = 0;
    virtual void DeletingDestructor(unsigned flags) = 0;
protected:
    ~IRecorder() = default;
};

constexpr int kRecorderSlots = 5;
