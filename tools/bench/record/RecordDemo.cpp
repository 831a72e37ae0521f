// Records the picture in the shared frame record for a few seconds, the way
// the engine feeds its recorder: each frame scaled to the 400x300 preview and
// handed to the recorder's frame sink 13 times a second; the sound comes from
// "Sonvex.dll" beside the program. Prints the file's path.
//
//   recorddemo <file> [seconds]
#include "FrameProtocol.h"
#include "Recorder.h"

#include <windows.h>
#include <mmsystem.h>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Nearest-neighbour scale of a bottom-up RGB24 picture to 400x300.
void ScaleToPreview(const uint8_t* pixels, int width, int height, std::vector<uint8_t>& preview)
{
    preview.resize(400 * 300 * 3);
    for (int y = 0; y < 300; ++y) {
        const uint8_t* row = pixels + size_t(y * height / 300) * width * 3;
        for (int x = 0; x < 400; ++x)
            memcpy(&preview[(y * 400 + x) * 3], row + (x * width / 400) * 3, 3);
    }
}

// Takes the latest frame under the frame record's mutex; false without one.
bool TakeFrame(std::vector<uint8_t>& preview)
{
    HANDLE mapping = OpenFileMappingW(FILE_MAP_READ, FALSE, tq::kCaptureMemoryName);
    HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, tq::kShareMutexName);
    bool ok = false;
    if (mapping && mutex) {
        const uint8_t* record = static_cast<const uint8_t*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
        if (record) {
            tq::CMutexLock lock(mutex);
            tq::FrameHeader header;
            if (tq::ReadFrameHeader(record, tq::kCaptureMemorySize, header)) {
                ScaleToPreview(record + tq::kFrameHeaderSize, int(header.width), int(header.height), preview);
                ok = true;
            }
            UnmapViewOfFile(record);
        }
    }
    if (mapping)
        CloseHandle(mapping);
    if (mutex)
        CloseHandle(mutex);
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: recorddemo <file> [seconds]\n");
        return 2;
    }
    std::string path = argv[1];
    int seconds = argc > 2 ? atoi(argv[2]) : 3;
    if (seconds <= 0)
        seconds = 3;
    timeBeginPeriod(1);

    tq::CRecorder recorder;
    recorder.StartRecord(path);
    std::vector<uint8_t> preview;
    int frames = 0, fromRecord = 0;
    DWORD start = timeGetTime();
    while (timeGetTime() - start < DWORD(seconds * 1000)) {
        if (TakeFrame(preview))
            ++fromRecord;
        if (!preview.empty())
            if (tq::IRecordFrameSink* sink = recorder.GetFrameSink())
                sink->OnFrame(preview.data(), 400, 300, timeGetTime());
        ++frames;
        DWORD next = start + DWORD(frames * 1000 / 13);
        DWORD now = timeGetTime();
        if (int(next - now) > 0)
            Sleep(next - now);
    }
    recorder.StopRecord();
    recorder.Quit();  // the file is finished when the worker has ended
    timeEndPeriod(1);
    if (fromRecord == 0) {
        fprintf(stderr, "recorddemo: no frame in the shared frame record\n");
        return 1;
    }
    printf("%s\n", path.c_str());
    return 0;
}
