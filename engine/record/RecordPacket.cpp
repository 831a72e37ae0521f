#include "RecordPacket.h"

#include <new>

namespace tq {

CRecordPacket* CRecordPacket::Create(int type, int capacity)
{
    if (capacity <= 0)
        capacity = type == Sound ? SoundCapacity : VideoCapacity;
    CRecordPacket* packet = new (std::nothrow) CRecordPacket;
    if (!packet)
        return nullptr;
    packet->data = new (std::nothrow) uint8_t[capacity];
    if (!packet->data) {
        delete packet;
        return nullptr;
    }
    packet->type = type;
    packet->size = 0;
    packet->capacity = capacity;
    packet->flags = 0;
    packet->timeMs = 0;
    return packet;
}

CRecordPacket::~CRecordPacket()
{
    delete[] data;
}

CPacketQueue::CPacketQueue()
{
    InitializeCriticalSection(&m_lock);
}

CPacketQueue::~CPacketQueue()
{
    Clear();
    DeleteCriticalSection(&m_lock);
}

void CPacketQueue::Push(CRecordPacket* packet)
{
    if (!packet)
        return;
    EnterCriticalSection(&m_lock);
    m_packets.push_back(packet);
    LeaveCriticalSection(&m_lock);
}

CRecordPacket* CPacketQueue::Pop()
{
    CRecordPacket* packet = nullptr;
    EnterCriticalSection(&m_lock);
    if (!m_packets.empty()) {
        packet = m_packets.front();
        m_packets.pop_front();
    }
    LeaveCriticalSection(&m_lock);
    return packet;
}

void CPacketQueue::Clear()
{
    std::deque<CRecordPacket*> dropped;
    EnterCriticalSection(&m_lock);
    dropped.swap(m_packets);
    LeaveCriticalSection(&m_lock);
    for (CRecordPacket* packet : dropped)
        delete packet;
}

size_t CPacketQueue::Size()
{
    EnterCriticalSection(&m_lock);
    size_t size = m_packets.size();
    LeaveCriticalSection(&m_lock);
    return size;
}

} // namespace tq
