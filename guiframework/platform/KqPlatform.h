// The few operating-system calls under the framework's portable code: the
// Windows build defines them in the win32*.cpp files.
#pragma once

#include "KqString.h"

#include <cstdint>

// Writes "Debug: " and the message to the standard output and the message to
// the debugger.
void kqPlatformDebugOutput(const KqString& message);
// The 64-bit millisecond tick when the system has one.
bool kqPlatformTick64(int64_t* now);
// The 32-bit millisecond tick (wraps about every 49.7 days).
uint32_t kqPlatformTick32();

// One running digest of the system's hash provider.
class KqDigest {
public:
    virtual ~KqDigest() {}
    virtual void add(const char* bytes, int length) = 0;
    // The digest of everything added so far; adding may go on afterwards.
    virtual bool peek(char* out, int length) = 0;
};
// Null when the provider refuses the algorithm (0 MD4, 1 MD5, 2 SHA-1).
KqDigest* kqCreateDigest(int algorithm);
