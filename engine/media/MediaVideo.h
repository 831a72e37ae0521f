// The media-file source: the public object the host drives on its UI thread.
// Every command is posted to the worker (CMediaVideoOper), which owns the
// file's graph and writes its frames into the shared frame record.
#pragma once

#include "CritSec.h"
#include "MediaDurationQueue.h"
#include "IMediaVideo.h"
#include "MessageWindow.h"
#include "Worker.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

class CDecorationLayer;
class VcamManger;
class CMediaVideoOper;

// What the worker reads from the public object, taken in one go under its lock.
struct MediaSettings {
    std::string fileName;
    int initFlag = 0;
    int perFrameTime = 66;
    int outWidth = 480;
    int outHeight = 360;
    double volume = 1.0;
    double position = 0.0;
};

class CMediaVideo : public IMediaVideo {
public:
    CMediaVideo();

    // The host's operations (IMediaVideo), in this order.
    void Quit() override;
    int Init(const char* fileName, int flag) override;
    int StopMediaVideo() override;
    void Pause() override;
    void Continue() override;
    void SetVolume(double volume) override;
    void Snapshot(bool take) override;
    void SetSnapshotSink(ISnapshotSink* sink) override;
    bool SetPosition(double milliseconds) override;
    void SetListener(IMediaVideoListener* listener) override;
    void GetPreMediaDuration(const std::vector<std::string>& fileNames) override;
    int GetPlayedSeconds() override;
    bool IsPlaying() override;
    virtual ~CMediaVideo();

    CMediaVideo(const CMediaVideo&) = delete;
    CMediaVideo& operator=(const CMediaVideo&) = delete;

    // The manager's wiring and settings.
    void SetDecorationLayer(CDecorationLayer* layer) { m_decorationLayer = layer; }
    void SetManager(VcamManger* manager) { m_manager = manager; }
    void ReopenMedia(int width, int height, int frameTime);
    void SetFrameTime(int frameTime);
    void SetOutWidthAndHeight(int width, int height);

    // Used by the worker.
    MediaSettings GetSettings();
    int GetPerFrameTime();
    CDecorationLayer* GetDecorationLayer() const { return m_decorationLayer; }
    VcamManger* GetManager() const { return m_manager; }
    // The name of the oldest pending measurement (its tries raised by one), or "".
    std::string TakePendingName();
    void StoreDuration(const std::string& name, double milliseconds);
    bool PostToPublic(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const { return m_window.Post(message, wParam, lParam); }
    // On the frame timer's thread, while ShareMemoryMutex is held.
    void HandOverPreview(const uint8_t* preview, uint32_t timeMs);
    HWND WorkerWindow() const { return m_worker.OperWindow(); }

    // Tests: the clock of the play-time account (timeGetTime by default).
    using Clock = DWORD (*)();
    void SetClockForTesting(Clock clock) { m_clock = clock ? clock : &DefaultClock; }
    std::map<std::string, double> Durations();
    // Tests: the play state as a start report leaves it, and how often the
    // manager reopened the source.
    void SetPlayingForTesting(bool playing) { m_playing = playing; }
    CMediaVideoOper* OperForTesting() const { return m_oper.load(); }
    HWND PublicWindowForTesting() const { return m_window.Hwnd(); }
    int ReopenCountForTesting() const { return m_reopenCount; }

private:
    class Window : public tq::CMessageWindow {
    public:
        explicit Window(CMediaVideo& owner) : m_owner(owner) {}
    protected:
        bool OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    private:
        CMediaVideo& m_owner;
    };
    class Body : public tq::IWorkerBody {
    public:
        explicit Body(CMediaVideo& owner) : m_owner(owner) {}
        HWND CreateOper() override;
        void DestroyOper() override;
    private:
        CMediaVideo& m_owner;
    };
    static DWORD DefaultClock();
    void OnOpenReport(WPARAM failed);
    void OnEndReport();
    void OnDurationReport();
    void StopManagerBackground();
    void StopPlayClock();

    tq::CCritSec m_lock;  // the public lock; never taken while the worker's lock is held
    Window m_window{*this};
    Body m_body{*this};
    tq::CWorker m_worker;
    std::atomic<CMediaVideoOper*> m_oper{nullptr};

    std::atomic<VcamManger*> m_manager{nullptr};
    std::atomic<CDecorationLayer*> m_decorationLayer{nullptr};
    ISnapshotSink* m_snapshotSink = nullptr;
    IMediaVideoListener* m_listener = nullptr;
    Clock m_clock = &DefaultClock;

    std::string m_fileName;
    int m_initFlag = 0;
    int m_perFrameTime = 66;
    int m_outHeight = 360;
    int m_outWidth = 480;
    double m_volume = 1.0;
    double m_position = 0.0;
    // The play-time account is the UI thread's own.
    bool m_playing = false;
    DWORD m_playStart = 0;
    DWORD m_playedMs = 0;
    CMediaDurationQueue m_durations;
    std::atomic<int> m_reopenCount{0};
};
