// Stand-in for the outside main-window library: a small test host that
// loads the engine, shows its preview and runs the message loop.
//   switches (in argv): -seconds N   close by itself after N seconds
//                       -nobackground   do not start the background picture
//                       -camera NAME   use the video input device NAME as the source
//                       -caption TEXT  scroll TEXT over the picture on a colour band
//                       -mirror        mirror the picture
//                       -layer FILE [x y]   a picture, GIF or Flash layer; with x y (preview units,
//                                      400 x 300) a sticker there, without a full-frame overlay; repeatable
//                       -record FILE SECONDS   record the composed picture with sound through
//                                      the engine's recorder; repeated, the files are recorded in turn;
//                                      without -seconds the host closes once the last one is done
//                       -accompany ORIG KARAOKE   sing along: play the song's two tracks (the original heard)
//                       -lyrics FILE   with -accompany: "[mm:ss.cc]text" lines swept over the picture
//                       -media FILE    play FILE (ANSI path) as the source, from its start again at its end
//                       -desktop       show the whole screen as the source
//                       -ignorequit    ignore the installer's request to quit (message 33369), the way
//                                      a hung product would
// Like the real main window it runs once: a second start (the camera filter
// starts the launcher on its first frame) leaves the running one alone.
#include "IAccompanyMusic.h"
#include "ICaptureVideo.h"
#include "IDecorationLayer.h"
#include "IRecorder.h"
#include "IDesktopVideo.h"
#include "IMediaVideo.h"
#include "IVcamManger.h"
#include "TimedLyrics.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

const wchar_t kMainFrameClass[] = L"BRENLO SPEAK MAIN FRAME | 4D1BB563-E5FC-4771-AD17-6442A4147044";
constexpr UINT WM_QUIT_PRODUCT = 33369;
constexpr UINT_PTR kCloseTimer = 1;
constexpr UINT_PTR kRecordTimer = 2;

// The -record switches still to do, and the engine's recorder.
struct Recording {
    std::string file;
    UINT seconds;
};
std::vector<Recording> g_recordings;
size_t g_nextRecording = 0;
IRecorder* g_recorder = nullptr;
bool g_closeAfterRecordings = false;
bool g_ignoreQuitRequest = false;

void StartNextRecording(HWND frame)
{
    if (!g_recorder || g_nextRecording >= g_recordings.size())
        return;
    const Recording& r = g_recordings[g_nextRecording];
    g_recorder->StartRecord(r.file);
    printf("mainframe: recording %s for %u s (%s)\n", r.file.c_str(), r.seconds,
           g_recorder->IsRecording() ? "recording" : "the recorder refused");
    fflush(stdout);
    SetTimer(frame, kRecordTimer, r.seconds * 1000, nullptr);
}

void StopRecording(HWND frame)
{
    KillTimer(frame, kRecordTimer);
    if (!g_recorder || g_nextRecording >= g_recordings.size())
        return;
    g_recorder->StopRecord();
    printf("mainframe: recorded %s\n", g_recordings[g_nextRecording].file.c_str());
    ++g_nextRecording;
    fflush(stdout);
    if (g_nextRecording < g_recordings.size()) {
        StartNextRecording(frame);
        return;
    }
    printf("mainframe: recordings done\n");
    fflush(stdout);
    // Without -seconds the host's work is done: close (the engine's release
    // finishes the last file).
    if (g_closeAfterRecordings)
        PostMessageW(frame, WM_CLOSE, 0, 0);
}

LRESULT CALLBACK MainFrameProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_QUIT_PRODUCT:
        printf("mainframe: quit request%s\n", g_ignoreQuitRequest ? " ignored" : "");
        fflush(stdout);
        if (g_ignoreQuitRequest)
            return 0;
        DestroyWindow(hWnd);
        return 0;
    case WM_CLOSE:
        DestroyWindow(hWnd);
        return 0;
    case WM_TIMER:
        if (wParam == kCloseTimer) {
            PostMessageW(hWnd, WM_CLOSE, 0, 0);
            return 0;
        }
        if (wParam == kRecordTimer) {
            StopRecording(hWnd);
            return 0;
        }
        break;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hWnd, message, wParam, lParam);
}

