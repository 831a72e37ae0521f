// Small services: the millisecond clock and elapsed timer, the debug message
// stream, the program's path and the create-on-first-use singleton holder.
#pragma once

#include "KqString.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>

// Milliseconds since the system started; keeps rising across the 32-bit
// tick wrap when only the 32-bit tick is available.
int64_t kqClockNow();
// Test seam: a 32-bit tick source replaces the system clock (null restores it).
void kqSetTickSource(uint32_t (*source)());

class KqElapsedTimer {
public:
    static const int64_t kInvalid = INT64_MIN;
    void invalidate() { m_startTime = m_second = kInvalid; }
    bool isValid() const { return m_startTime != kInvalid && m_second != kInvalid; }
    void start()
    {
        m_startTime = kqClockNow();
        m_second = 0;
    }
    int64_t elapsed() const { return kqClockNow() - m_startTime; }

private:
    int64_t m_startTime = kInvalid;
    int64_t m_second = kInvalid;
};

// Collects one message; each piece is followed by a blank. On destruction the
// message goes to the standard output ("Debug: " in front) and the debugger.
class KqDebugStream {
public:
    KqDebugStream() = default;
    KqDebugStream(const KqDebugStream&) = delete;
    KqDebugStream& operator=(const KqDebugStream&) = delete;
    ~KqDebugStream();
    KqDebugStream& operator<<(const char* text);
    KqDebugStream& operator<<(const KqChar* text);
    KqDebugStream& operator<<(const KqString& text);
    KqDebugStream& operator<<(long long number);
    KqDebugStream& operator<<(int number) { return *this << static_cast<long long>(number); }
    KqDebugStream& operator<<(unsigned long number) { return *this << static_cast<long long>(number); }
    KqDebugStream& operator<<(unsigned number) { return *this << static_cast<long long>(number); }

private:
    KqString m_message;
};

// Test seam: receives every emitted message (null removes it).
void kqSetDebugCapture(void (*capture)(const KqString& message));

// Full module path (any length); null module: the program.
KqString kqModuleFileName(void* module);
KqString applicationFilePath();
KqString applicationDirPath();
// The path cut before its last "/" or "\" (the whole path without either).
KqString kqDirOfPath(const KqString& path);

// A process-wide instance built on first use (interlocked publication) and
// destroyed at process exit.
template <class T> class KqSingleton {
public:
    static T* instance()
    {
        T* current = s_instance.load(std::memory_order_acquire);
        if (current)
            return current;
        registerAtExit();
        T* fresh = new T;
        T* expected = nullptr;
        if (!s_instance.compare_exchange_strong(expected, fresh)) {
            delete fresh; // lost the race: use the published one
            return expected;
        }
        return fresh;
    }

private:
    static void registerAtExit()
    {
        static std::atomic<bool> registered(false);
        if (!registered.exchange(true))
            atexit(destroy);
    }
    static void destroy()
    {
        delete s_instance.exchange(nullptr);
    }
    static std::atomic<T*> s_instance;
};

template <class T> std::atomic<T*> KqSingleton<T>::s_instance(nullptr);
