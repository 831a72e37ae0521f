// One buffer travelling between the recorder's stages, and the queue that
// hands packets from one thread to the next.
#pragma once

#include <windows.h>
#include <cstdint>
#include <deque>

namespace tq {

class CRecordPacket {
public:
    enum Type { Input = 0, Sound = 1, Video = 2 };
    enum { SoundCapacity = 10240, VideoCapacity = 460800 };
    // Bit 0 of flags on an encoded video packet: the picture is a key frame.
    enum { KeyFrame = 1 };

    // Makes a packet whose buffer holds `capacity` bytes (0: the type's
    // default). Null when memory runs out; the caller drops the packet.
    static CRecordPacket* Create(int type, int capacity = 0);
    ~CRecordPacket();
    CRecordPacket(const CRecordPacket&) = delete;
    CRecordPacket& operator=(const CRecordPacket&) = delete;

    int type;
    uint8_t* data;
    int size;
    int capacity;
    int flags;
    uint32_t timeMs;

private:
    CRecordPacket() = default;
};

// Unbounded FIFO of owned packets, safe between threads.
class CPacketQueue {
public:
    CPacketQueue();
    ~CPacketQueue();
    CPacketQueue(const CPacketQueue&) = delete;
    CPacketQueue& operator=(const CPacketQueue&) = delete;

    void Push(CRecordPacket* packet);  // null is ignored
    CRecordPacket* Pop();              // null when empty
    void Clear();
    size_t Size();

private:
    CRITICAL_SECTION m_lock;
    std::deque<CRecordPacket*> m_packets;
};

} // namespace tq