bool IsNumber(const char* text)
{
    if (!text || !*text)
        return false;
    char* end = nullptr;
    strtol(text, &end, 10);
    return end && *end == 0;
}

// Every -layer switch: the file, then a position when two numbers follow.
void AddLayers(IDecorationLayer* layer, int argc, char** argv)
{
    for (int i = 1; i + 1 < argc; ++i) {
        if (_stricmp(argv[i], "-layer") != 0)
            continue;
        const char* file = argv[++i];
        const bool positioned = i + 2 < argc && IsNumber(argv[i + 1]) && IsNumber(argv[i + 2]);
        const int x = positioned ? atoi(argv[i + 1]) : 0, y = positioned ? atoi(argv[i + 2]) : 0;
        if (positioned)
            i += 2;
        layer->AddLayer(file, 480, 360, 480, 360, positioned, x, y);
        printf("mainframe: layer %s %s (%d, %d)\n", file, positioned ? "at" : "full-frame", x, y);
        fflush(stdout);
    }
}

bool HasSwitch(int argc, char** argv, const char* name, const char** value = nullptr)
{
    for (int i = 1; i < argc; ++i) {
        if (_stricmp(argv[i], name) == 0) {
            if (value)
                *value = i + 1 < argc ? argv[i + 1] : "";
            return true;
        }
    }
    return false;
}

class CameraListener : public ICaptureVideoListener {
public:
    void OnDeviceListChanged() override {}
    void OnOpenFailed() override
    {
        failed = true;
        printf("mainframe: the camera could not be opened\n");
        fflush(stdout);
    }
    void OnDeviceChange(uint32_t kind) override
    {
        printf("mainframe: a camera was %s\n", kind == 1 ? "plugged in" : "removed");
        fflush(stdout);
    }
    bool failed = false;
};

// Turns the song's positions into the two lyric lines over the picture.
class SongListener : public IAccompanyMusicListener {
public:
    SongListener(IDecorationLayer* layer, std::vector<TimedLyricLine> lines) : m_layer(layer), m_lines(std::move(lines)) {}
    void OnAccompanyPosition(double seconds) override
    {
        if (!m_layer || m_lines.empty())
            return;
        const LyricMoment moment = LyricsAt(m_lines, seconds);
        m_layer->SetLyrics(moment.current, moment.next, moment.progress, true);
        if (!m_shown) {
            m_layer->ShowLyrics(true);
            m_shown = true;
            printf("mainframe: lyrics shown\n");
            fflush(stdout);
        }
    }
    void OnAccompanyEnd() override
    {
        printf("mainframe: the song ended\n");
        fflush(stdout);
    }
    void OnAccompanyDuration(const char*, double) override {}
private:
    IDecorationLayer* m_layer;
    std::vector<TimedLyricLine> m_lines;
    bool m_shown = false;
};

// The two arguments after a switch, or false.
bool SwitchPair(int argc, char** argv, const char* name, const char*& first, const char*& second)
{
    for (int i = 1; i + 2 < argc; ++i) {
        if (_stricmp(argv[i], name) == 0) {
            first = argv[i + 1];
            second = argv[i + 2];
            return true;
        }
    }
    return false;
}

