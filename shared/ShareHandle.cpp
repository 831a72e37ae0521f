#include "ShareHandle.h"

#include <atomic>
#include <cstdio>
#include <cstring>

namespace tq {

namespace {
std::atomic<ShortMappingReporter> g_shortMappingReporter{nullptr};
std::atomic<unsigned> g_reportedShortMappings{0};  // one bit per reported name

unsigned ReportBit(const char* what)
{
    unsigned hash = 0;
    for (const char* c = what; *c; ++c)
        hash = hash * 31 + uint8_t(*c);
    return 1u << (hash % 32);
}
} // namespace

void SetShortMappingReporter(ShortMappingReporter reporter)
{
    g_shortMappingReporter = reporter;
}

CMappedView::CMappedView(HANDLE mapping, DWORD access, size_t minimumBytes, const char* what)
    : m_view(mapping ? static_cast<uint8_t*>(MapViewOfFile(mapping, access, 0, 0, 0)) : nullptr)
{
    if (!m_view || minimumBytes == 0)
        return;
    MEMORY_BASIC_INFORMATION info = {};
    if (VirtualQuery(m_view, &info, sizeof info) == sizeof info && info.RegionSize >= minimumBytes)
        return;
    const size_t size = info.RegionSize;
    UnmapViewOfFile(m_view);
    m_view = nullptr;
    const char* name = what ? what : "shared memory";
    const unsigned bit = ReportBit(name);
    if (g_reportedShortMappings.fetch_or(bit) & bit)
        return;
    char text[200];
    snprintf(text, sizeof text, "%s: mapping of %lu bytes is shorter than %lu, not used", name,
             (unsigned long)size, (unsigned long)minimumBytes);
    if (ShortMappingReporter reporter = g_shortMappingReporter.load())
        reporter(text);
    else
        OutputDebugStringA(text);
}

void CShareHandle::CreateMapping(DWORD size, const wchar_t* name)
{
    m_handle = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size, name);
}

void CShareHandle::CreateCaptureMemory()  { CreateMapping(kCaptureMemorySize, kCaptureMemoryName); }
void CShareHandle::CreateUserMemory()     { CreateMapping(kUserMemorySize, kUserMemoryName); }
void CShareHandle::CreateVcamParaMemory() { CreateMapping(kVcamParaMemorySize, kVcamParaMemoryName); }
void CShareHandle::CreateShareMutex()     { m_handle = CreateMutexW(nullptr, FALSE, kShareMutexName); }
void CShareHandle::CreateProcessMutex()   { m_handle = CreateMutexW(nullptr, FALSE, nullptr); }

void CShareHandle::Close()
{
    if (m_handle) {
        CloseHandle(m_handle);
        m_handle = nullptr;
    }
}

void CShareHandle::ResetVcamPara()
{
    if (!m_handle)
        return;
    CMutexLock lock(GetShareMemoryMutex().Get());
    CMappedView view(m_handle, FILE_MAP_ALL_ACCESS, kVcamParaMemorySize, "VcamParaShareMemory");
    if (!view)
        return;
    uint8_t field[4];
    WriteU32BE(field, kResetRequestHeight, 0);
    memcpy(view.Get() + kOffRequestHeight, field, 4);
    WriteU32BE(field, kResetRequestWidth, 0);
    memcpy(view.Get() + kOffRequestWidth, field, 4);
    WriteU32BE(field, kResetRequestFrameTime, 0);
    memcpy(view.Get() + kOffRequestFrameTime, field, 4);
}

void CShareHandle::ReadVcamPara(uint32_t& width, uint32_t& height, uint32_t& frameTime)
{
    if (!m_handle)
        return;
    CMutexLock lock(GetShareMemoryMutex().Get());
    CMappedView view(m_handle, FILE_MAP_ALL_ACCESS, kVcamParaMemorySize, "VcamParaShareMemory");
    if (!view)
        return;
    uint8_t field[4];
    memcpy(field, view.Get() + kOffRequestWidth, 4);
    width = ReadU32BE(field, 0);
    memcpy(field, view.Get() + kOffRequestHeight, 4);
    height = ReadU32BE(field, 0);
    memcpy(field, view.Get() + kOffRequestFrameTime, 4);
    frameTime = ReadU32BE(field, 0);
}

void CShareHandle::WriteMarkCorner(uint32_t corner)
{
    if (!m_handle)
        return;
    CMutexLock lock(GetShareMemoryMutex().Get());
    CMappedView view(m_handle, FILE_MAP_ALL_ACCESS, kVcamParaMemorySize, "VcamParaShareMemory");
    if (!view)
        return;
    uint8_t field[4];
    WriteU32BE(field, corner, 0);
    memcpy(view.Get() + kOffMarkCorner, field, 4);
}

// Function-level holders: created on their first call, once per process.
CShareHandle& GetCaptureShareMemory()
{
    static CShareHandle* holder = [] { auto* h = new CShareHandle; h->CreateCaptureMemory(); return h; }();
    return *holder;
}

CShareHandle& GetUserShareMemory()
{
    static CShareHandle* holder = [] { auto* h = new CShareHandle; h->CreateUserMemory(); return h; }();
    return *holder;
}

CShareHandle& GetVcamParaShareMemory()
{
    static CShareHandle* holder = [] { auto* h = new CShareHandle; h->CreateVcamParaMemory(); return h; }();
    return *holder;
}

CShareHandle& GetShareMemoryMutex()
{
    static CShareHandle* holder = [] { auto* h = new CShareHandle; h->CreateShareMutex(); return h; }();
    return *holder;
}

// Closed on unload: a static object whose destructor closes the handle.
namespace {
struct ProcessMutexHolder {
    CShareHandle handle;
    ProcessMutexHolder() { handle.CreateProcessMutex(); }
    ~ProcessMutexHolder() { handle.Close(); }
};
}

CShareHandle& GetProcessMutex()
{
    static ProcessMutexHolder holder;
    return holder.handle;
}

std::string ReadSharedHostList()
{
    CShareHandle& memory = GetUserShareMemory();
    if (!memory.Get())
        return std::string();
    CMutexLock lock(GetShareMemoryMutex().Get());
    CMappedView view(memory.Get(), FILE_MAP_ALL_ACCESS, kUserMemorySize, "UserShareMemory");
    if (!view)
        return std::string();
    return ReadHostList(reinterpret_cast<const char*>(view.Get()), kUserMemorySize);
}

} // namespace tq
