// framepeer: the two ends of the shared frame record as separate programs.
//   framepeer write WIDTH HEIGHT SEED FRAMETIME [HOLD_MS]
//       creates the engine's objects, writes one pattern frame through the
//       engine's writer sequence, keeps the objects alive for HOLD_MS (default
//       10000) or until the event "framepeer-done" is set.
//   framepeer read [OUT.bmp] [SEED]
//       opens the objects by name with the camera filter's rights, copies the
//       record, checks it, prints the header, optionally checks the pattern
//       and saves the picture.
//   framepeer read-request HEIGHT WIDTH FRAMETIME
//       opens the request record as a camera filter does and checks its fields.
//   framepeer wait-event READY_EVENT TIMEOUT_MS
//       creates SynFrameEvent as a camera filter pin does, sets READY_EVENT,
//       waits for a frame signal.
// Exit codes: 0 ok, 1 timed out, 2 bad record, 3 objects missing, 4 usage/io.
#include "FrameProtocol.h"
#include "SharedFrameWriter.h"
#include "ShareHandle.h"
#include "TestPattern.h"
#include "common/BmpFile.h"

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <memory>
#include <string>

namespace {

class PatternSteps : public tq::IFrameWriterSteps {
public:
    explicit PatternSteps(uint32_t seed) : m_seed(seed) {}
    void WritePixels(uint8_t* pixels, uint32_t width, uint32_t height) override
    {
        tqtools::FillPattern(pixels, width, height, m_seed);
    }
private:
    uint32_t m_seed;
};

int Write(int argc, wchar_t** argv)
{
    if (argc < 6)
        return 4;
    tq::FrameHeader header;
    header.smoothFlag = 1;
    header.width = wcstoul(argv[2], nullptr, 10);
    header.height = wcstoul(argv[3], nullptr, 10);
    const uint32_t seed = wcstoul(argv[4], nullptr, 10);
    header.frameTime = static_cast<int32_t>(wcstoul(argv[5], nullptr, 10));
    const DWORD holdMs = argc > 6 ? wcstoul(argv[6], nullptr, 10) : 10000;

    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, L"framepeer-done");
    tq::GetUserShareMemory();
    tq::GetVcamParaShareMemory().ResetVcamPara();  // creates the mutex, as the engine's watcher does
    tq::CSharedFrameWriter writer;
    PatternSteps steps(seed);
    tq::FrameWriterPlan plan;
    plan.signal = tq::FrameWriterPlan::SignalAfterPixels;
    plan.handOverBeforeUnmap = true;
    if (!writer.WriteFrame(header, steps, plan)) {
        fprintf(stderr, "framepeer: could not write the frame record\n");
        return 3;
    }
    printf("written %ux%u frameTime %d\n", header.width, header.height, header.frameTime);
    fflush(stdout);
    WaitForSingleObject(done, holdMs);
    CloseHandle(done);
    return 0;
}

int Read(int argc, wchar_t** argv)
{
    HANDLE mutex = OpenMutexW(MUTEX_ALL_ACCESS, FALSE, tq::kShareMutexName);
    if (!mutex) {
        fprintf(stderr, "framepeer: no %ls\n", tq::kShareMutexName);
        return 3;
    }
    std::unique_ptr<uint8_t[]> copy(new uint8_t[tq::kFrameCopyBytes]);
    bool copied = false;
    {
        tq::CMutexLock lock(mutex);
        HANDLE mapping = OpenFileMappingW(FILE_MAP_READ, FALSE, tq::kCaptureMemoryName);
        if (mapping) {
            void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
            if (view) {
                memcpy(copy.get(), view, tq::kFrameCopyBytes);
                copied = true;
                UnmapViewOfFile(view);
            }
            CloseHandle(mapping);
        }
    }
    CloseHandle(mutex);
    if (!copied) {
        fprintf(stderr, "framepeer: no %ls\n", tq::kCaptureMemoryName);
        return 3;
    }
    tq::FrameHeader header;
    std::string error;
    if (!tq::ReadFrameHeader(copy.get(), tq::kFrameCopyBytes, header, &error)) {
        fprintf(stderr, "framepeer: refused the record: %s\n", error.c_str());
        return 2;
    }
    printf("frame %ux%u smoothFlag %u frameTime %d\n", header.width, header.height, header.smoothFlag, header.frameTime);
    const uint8_t* pixels = copy.get() + tq::kFrameHeaderSize;
    if (argc > 3 && !tqtools::MatchesPattern(pixels, header.width, header.height, wcstoul(argv[3], nullptr, 10))) {
        fprintf(stderr, "framepeer: pixels differ from the pattern\n");
        return 2;
    }
    if (argc > 2 && wcslen(argv[2]) > 0) {
        if (!tqtools::SaveBmp24(argv[2], header.width, header.height, pixels)) {
            fprintf(stderr, "framepeer: cannot write %ls\n", argv[2]);
            return 4;
        }
        printf("saved %ls\n", argv[2]);
    }
    return 0;
}

int ReadRequest(int argc, wchar_t** argv)
{
    if (argc < 5)
        return 4;
    HANDLE mapping = OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, tq::kVcamParaMemoryName);
    if (!mapping)
        return 3;
    int result = 3;
    if (void* view = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0)) {
        const auto* record = static_cast<const uint8_t*>(view);
        const uint32_t height = tq::ReadU32BE(record, tq::kOffRequestHeight);
        const uint32_t width = tq::ReadU32BE(record, tq::kOffRequestWidth);
        const uint32_t frameTime = tq::ReadU32BE(record, tq::kOffRequestFrameTime);
        printf("request %u %u %u\n", height, width, frameTime);
        result = height == wcstoul(argv[2], nullptr, 10) && width == wcstoul(argv[3], nullptr, 10) &&
                 frameTime == wcstoul(argv[4], nullptr, 10) ? 0 : 2;
        UnmapViewOfFile(view);
    }
    CloseHandle(mapping);
    return result;
}

int WaitEvent(int argc, wchar_t** argv)
{
    if (argc < 4)
        return 4;
    HANDLE frame = CreateEventW(nullptr, FALSE, FALSE, tq::kSynFrameEventName);
    HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[2]);
    if (!frame || !ready)
        return 4;
    SetEvent(ready);
    const DWORD result = WaitForSingleObject(frame, wcstoul(argv[3], nullptr, 10));
    CloseHandle(ready);
    CloseHandle(frame);
    return result == WAIT_OBJECT_0 ? 0 : 1;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if (mode == L"write")
        return Write(argc, argv);
    if (mode == L"read")
        return Read(argc, argv);
    if (mode == L"read-request")
        return ReadRequest(argc, argv);
    if (mode == L"wait-event")
        return WaitEvent(argc, argv);
    fprintf(stderr, "usage: framepeer write W H SEED FRAMETIME [HOLD_MS] | read [OUT.bmp] [SEED] | read-request H W FT | wait-event READY TIMEOUT_MS\n");
    return 4;
}