// Dispatches this thread's messages until done() or the time-out. A WM_QUIT
// on the way is put back for the main loop and ends the wait.
template <typename Done>
bool PumpUntil(Done done, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    while (!done()) {
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, std::min<DWORD>(timeoutMs - elapsed, 50), QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                PostQuitMessage(int(msg.wParam));
                return false;
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return true;
}

bool IsListed(ICaptureVideo* camera, const std::string& name)
{
    std::vector<std::string> pnp, others;
    camera->GetDeviceLists(pnp, others);
    return std::find(pnp.begin(), pnp.end(), name) != pnp.end() ||
           std::find(others.begin(), others.end(), name) != others.end();
}

// Makes the named device the engine's source: the list is filled by the
// camera's worker, so the name is waited for before the camera is started.
bool OpenCamera(ICaptureVideo* camera, CameraListener& listener, const std::string& name, HWND owner)
{
    camera->SetListener(&listener);
    camera->EnumDevices();
    if (!PumpUntil([&] { return IsListed(camera, name); }, 10000)) {
        fprintf(stderr, "mainframe: no camera \"%s\" is listed\n", name.c_str());
        return false;
    }
    camera->Init(name.c_str(), owner);
    if (!PumpUntil([&] { return camera->IsRunning() || listener.failed; }, 15000) || !camera->IsRunning()) {
        fprintf(stderr, "mainframe: the camera \"%s\" did not start\n", name.c_str());
        return false;
    }
    printf("mainframe: camera \"%s\" running\n", name.c_str());
    fflush(stdout);
    return true;
}

// Plays the file again when it ends, so a consumer always has pictures.
class MediaListener : public IMediaVideoListener {
public:
    void OnMediaProgress(double) override {}
    void OnMediaEnd() override
    {
        printf("mainframe: media file ended\n");
        fflush(stdout);
        if (media && !file.empty())
            media->Init(file.c_str(), 0);
    }
    void OnMediaOpenFailed() override
    {
        failed = true;
        printf("mainframe: the media file could not be opened\n");
        fflush(stdout);
    }
    void OnMediaDuration(const char*, double) override {}
    IMediaVideo* media = nullptr;
    std::string file;
    bool failed = false;
};

} // namespace

