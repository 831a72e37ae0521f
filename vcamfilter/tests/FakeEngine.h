// The engine's side of the shared records, played by a test: it creates the
// named objects, writes frame records (hostile ones too) and signals frames.
#pragma once

#include "FrameProtocol.h"

#include <windows.h>
#include <cstring>
#include <string>
#include <vector>

namespace vcamtest {

class FakeEngine {
public:
    struct Options {
        bool mutex = true;
        bool capture = true;
        DWORD captureSize = tq::kCaptureMemorySize;
        bool request = true;
        bool userList = true;
    };
    FakeEngine() : FakeEngine(Options()) {}
    explicit FakeEngine(const Options& options)
    {
        if (options.mutex)
            m_mutex = CreateMutexW(nullptr, FALSE, tq::kShareMutexName);
        if (options.capture)
            m_capture = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, options.captureSize,
                                           tq::kCaptureMemoryName);
        m_captureSize = options.captureSize;
        if (options.request)
            m_request = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, tq::kVcamParaMemorySize,
                                           tq::kVcamParaMemoryName);
        if (options.userList)
            m_users = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, tq::kUserMemorySize,
                                         tq::kUserMemoryName);
        m_event = CreateEventW(nullptr, FALSE, FALSE, tq::kSynFrameEventName);
        SetRequest(360, 480, 1000000);
    }
    ~FakeEngine()
    {
        for (HANDLE h : {m_mutex, m_capture, m_request, m_users, m_event})
            if (h)
                CloseHandle(h);
    }
    FakeEngine(const FakeEngine&) = delete;
    FakeEngine& operator=(const FakeEngine&) = delete;

    // Writes a header as given and as much of the picture as the mapping holds.
    void WriteFrame(uint32_t width, uint32_t height, int32_t frameTime, const std::vector<uint8_t>& pixels,
                    uint32_t smoothFlag = 1)
    {
        WithView(m_capture, [&](uint8_t* record) {
            tq::FrameHeader header;
            header.smoothFlag = smoothFlag;
            header.width = width;
            header.height = height;
            header.frameTime = frameTime;
            tq::WriteFrameHeader(record, header);
            // The view is whole pages: a tiny mapping still takes the header.
            const size_t room = m_captureSize > tq::kFrameHeaderSize ? m_captureSize - tq::kFrameHeaderSize : 0;
            memcpy(record + tq::kFrameHeaderSize, pixels.data(), pixels.size() < room ? pixels.size() : room);
        });
        SetEvent(m_event);
    }
    void SetRequest(uint32_t height, uint32_t width, uint32_t frameTime)
    {
        WithView(m_request, [&](uint8_t* record) {
            tq::WriteU32BE(record, height, tq::kOffRequestHeight);
            tq::WriteU32BE(record, width, tq::kOffRequestWidth);
            tq::WriteU32BE(record, frameTime, tq::kOffRequestFrameTime);
        });
    }
    void ReadRequest(uint32_t& height, uint32_t& width, uint32_t& frameTime)
    {
        WithView(m_request, [&](uint8_t* record) {
            height = tq::ReadU32BE(record, tq::kOffRequestHeight);
            width = tq::ReadU32BE(record, tq::kOffRequestWidth);
            frameTime = tq::ReadU32BE(record, tq::kOffRequestFrameTime);
        });
    }
    std::string HostList()
    {
        std::string list;
        WithView(m_users, [&](uint8_t* memory) { list = tq::ReadHostList(reinterpret_cast<char*>(memory), tq::kUserMemorySize); });
        return list;
    }
    void SetHostList(const std::string& list)
    {
        WithView(m_users, [&](uint8_t* memory) { memcpy(memory, list.c_str(), list.size() + 1); });
    }
    // The whole host-list mapping, to see that nothing was written past the list.
    std::vector<uint8_t> HostListBytes()
    {
        std::vector<uint8_t> bytes(tq::kUserMemorySize);
        WithView(m_users, [&](uint8_t* memory) { memcpy(bytes.data(), memory, bytes.size()); });
        return bytes;
    }
    HANDLE Event() const { return m_event; }

private:
    template <class F>
    void WithView(HANDLE mapping, F use)
    {
        if (!mapping)
            return;
        tq::CMutexLock lock(m_mutex);
        if (void* view = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0)) {
            use(static_cast<uint8_t*>(view));
            UnmapViewOfFile(view);
        }
    }
    HANDLE m_mutex = nullptr;
    HANDLE m_capture = nullptr;
    HANDLE m_request = nullptr;
    HANDLE m_users = nullptr;
    HANDLE m_event = nullptr;
    DWORD m_captureSize = 0;
};

} // namespace vcamtest
