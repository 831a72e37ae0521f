#include "PerfRecord.h"

#include <cstring>

namespace Perf {

CPerfRecord* CPerfRecord::s_pImpl = nullptr;

CPerfRecord::CPerfRecord()
{
    memset(m_bytes, 0, kClearedBytes);
}

CPerfRecord& CPerfRecord::operator=(const CPerfRecord& other)
{
    memmove(m_bytes, other.m_bytes, kSize);
    return *this;
}

CPerfRecord* CPerfRecord::GetInstance()
{
    if (!s_pImpl)
        s_pImpl = new CPerfRecord();
    return s_pImpl;
}

}  // namespace Perf
