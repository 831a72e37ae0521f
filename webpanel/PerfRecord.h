// A performance record the library exports for its host; the panel itself
// does not use it.
#pragma once

#include <cstdint>

#ifdef TQ_BROWSER_BUILD
#define TQ_BROWSER_API __declspec(dllexport)
#else
#define TQ_BROWSER_API __declspec(dllimport)
#endif

namespace Perf {

class TQ_BROWSER_API CPerfRecord {
public:
    static constexpr unsigned kSize = 544;
    static constexpr unsigned kClearedBytes = 22;

    CPerfRecord();
    CPerfRecord& operator=(const CPerfRecord& other);
    // One instance for the process, made on the first call and never freed.
    static CPerfRecord* GetInstance();

    const uint8_t* bytes() const { return m_bytes; }

    static CPerfRecord* s_pImpl;

private:
    uint8_t m_bytes[kSize];
};

}  // namespace Perf

static_assert(sizeof(Perf::CPerfRecord) == 544, "the host allocates the record at this size");