extern "C" __declspec(dllexport) int sorvaMain(int argc, char** argv, std::wstring version)
{
    printf("mainframe: version %ls\n", version.c_str());
    fflush(stdout);
    if (FindWindowW(kMainFrameClass, nullptr)) {
        printf("mainframe: already running\n");
        return 0;
    }
    g_ignoreQuitRequest = HasSwitch(argc, argv, "-ignorequit");
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc = {sizeof wc};
    wc.lpfnWndProc = MainFrameProc;
    wc.hInstance = instance;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kMainFrameClass;
    RegisterClassExW(&wc);
    HWND frame = CreateWindowExW(0, kMainFrameClass, L"TqSorva", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 460, 380,
                                 nullptr, nullptr, instance, nullptr);
    HWND preview = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 10, 10, 400, 300, frame, nullptr,
                                   instance, nullptr);
    if (!frame || !preview) {
        fprintf(stderr, "mainframe: cannot create the main window\n");
        return 2;
    }

    HMODULE engine = LoadLibraryW(L"lumeo.dll");
    auto get = engine ? reinterpret_cast<GetVcamMangerFn>(GetProcAddress(engine, "_getVcamManger@0")) : nullptr;
    auto release = engine ? reinterpret_cast<ReleaseVcamMangerFn>(GetProcAddress(engine, "_releaseVcamManger@0")) : nullptr;
    IVcamManger* manager = get ? get() : nullptr;
    if (!manager || !release) {
        fprintf(stderr, "mainframe: cannot load the engine lumeo.dll\n");
        DestroyWindow(frame);
        return 3;
    }
    if (!HasSwitch(argc, argv, "-nobackground"))
        manager->SetPreviewWnd(preview);  // writes the background frame
    printf("mainframe: engine running\n");
    fflush(stdout);

    const char* seconds = nullptr;
    if (HasSwitch(argc, argv, "-seconds", &seconds))
        SetTimer(frame, kCloseTimer, UINT(atoi(seconds) * 1000), nullptr);

    // The compositor's host interface sits at the start of the engine's object.
    auto* layer = reinterpret_cast<IDecorationLayer*>(manager->GetDecorationLayer());
    const char* caption = nullptr;
    if (layer && HasSwitch(argc, argv, "-caption", &caption) && *caption) {
        layer->SetText(caption);
        layer->SetTextStyle(0);
        layer->SetTextBackColor(0, 0, 128);
        layer->SetTextScroll(2);
        layer->SetTextSpeed(2.5f);
        layer->ShowText(true);
    }
    if (layer && HasSwitch(argc, argv, "-mirror"))
        layer->SetMirror(true);
    if (layer)
        AddLayers(layer, argc, argv);

    ICaptureVideo* camera = nullptr;
    CameraListener cameraListener;
    const char* cameraName = nullptr;
    if (HasSwitch(argc, argv, "-camera", &cameraName) && *cameraName) {
        camera = AsCaptureVideo(manager->GetCaptureVideo());
        if (camera)
            OpenCamera(camera, cameraListener, cameraName, frame);
    }

    IAccompanyMusic* music = nullptr;
    std::unique_ptr<SongListener> songListener;
    const char* origSong = nullptr;
    const char* karaokeSong = nullptr;
    if (SwitchPair(argc, argv, "-accompany", origSong, karaokeSong)) {
        std::vector<TimedLyricLine> lines;
        const char* lyricsFile = nullptr;
        if (HasSwitch(argc, argv, "-lyrics", &lyricsFile) && *lyricsFile) {
            std::ifstream in(lyricsFile, std::ios::binary);
            lines = ParseTimedLyrics(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
            if (lines.empty())
                fprintf(stderr, "mainframe: no timed lyrics in \"%s\"\n", lyricsFile);
        }
        music = AsAccompanyMusic(manager->GetAccompanyMusic());
        if (music) {
            songListener.reset(new SongListener(layer, std::move(lines)));
            music->SetListener(songListener.get());
            music->SetAccompanyVolume(1.0);
            music->StartAccompanyMusic(origSong, karaokeSong, kPlayOriginal);
            printf("mainframe: accompaniment started\n");
            fflush(stdout);
        }
    }
    IMediaVideo* media = nullptr;
    MediaListener mediaListener;
    const char* mediaFile = nullptr;
    if (HasSwitch(argc, argv, "-media", &mediaFile) && *mediaFile) {
        media = AsMediaVideo(manager->GetMediaVideo());
        if (media) {
            mediaListener.media = media;
            mediaListener.file = mediaFile;
            media->SetListener(&mediaListener);
            media->Init(mediaFile, 0);
            // The start report arrives through this thread's messages.
            if (PumpUntil([&] { return media->IsPlaying() || mediaListener.failed; }, 15000) && media->IsPlaying())
                printf("mainframe: media file \"%s\" playing\n", mediaFile);
            else
                fprintf(stderr, "mainframe: the media file \"%s\" did not start\n", mediaFile);
            fflush(stdout);
        }
    }
    IDesktopVideo* desktop = nullptr;
    if (HasSwitch(argc, argv, "-desktop")) {
        desktop = AsDesktopVideo(manager->GetDesktopVideo());
        if (desktop) {
            desktop->Start(nullptr, 0, 1);
            printf("mainframe: desktop running\n");
            fflush(stdout);
        }
    }

    for (int i = 1; i + 2 < argc; ++i) {
        if (_stricmp(argv[i], "-record") == 0) {
            g_recordings.push_back({argv[i + 1], UINT(std::max(1, atoi(argv[i + 2])))});
            i += 2;
        }
    }
    if (!g_recordings.empty()) {
        g_recorder = manager->GetRecorder();
        g_closeAfterRecordings = seconds == nullptr;
        StartNextRecording(frame);
    }

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    if (music) {
        music->SetListener(nullptr);
        music->Quit();
    }
    if (camera) {
        // The worker ends (and its graph with it) before the engine goes.
        camera->SetListener(nullptr);
        camera->Quit();
    }
    if (media) {
        media->SetListener(nullptr);
        media->Quit();
    }
    if (desktop)
        desktop->Quit();
    // Releasing the engine finishes a recording still running.
    g_recorder = nullptr;
    release();
    printf("mainframe: closed\n");
    return 0;
}
