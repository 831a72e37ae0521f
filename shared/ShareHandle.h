// The engine's holders of the shared kernel objects. Each holder is built on
// first use and keeps its handle until the process ends (ProcessMutex's is
// closed when the library unloads).
#pragma once

#include "FrameProtocol.h"

namespace tq {

class CShareHandle {
public:
    CShareHandle() = default;
    ~CShareHandle() = default;  // the holders outlive every user: closing is explicit
    CShareHandle(const CShareHandle&) = delete;
    CShareHandle& operator=(const CShareHandle&) = delete;

    void CreateCaptureMemory();
    void CreateUserMemory();
    void CreateVcamParaMemory();
    void CreateShareMutex();
    void CreateProcessMutex();
    void Close();
    HANDLE Get() const { return m_handle; }

    // Request-record operations: no-ops without a handle; each holds
    // ShareMemoryMutex around one mapping of the record.
    void ResetVcamPara();
    void ReadVcamPara(uint32_t& width, uint32_t& height, uint32_t& frameTime);
    void WriteMarkCorner(uint32_t corner);

private:
    void CreateMapping(DWORD size, const wchar_t* name);
    HANDLE m_handle = nullptr;
};

CShareHandle& GetCaptureShareMemory();
CShareHandle& GetUserShareMemory();
CShareHandle& GetVcamParaShareMemory();
CShareHandle& GetShareMemoryMutex();
CShareHandle& GetProcessMutex();

// A mapped view of a shared mapping, unmapped when it goes out of scope.
// With a minimum size, a view smaller than that (a same-named mapping that
// another process made first, shorter than ours) is refused: it reads as no
// view at all, and the refusal is reported once per name.
class CMappedView {
public:
    CMappedView(HANDLE mapping, DWORD access, size_t minimumBytes = 0, const char* what = nullptr);
    ~CMappedView() { if (m_view) UnmapViewOfFile(m_view); }
    CMappedView(const CMappedView&) = delete;
    CMappedView& operator=(const CMappedView&) = delete;
    uint8_t* Get() const { return m_view; }
    explicit operator bool() const { return m_view != nullptr; }
private:
    uint8_t* m_view;
};

// Where refusals of short mappings are reported (the engine's log); by
// default they go to the debugger.
typedef void (*ShortMappingReporter)(const char* text);
void SetShortMappingReporter(ShortMappingReporter reporter);

// The host list as the engine reads it: bounded to the mapping, under the mutex.
std::string ReadSharedHostList();

} // namespace tq
