// The audio output chooser: lists the machine's sound renderers once, hands
// the list to the host and keeps the device the host chose for the sound
// graphs built afterwards.
#pragma once

#include "CritSec.h"
#include "ISonvexMgr.h"
#include "MessageWindow.h"
#include "Worker.h"

#include <string>
#include <vector>

class CSonvexMgrOper;

class CSonvexMgr : public ISonvexMgr {
public:
    CSonvexMgr();
    virtual ~CSonvexMgr();
    CSonvexMgr(const CSonvexMgr&) = delete;
    CSonvexMgr& operator=(const CSonvexMgr&) = delete;

    // The host's operations (ISonvexMgr), in this order.
    void Quit() override;
    void SetListener(IAudioDeviceListener* listener) override;
    void SetOutputDevice(const char* name) override;
    std::string GetOutputDevice() override;

    // From the worker.
    void SetDeviceList(const std::vector<std::string>& devices);
    bool PostToPublic(UINT message) const { return m_window.Post(message); }
    std::vector<std::string> GetDeviceList();

private:
    class Window : public tq::CMessageWindow {
    public:
        explicit Window(CSonvexMgr& owner) : m_owner(owner) {}
    protected:
        bool OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    private:
        CSonvexMgr& m_owner;
    };
    class Body : public tq::IWorkerBody {
    public:
        explicit Body(CSonvexMgr& owner) : m_owner(owner) {}
        HWND CreateOper() override;
        void DestroyOper() override;
    private:
        CSonvexMgr& m_owner;
    };

    tq::CCritSec m_lock;  // outputDevice and devices: the players read the device from their threads
    Window m_window{*this};
    Body m_body{*this};
    tq::CWorker m_worker;
    CSonvexMgrOper* m_oper = nullptr;
    IAudioDeviceListener* m_listener = nullptr;
    std::string m_outputDevice;
    std::vector<std::string> m_devices;
};

// The renderers of the audio renderer category by friendly name (ANSI, at
// most 1,024 bytes each), in the enumerator's order with "Default
// DirectSound Device" moved to the front.
std::vector<std::string> EnumerateAudioRenderers();
