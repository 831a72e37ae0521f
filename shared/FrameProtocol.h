// The shared-memory frame protocol between the engine (lumeo) and the camera
// filter (TqVirtualCam): object names and sizes, record layouts, big-endian
// field helpers and the scoped mutex lock. Both sides compile this file.
#pragma once

#include <windows.h>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tq {

// Named kernel objects (logon-session namespace: no "Global\" prefix).
constexpr wchar_t kCaptureMemoryName[]   = L"BRENLO_TQ_VIRTUAL_VIDEO_CAPTURE_SHARE_MEMORY";
constexpr wchar_t kVcamParaMemoryName[]  = L"BRENLO_TQ_VIRTUAL_VIDEO_VCAMPARA_SHARE_MEMORY";
constexpr wchar_t kUserMemoryName[]      = L"BRENLO_TQ_USER_TQSORVA_SHARE_MEMORY";
constexpr wchar_t kShareMutexName[]      = L"BRENLO_TQ_VIRTUAL_VIDEO_SHARE_MEMORY_MUTEX";
constexpr wchar_t kSynFrameEventName[]   = L"DEF_SINGLE_SYNFRAME_EVENT_20140318";

constexpr DWORD kCaptureMemorySize  = 1640000;
constexpr DWORD kVcamParaMemorySize = 231000;
constexpr DWORD kUserMemorySize     = 10001;

// CaptureShareMemory record.
constexpr size_t kOffSmoothFlag  = 0;
constexpr size_t kOffWidth       = 4;
constexpr size_t kOffHeight      = 8;
constexpr size_t kOffReserved    = 12;
constexpr size_t kOffFrameTime   = 20;
constexpr size_t kFrameHeaderSize = 28;
constexpr size_t kMaxFramePixelBytes = 1440000;  // 800 x 600 x 3
constexpr size_t kFrameCopyBytes     = 1440200;  // what a reader copies out of the mapping

// VcamParaShareMemory record.
constexpr size_t kOffRequestHeight    = 0;
constexpr size_t kOffRequestWidth     = 4;
constexpr size_t kOffRequestFrameTime = 8;
constexpr size_t kOffMarkCorner       = 12;
constexpr uint32_t kResetRequestHeight    = 360;
constexpr uint32_t kResetRequestWidth     = 480;
constexpr uint32_t kResetRequestFrameTime = 1000000;

// The records' layout, the same in the 32-bit and the 64-bit build.
static_assert(kOffFrameTime + 8 == kFrameHeaderSize, "frame header: 64-bit frameTime ends the 28-byte header");
static_assert(kOffReserved + 8 == kOffFrameTime, "frame header: 8 reserved bytes");
static_assert(kFrameHeaderSize + kMaxFramePixelBytes <= kFrameCopyBytes, "a reader's copy holds the largest frame");
static_assert(kFrameCopyBytes <= kCaptureMemorySize, "a reader's copy stays inside the mapping");
static_assert(kOffMarkCorner + 4 <= kVcamParaMemorySize, "request record fits its mapping");
static_assert(sizeof(kCaptureMemorySize) == 4 && sizeof(kFrameHeaderSize) >= 4, "sizes are at least 32 bits");

// Big-endian field helpers.
void WriteU32BE(uint8_t* buffer, uint32_t value, size_t offset);
uint32_t ReadU32BE(const uint8_t* buffer, size_t offset);
// Stores a 32-bit signed value sign-extended to 64 bits, most significant byte first.
void WriteU64BE(uint8_t* buffer, int32_t value, size_t offset);
// The low half (bytes offset+4..offset+7) of an 8-byte big-endian field.
int32_t ReadFrameTimeLow(const uint8_t* buffer, size_t offset);

// Scoped lock on a mutex handle: waits without time-out, releases on destruction.
class CMutexLock {
public:
    explicit CMutexLock(HANDLE mutex);
    ~CMutexLock();
    CMutexLock(const CMutexLock&) = delete;
    CMutexLock& operator=(const CMutexLock&) = delete;
private:
    HANDLE m_hMutex;
};

struct FrameHeader {
    uint32_t smoothFlag = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    int32_t frameTime = 0;  // milliseconds of timeGetTime, as the signed low 32 bits
};

// Writes the 28-byte header at the start of a frame record.
void WriteFrameHeader(uint8_t* record, const FrameHeader& header);

// Reads the header of a frame record of recordSize bytes and checks that the
// picture it announces is non-empty, within kMaxFramePixelBytes and inside
// the record. Returns false, with a reason, for anything else.
bool ReadFrameHeader(const uint8_t* record, size_t recordSize, FrameHeader& header, std::string* error = nullptr);

// Host list (UserShareMemory): "<path1><path2>..." NUL-terminated, ANSI.
// Reads at most capacity bytes; a list without a terminator ends at capacity.
std::string ReadHostList(const char* memory, size_t capacity);
// Splits the list into the programs' paths: duplicates dropped, an item whose
// '>' comes before its '<' ignored. An empty list gives no items.
std::vector<std::string> SplitHostList(const std::string& list);
// Appends "<path>" when that whole item is not yet in the list. Returns false,
// writing nothing, when the item would not fit with its terminator.
bool AppendHostItem(char* memory, size_t capacity, const std::string& path);

} // namespace tq
