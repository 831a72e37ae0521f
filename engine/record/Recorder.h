// The recorder's front object: StartRecord and StopRecord from the UI thread
// become messages to the controller on the recorder's own thread.
#pragma once

#include "IRecorder.h"
#include "RecordSinks.h"
#include "RecordWorker.h"

#include <windows.h>
#include <string>

namespace tq {

class CRecordController;

// IRecorder is the only polymorphic base, so the host's slots start the
// object; the worker's callbacks live in a member.
class CRecorder final : public IRecorder {
public:
    // Starts the worker and returns once its controller exists.
    CRecorder();
    void Quit() override;
    void StartRecord(const std::string& path) override;
    void StopRecord() override;
    bool IsRecording() override;
    void DeletingDestructor(unsigned flags) override;
    // Ends the worker when Quit was not called, which finishes a recording.
    ~CRecorder();

    std::string GetPath();
    // Null while the controller does not exist. The sink stays valid for the
    // recorder's life: frames that arrive after the controller has gone (Quit
    // racing a frame producer) are dropped instead of reaching freed memory.
    IRecordFrameSink* GetFrameSink();

private:
    class CFrameSink : public IRecordFrameSink {
    public:
        explicit CFrameSink(CRecorder* recorder) : m_recorder(recorder) {}
        void OnFrame(uint8_t* pixels, int width, int height, uint32_t timeMs) override;
        void Reserved() override {}
    private:
        CRecorder* m_recorder;
    };

    class CWorkerBody : public IRecordWorkerBody {
    public:
        explicit CWorkerBody(CRecorder* recorder) : m_recorder(recorder) {}
        HWND CreateOper() override { return m_recorder->CreateOper(); }
        void DestroyOper() override { m_recorder->DestroyOper(); }
    private:
        CRecorder* m_recorder;
    };

    HWND CreateOper();
    void DestroyOper();

    bool m_recording = false;
    std::string m_path;
    CRecordController* volatile m_controller = nullptr;
    CRecordWorkerThread m_worker;
    CRITICAL_SECTION m_lock;
    // Held while a frame goes to the controller and while the controller goes.
    CRITICAL_SECTION m_sinkLock;
    CFrameSink m_frameSink{this};
    CWorkerBody m_workerBody{this};
};

} // namespace tq
