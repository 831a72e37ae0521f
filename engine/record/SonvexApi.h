// The outside audio engine "Sonvex.dll" as the recorder binds it: the export
// "GetSonvex" returns the engine object, whose operations the recorder calls
// by their position in the table.
//
// Calling convention: the tables are the C++ virtual-call convention of the
// toolchain that builds both sides. On i686 (the product) that is __thiscall:
// `this` in ECX, arguments on the stack, callee pops. On x86_64 Windows there
// is a single convention (Microsoft x64: `this` in RCX, the next arguments in
// RDX, R8, R9), so nothing is spelled out here and the recorder and the
// stand-in agree as long as both are built from this header for the same
// architecture. No virtual destructor: slot 0 is Release.
#pragma once

#include "RecordSinks.h"

namespace tq {

class ISonvexCapture {
public:
    virtual void Release() = 0;                       // 0: last call on the object
    virtual void SetOption1(int value) = 0;           // 1: (1) before capture starts
    virtual void Unused2() = 0;
    virtual void Unused3() = 0;
    virtual void Unused4() = 0;
    virtual void Unused5() = 0;
    virtual void Unused6() = 0;
    virtual void Unused7() = 0;
    virtual void Unused8() = 0;
    virtual void StartCapture() = 0;                  // 9: blocks start reaching the sink
    virtual void StopCapture() = 0;                   // 10
    virtual void Unused11() = 0;
    virtual void Unused12() = 0;
    virtual void Unused13() = 0;
    virtual void Unused14() = 0;
    virtual void SetSink(IAudioDataSink* sink) = 0;   // 15
    virtual void SetOption16(int value) = 0;          // 16: (0) before capture starts
    virtual void SetOption17(int value) = 0;          // 17: (0) after capture stops
    virtual void Unused18() = 0;
    virtual void Unused19() = 0;
    virtual void Unused20() = 0;
    virtual void Unused21() = 0;
    virtual void Unused22() = 0;
    virtual void Unused23() = 0;
    virtual void Unused24() = 0;
    virtual void Unused25() = 0;
    virtual void Unused26() = 0;
    virtual void Unused27() = 0;
    virtual void Unused28() = 0;
    virtual void SetOption29(int value) = 0;          // 29: (0) before capture starts
    virtual void Unused30() = 0;
    virtual void SetOption31(int value) = 0;          // 31: (1) before capture starts

protected:
    ~ISonvexCapture() = default;
};

class ISonvexEngine {
public:
    virtual void Release() = 0;                       // 0: last call on the engine
    virtual void Unused1() = 0;
    virtual void Unused2() = 0;
    virtual void Unused3() = 0;
    virtual void Unused4() = 0;
    virtual void Unused5() = 0;
    virtual void Unused6() = 0;
    virtual void Unused7() = 0;
    virtual void Unused8() = 0;
    virtual void Unused9() = 0;
    virtual ISonvexCapture* GetCapture() = 0;         // 10: may be null
    virtual void Unused11() = 0;
    virtual void Unused12() = 0;
    virtual int Initialize(int value) = 0;            // 13: (1); the result is kept, not used

protected:
    ~ISonvexEngine() = default;
};

typedef ISonvexEngine* (*GetSonvexFunction)();

} // namespace tq
