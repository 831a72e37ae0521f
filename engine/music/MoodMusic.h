// The mood-music player: one short sound file at a time on the chosen output
// device. The public object lives on the host's thread; CMoodMusicOper owns
// the graph on the worker thread.
#pragma once

#include "CritSec.h"
#include "IMoodMusic.h"
#include "MessageWindow.h"
#include "Worker.h"

#include <string>

class CMoodMusicOper;
struct MusicGraphReport;

class CMoodMusic : public IMoodMusic {
public:
    CMoodMusic();
    virtual ~CMoodMusic();
    CMoodMusic(const CMoodMusic&) = delete;
    CMoodMusic& operator=(const CMoodMusic&) = delete;

    // The host's operations (IMoodMusic), in this order.
    int StartMoodMusic(const char* fileName) override;
    void StopMoodMusic() override;
    std::wstring GetMoodMusicName() override;
    double GetDuration(const char* fileName) override;
    void SetMoodMusicVolume(double volume) override;
    void Quit() override;

    // From the worker.
    std::string GetFileName();
    double GetVolume();

    // Tests: what the worker's graph holds now (tracks[0]).
    bool InspectForTest(MusicGraphReport& report);

private:
    // Its window handles no message: the player reports nothing to the host.
    class Window : public tq::CMessageWindow {
    protected:
        bool OnWindowMessage(UINT, WPARAM, LPARAM, LRESULT*) override { return false; }
    };
    class Body : public tq::IWorkerBody {
    public:
        explicit Body(CMoodMusic& owner) : m_owner(owner) {}
        HWND CreateOper() override;
        void DestroyOper() override;
    private:
        CMoodMusic& m_owner;
    };

    tq::CCritSec m_lock;
    Window m_window;
    Body m_body{*this};
    tq::CWorker m_worker;
    CMoodMusicOper* m_oper = nullptr;
    std::string m_fileName;
    double m_volume = 1.0;
};
