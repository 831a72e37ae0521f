#include "FrameProtocol.h"

#include <cstring>

namespace tq {

void WriteU32BE(uint8_t* buffer, uint32_t value, size_t offset)
{
    buffer[offset + 0] = static_cast<uint8_t>(value >> 24);
    buffer[offset + 1] = static_cast<uint8_t>(value >> 16);
    buffer[offset + 2] = static_cast<uint8_t>(value >> 8);
    buffer[offset + 3] = static_cast<uint8_t>(value);
}

uint32_t ReadU32BE(const uint8_t* buffer, size_t offset)
{
    return (uint32_t(buffer[offset]) << 24) | (uint32_t(buffer[offset + 1]) << 16) |
           (uint32_t(buffer[offset + 2]) << 8) | uint32_t(buffer[offset + 3]);
}

void WriteU64BE(uint8_t* buffer, int32_t value, size_t offset)
{
    const uint32_t high = value < 0 ? 0xFFFFFFFFu : 0u;
    WriteU32BE(buffer, high, offset);
    WriteU32BE(buffer, static_cast<uint32_t>(value), offset + 4);
}

int32_t ReadFrameTimeLow(const uint8_t* buffer, size_t offset)
{
    return static_cast<int32_t>(ReadU32BE(buffer, offset + 4));
}

CMutexLock::CMutexLock(HANDLE mutex) : m_hMutex(mutex)
{
    if (m_hMutex)
        WaitForSingleObject(m_hMutex, INFINITE);
}

CMutexLock::~CMutexLock()
{
    if (m_hMutex)
        ReleaseMutex(m_hMutex);
}

void WriteFrameHeader(uint8_t* record, const FrameHeader& header)
{
    // Staged field by field, as the reader expects each at its fixed offset.
    uint8_t field[8];
    WriteU32BE(field, header.smoothFlag, 0);
    memcpy(record + kOffSmoothFlag, field, 4);
    WriteU32BE(field, header.width, 0);
    memcpy(record + kOffWidth, field, 4);
    WriteU32BE(field, header.height, 0);
    memcpy(record + kOffHeight, field, 4);
    memset(record + kOffReserved, 0, 8);
    WriteU64BE(field, header.frameTime, 0);
    memcpy(record + kOffFrameTime, field, 8);
}

bool ReadFrameHeader(const uint8_t* record, size_t recordSize, FrameHeader& header, std::string* error)
{
    auto fail = [error](const char* why) {
        if (error) *error = why;
        return false;
    };
    if (!record || recordSize < kFrameHeaderSize)
        return fail("frame record shorter than its header");
    FrameHeader h;
    h.smoothFlag = ReadU32BE(record, kOffSmoothFlag);
    h.width = ReadU32BE(record, kOffWidth);
    h.height = ReadU32BE(record, kOffHeight);
    h.frameTime = ReadFrameTimeLow(record, kOffFrameTime);
    if (h.width == 0 || h.height == 0)
        return fail("frame has no pixels");
    // 64-bit product: a hostile width x height must not wrap around.
    const uint64_t bytes = uint64_t(h.width) * h.height * 3;
    if (bytes > kMaxFramePixelBytes)
        return fail("frame larger than 1,440,000 bytes");
    if (kFrameHeaderSize + bytes > recordSize)
        return fail("frame record ends inside the picture");
    header = h;
    return true;
}

std::string ReadHostList(const char* memory, size_t capacity)
{
    if (!memory)
        return std::string();
    const void* end = memchr(memory, '\0', capacity);
    const size_t length = end ? static_cast<const char*>(end) - memory : capacity;
    return std::string(memory, length);
}

std::vector<std::string> SplitHostList(const std::string& list)
{
    std::vector<std::string> items;
    size_t pos = 0;
    while (true) {
        const size_t open = list.find('<', pos);
        const size_t close = list.find('>', pos);
        if (open == std::string::npos || close == std::string::npos || close < open)
            break;
        std::string item = list.substr(open + 1, close - open - 1);
        bool seen = false;
        for (const std::string& s : items)
            seen = seen || s == item;
        if (!seen)
            items.push_back(item);
        pos = close + 1;
    }
    return items;
}

bool AppendHostItem(char* memory, size_t capacity, const std::string& path)
{
    if (!memory || capacity == 0)
        return false;
    const std::string item = "<" + path + ">";
    const std::string list = ReadHostList(memory, capacity);
    if (list.find(item) != std::string::npos)
        return true;
    // The list plus the new item plus its terminator must fit the mapping.
    if (list.size() + item.size() + 1 > capacity)
        return false;
    memcpy(memory + list.size(), item.c_str(), item.size() + 1);
    return true;
}

} // namespace tq
