// Encodes 300 pictures of 400x300 with their sound through CRecordMuxer as
// fast as it goes and prints pictures per second and the real-time factor at
// the recorder's 13 pictures per second. Runs on one core unless given
// "--all-cores". "--dump DIR" also writes the same pictures (pictures.bgr,
// rows bottom first as the recorder gets them) and sound (sound.pcm) for
// run.sh, which encodes them with ffmpeg as the reference.
#include "RecordMuxer.h"
#include "Rgb24ToI420.h"
#include "X264Encoder.h"

#include <windows.h>
#include <mmsystem.h>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const int kPictures = 300;
const int kFps = 13;

void MakeFrame(std::vector<uint8_t>& frame, int index)
{
    frame.resize(400 * 300 * 3);
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 400; ++x) {
            uint8_t* p = &frame[(y * 400 + x) * 3];
            p[0] = uint8_t((x + 3 * index) * 255 / 1300);
            p[1] = uint8_t(y * 255 / 300);
            p[2] = uint8_t(128 + 60 * std::sin((x + y + index * 5) / 40.0));
        }
}

double FileTimeMs(const FILETIME& t)
{
    return double((uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 10000.0;
}

double ThreadCpuMs()
{
    FILETIME created, exited, kernel, user;
    if (!GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user))
        return 0.0;
    return FileTimeMs(kernel) + FileTimeMs(user);
}

// All threads' CPU time: on a core shared with other programs the fair
// figure, as wall time then counts their turns too.
double ProcessCpuMs()
{
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user))
        return 0.0;
    return FileTimeMs(kernel) + FileTimeMs(user);
}

bool WriteAll(const std::string& path, const std::vector<std::vector<uint8_t>>& frames, const std::vector<uint8_t>& pcm)
{
    FILE* pictures = fopen((path + "\\pictures.bgr").c_str(), "wb");
    FILE* sound = fopen((path + "\\sound.pcm").c_str(), "wb");
    bool ok = pictures && sound;
    for (int i = 0; ok && i < kPictures; ++i) {
        const std::vector<uint8_t>& frame = frames[i % frames.size()];
        ok = fwrite(frame.data(), 1, frame.size(), pictures) == frame.size() &&
             fwrite(pcm.data(), 1, pcm.size(), sound) == pcm.size();
    }
    if (pictures)
        ok = fclose(pictures) == 0 && ok;
    if (sound)
        ok = fclose(sound) == 0 && ok;
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    bool allCores = false;
    std::string dump;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--all-cores") == 0)
            allCores = true;
        else if (strcmp(argv[i], "--dump") == 0 && i + 1 < argc)
            dump = argv[++i];
    }
    if (!allCores)
        SetProcessAffinityMask(GetCurrentProcess(), 1);  // before x264 counts the cores
    timeBeginPeriod(1);

    // Pictures made up front, so only the recorder's work is timed.
    std::vector<std::vector<uint8_t>> frames(26);
    for (size_t i = 0; i < frames.size(); ++i)
        MakeFrame(frames[i], int(i));
    const int samplesPerPicture = 44100 / kFps;
    std::vector<uint8_t> pcm(samplesPerPicture * 4);
    for (int i = 0; i < samplesPerPicture; ++i) {
        int16_t s = int16_t(8000 * std::sin(2 * 3.14159265 * 440 * i / 44100));
        memcpy(&pcm[i * 4], &s, 2);
        memcpy(&pcm[i * 4 + 2], &s, 2);
    }

    if (!dump.empty() && !WriteAll(dump, frames, pcm)) {
        fprintf(stderr, "recordbench: cannot write the pictures and sound into %s\n", dump.c_str());
        return 1;
    }

    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string path = std::string(temp) + "recordbench.mkv";

    tq::CRecordMuxer muxer;
    muxer.Init();
    muxer.SetVideoFormat(400, 300, kFps, 0);
    muxer.SetAudioFormat(2, 16, 44100, 128);
    muxer.Start(path);
    for (int wait = 0; !muxer.IsRunning() && wait < 500; ++wait)
        Sleep(10);
    if (!muxer.IsRunning()) {
        fprintf(stderr, "recordbench: the muxer did not start (%s)\n", path.c_str());
        return 1;
    }

    LARGE_INTEGER frequency, begin, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&begin);
    const double processCpu0 = ProcessCpuMs();
    // The producer's share (conversion and queueing) as this thread's CPU time.
    const double pushCpu0 = ThreadCpuMs();
    for (int i = 0; i < kPictures; ++i) {
        std::vector<uint8_t>& frame = frames[i % frames.size()];
        muxer.PushVideo(frame.data(), 400, 300, 1000 + uint32_t(i * 1000 / kFps));
        muxer.PushAudio(pcm.data(), int(pcm.size()));
    }
    const double pushCpu = ThreadCpuMs() - pushCpu0;
    muxer.Stop();  // returns when everything is encoded and written
    QueryPerformanceCounter(&end);
    const double processCpu = ProcessCpuMs() - processCpu0;

    double seconds = double(end.QuadPart - begin.QuadPart) / double(frequency.QuadPart);
    double fps = kPictures / seconds;
    printf("recordbench: %d pictures 400x300 with sound, %s: %.2f s, %.1f pictures/s, %.2fx real time at %d fps\n",
           kPictures, allCores ? "all cores" : "one core", seconds, fps, fps / kFps, kFps);
    printf("recordbench: CPU %.2f s in all threads; the producer's pushes: %.2f ms CPU a picture\n", processCpu / 1000.0,
           pushCpu / kPictures);
    printf("recordbench: file %s, %llu bytes written\n", path.c_str(),
           static_cast<unsigned long long>(muxer.BytesWritten()));

    // The encoder alone on the same pictures, on this thread: what of the
    // time above is libx264's own.
    {
        std::vector<std::vector<uint8_t>> pictures(frames.size(), std::vector<uint8_t>(400 * 300 * 3 / 2));
        int size = 0;
        for (size_t i = 0; i < frames.size(); ++i)
            tq::CRgb24ToI420::Convert(frames[i].data(), pictures[i].data(), 400, 300, &size, true);
        tq::CX264Encoder encoder;
        std::vector<uint8_t> out(tq::CRecordPacket::VideoCapacity);
        bool key = false;
        uint32_t time = 0;
        const double cpu0 = ThreadCpuMs();
        if (encoder.Open(400, 300, kFps, tq::CRecordMuxer::VideoKbps)) {
            for (int i = 0; i < kPictures; ++i)
                encoder.Encode(pictures[i % pictures.size()].data(), uint32_t(i), out.data(), int(out.size()), &size, &key, &time);
            while (encoder.Flush(out.data(), int(out.size()), &size, &key, &time)) {
            }
        }
        printf("recordbench: libx264 alone on the same pictures: %.2f s CPU\n", (ThreadCpuMs() - cpu0) / 1000.0);
    }
    timeEndPeriod(1);
    return 0;
}
