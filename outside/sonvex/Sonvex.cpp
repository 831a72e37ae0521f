// Stand-in "Sonvex.dll". GetSonvex hands out one engine whose capture object
// pushes 16-bit stereo PCM at 44,100 Hz (a 440 Hz tone left, 660 Hz right)
// into the sink from its own thread, paced like a real capture.
// Test helpers: SonvexCallLog (the slot calls so far, "engine.10;capture.1(1);..."),
// SonvexSetBlockBytes (block size of the next captures) and SonvexPushedBytes
// (bytes handed to the sink since the last StartCapture).
#include "SonvexApi.h"

#include <windows.h>
#include <mmsystem.h>
#include <process.h>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

using tq::IAudioDataSink;
using tq::ISonvexCapture;
using tq::ISonvexEngine;

namespace {

CRITICAL_SECTION g_logLock;
std::string g_log;
std::atomic<int> g_blockBytes{3528};  // 20 ms
std::atomic<long long> g_pushedBytes{0};

void Log(const char* what, int value = -1, bool withValue = false)
{
    char text[64];
    if (withValue)
        snprintf(text, sizeof(text), "%s(%d);", what, value);
    else
        snprintf(text, sizeof(text), "%s;", what);
    EnterCriticalSection(&g_logLock);
    g_log += text;
    LeaveCriticalSection(&g_logLock);
}

class Capture : public ISonvexCapture {
public:
    void Release() override { Log("capture.0"); StopThread(); }
    void SetOption1(int v) override { Log("capture.1", v, true); }
    void Unused2() override {}
    void Unused3() override {}
    void Unused4() override {}
    void Unused5() override {}
    void Unused6() override {}
    void Unused7() override {}
    void Unused8() override {}
    void StartCapture() override
    {
        Log("capture.9");
        StopThread();
        g_pushedBytes = 0;
        m_stop = false;
        m_thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &Capture::ThreadMain, this, 0, nullptr));
    }
    void StopCapture() override { Log("capture.10"); StopThread(); }
    void Unused11() override {}
    void Unused12() override {}
    void Unused13() override {}
    void Unused14() override {}
    void SetSink(IAudioDataSink* sink) override { Log("capture.15"); m_sink = sink; }
    void SetOption16(int v) override { Log("capture.16", v, true); }
    void SetOption17(int v) override { Log("capture.17", v, true); }
    void Unused18() override {}
    void Unused19() override {}
    void Unused20() override {}
    void Unused21() override {}
    void Unused22() override {}
    void Unused23() override {}
    void Unused24() override {}
    void Unused25() override {}
    void Unused26() override {}
    void Unused27() override {}
    void Unused28() override {}
    void SetOption29(int v) override { Log("capture.29", v, true); }
    void Unused30() override {}
    void SetOption31(int v) override { Log("capture.31", v, true); }

private:
    void StopThread()
    {
        m_stop = true;
        if (m_thread) {
            WaitForSingleObject(m_thread, INFINITE);
            CloseHandle(m_thread);
            m_thread = nullptr;
        }
    }

    static unsigned __stdcall ThreadMain(void* param)
    {
        static_cast<Capture*>(param)->Pump();
        return 0;
    }

    void Pump()
    {
        const int block = g_blockBytes / 4 * 4;
        std::vector<uint8_t> pcm(block);
        long long sampleFrame = 0;
        DWORD start = timeGetTime();
        while (!m_stop) {
            // Push every block that real time has made due.
            long long due = (long long)(timeGetTime() - start) * 44100 / 1000;
            while (!m_stop && sampleFrame + block / 4 <= due) {
                for (int i = 0; i < block / 4; ++i, ++sampleFrame) {
                    int16_t left = int16_t(8000 * std::sin(2 * 3.14159265358979 * 440 * sampleFrame / 44100));
                    int16_t right = int16_t(6000 * std::sin(2 * 3.14159265358979 * 660 * sampleFrame / 44100));
                    memcpy(&pcm[i * 4], &left, 2);
                    memcpy(&pcm[i * 4 + 2], &right, 2);
                }
                if (m_sink)
                    m_sink->OnAudioData(pcm.data(), block);
                g_pushedBytes += block;
            }
            Sleep(5);
        }
    }

    IAudioDataSink* m_sink = nullptr;
    HANDLE m_thread = nullptr;
    std::atomic<bool> m_stop{false};
};

class Engine : public ISonvexEngine {
public:
    void Release() override { Log("engine.0"); }
    void Unused1() override {}
    void Unused2() override {}
    void Unused3() override {}
    void Unused4() override {}
    void Unused5() override {}
    void Unused6() override {}
    void Unused7() override {}
    void Unused8() override {}
    void Unused9() override {}
    ISonvexCapture* GetCapture() override { Log("engine.10"); return &m_capture; }
    void Unused11() override {}
    void Unused12() override {}
    int Initialize(int v) override { Log("engine.13", v, true); return 1; }

private:
    Capture m_capture;
};

Engine* g_engine = nullptr;

} // namespace

extern "C" ISonvexEngine* GetSonvex()
{
    if (!g_engine)
        g_engine = new Engine;
    return g_engine;
}

// Copies the call log into buffer (NUL-terminated); returns its full length.
extern "C" int SonvexCallLog(char* buffer, int size)
{
    EnterCriticalSection(&g_logLock);
    std::string log = g_log;
    LeaveCriticalSection(&g_logLock);
    if (buffer && size > 0)
        lstrcpynA(buffer, log.c_str(), size);
    return int(log.size());
}

extern "C" void SonvexSetBlockBytes(int bytes)
{
    if (bytes >= 4 && bytes <= 10240)
        g_blockBytes = bytes;
}

extern "C" long long SonvexPushedBytes()
{
    return g_pushedBytes;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        InitializeCriticalSection(&g_logLock);
    return TRUE;
}
