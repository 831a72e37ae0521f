// The accompaniment's worker: both tracks' graphs, the position tick and the
// duration queue, on the worker thread.
#pragma once

#include "AudioGraphRecipes.h"
#include "MessageWindow.h"
#include "ThreadTimer.h"
#include "Worker.h"

#include <string>

class CAccompanyMusic;
struct MusicGraphReport;

class CAccompanyMusicOper : public tq::CMessageWindow, public tq::ITimerCallback {
public:
    explicit CAccompanyMusicOper(CAccompanyMusic* owner);
    ~CAccompanyMusicOper() override;
    // On quit: both tracks cleared, timers stopped, the measuring graph released.
    void Shutdown();

    void OnTimer(UINT_PTR timerId) override;

    static constexpr UINT kPositionPeriodMs = 100;
    static constexpr UINT kDurationPeriodMs = 1200;
    static constexpr UINT kSlowDurationPeriodMs = 60000;

protected:
    bool OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

private:
    enum Track { Orig = 0, Kalaok = 1 };

    void OnStartAccompanyMusic();
    void StartTrack(Track track);
    void OnStopAccompanyMusic();
    void OnPauseAccompanyMusic();
    void OnContinueAccompanyMusic();
    void OnSetAccompanyVolume();
    void OnSetPlayPosition();
    void OnSwitchPlayType();
    void OnTrackNotify(Track track);
    void StartDurationTimer();
    void OnDurationTimer();
    long long GetPreGetDuration(const std::string& name);
    void Inspect(MusicGraphReport& report);

    int PauseTrack(Track track);
    int ResumeTrack(Track track);
    void ClearUp(Track track);
    void ReportPosition();
    Track Audible() const { return m_playType == 1 ? Orig : Kalaok; }
    void StartPositionTimer();
    void StopPositionTimer();

    tq::CComInit m_com;
    CAccompanyMusic* m_owner;
    int m_playType = 0;
    tq::AudioTrack m_tracks[2];
    UINT_PTR m_positionTimer = 0;
    UINT_PTR m_durationTimer = 0;
    UINT m_durationPeriod = kDurationPeriodMs;
    int m_measurements = 0;  // since the queue was last empty
    tq::ComPtr<IGraphBuilder> m_durationGraph;
};
