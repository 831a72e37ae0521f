// The karaoke accompaniment: the original recording and the backing track of
// one song, each in its own graph, started together with the silent one held
// paused at the same place, so that switching exchanges them at once. The
// public object lives on the host's thread; CAccompanyMusicOper owns the
// graphs on the worker thread.
#pragma once

#include "CritSec.h"
#include "IAccompanyMusic.h"
#include "MessageWindow.h"
#include "ThreadTimer.h"
#include "Worker.h"

#include <windows.h>

#include <map>
#include <string>
#include <vector>

class CAccompanyMusicOper;
struct MusicGraphReport;

class CAccompanyMusic : public IAccompanyMusic {
public:
    CAccompanyMusic();
    virtual ~CAccompanyMusic();
    CAccompanyMusic(const CAccompanyMusic&) = delete;
    CAccompanyMusic& operator=(const CAccompanyMusic&) = delete;

    // The host's operations (IAccompanyMusic), in this order.
    int StartAccompanyMusic(const char* origFile, const char* kalaokFile, int playType) override;
    void SwitchPlayType(int playType) override;
    int StopAccompanyMusic() override;
    int PauseAccompanyMusic() override;
    int ContinueAccompanyMusic() override;
    int SetPlayPosition(double fraction) override;
    double GetPlayPosition() override;
    void SetAccompanyVolume(double volume) override;
    void GetPreMusicDuration(const std::vector<std::string>& fileNames) override;
    void SetListener(IAccompanyMusicListener* listener) override;
    void Quit() override;
    int GetPlayedSeconds() override;

    // From the worker, each under the public lock.
    int GetPlayType();
    std::string GetOrigFileName();
    std::string GetKalaokFileName();
    double GetVolume();
    double GetSeekFraction();
    std::string FirstPendingName();  // the smallest id's name, empty when none
    void StoreDuration(const std::string& name, double milliseconds);
    void AddPosition(double seconds);
    bool PostToPublic(UINT message) const { return m_window.Post(message); }

    // Tests: what the worker's graphs hold now.
    bool InspectForTest(MusicGraphReport& report);
    // Tests: thread timers of the worker go through these (null: the engine's own).
    using SetTimerFn = UINT_PTR (*)(UINT milliseconds, tq::ITimerCallback* callback);
    using KillTimerFn = void (*)(UINT_PTR id);
    static void SetTimerFunctionsForTest(SetTimerFn set, KillTimerFn kill);
    // Tests: called on the worker as soon as a track (0 original, 1 karaoke)
    // runs, before anything reads its events (null: nothing).
    using TrackRunningFn = void (*)(int track);
    static void SetTrackRunningHookForTest(TrackRunningFn hook);

private:
    class Window : public tq::CMessageWindow {
    public:
        explicit Window(CAccompanyMusic& owner) : m_owner(owner) {}
    protected:
        bool OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    private:
        CAccompanyMusic& m_owner;
    };
    class Body : public tq::IWorkerBody {
    public:
        explicit Body(CAccompanyMusic& owner) : m_owner(owner) {}
        HWND CreateOper() override;
        void DestroyOper() override;
    private:
        CAccompanyMusic& m_owner;
    };

    void StartCounting();
    void StopCounting();

    tq::CCritSec m_lock;
    Window m_window{*this};
    Body m_body{*this};
    tq::CWorker m_worker;
    CAccompanyMusicOper* m_oper = nullptr;

    IAccompanyMusicListener* m_listener = nullptr;
    int m_playType = kPlayKaraoke;
    std::string m_origFileName;
    std::string m_kalaokFileName;
    double m_volume = 1.0;  // full until the host sets one: the first start is heard
    double m_lastPosition = 0.0;
    std::vector<double> m_positions;
    double m_seekFraction = 0.0;
    std::map<std::string, double> m_durations;
    std::map<int, std::string> m_pending;
    std::map<std::string, int> m_pendingIndex;

    // The host's thread only.
    bool m_counting = false;
    DWORD m_countStart = 0;
    DWORD m_playedMs = 0;
};
