// The LavMedia recipe played for real: tools/testfilters' stand-ins for the
// LAV filters (a raw AVI source and pass-through decoders) and the AC3 Filter
// are registered under their class ids for this program's run, so uncompressed
// AVI clips go through AddRecipeFilters, the source's Load, every recipe link
// and the grabbed-type checks into the shared record.
#include "ComPtr.h"
#include "MediaRecipes.h"
#include "MediaTestSupport.h"
#include "MediaVideo.h"
#include "ShareHandle.h"

#include <gtest/gtest.h>

#include <objbase.h>
#include <dshow.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace {

std::string Clip(const char* name)
{
    const char* folder = getenv("TQ_MEDIA_CLIPS");
    return std::string(folder ? folder : "") + "\\" + name;
}

bool CallRegistration(bool registerServer)
{
    HMODULE module = LoadLibraryW(L"TqTestFilters.ax");
    if (!module)
        return false;
    using Entry = HRESULT(WINAPI*)();
    auto entry = reinterpret_cast<Entry>(reinterpret_cast<void*>(
        GetProcAddress(module, registerServer ? "DllRegisterServer" : "DllUnregisterServer")));
    return entry && SUCCEEDED(entry());
}

class Listener : public IMediaVideoListener {
public:
    void OnMediaProgress(double ms) override { ++progress; lastProgress = ms; }
    void OnMediaEnd() override { ++ended; }
    void OnMediaOpenFailed() override { ++failed; }
    void OnMediaDuration(const char*, double) override {}
    int progress = 0, ended = 0, failed = 0;
    double lastProgress = -1;
};

// The playing graph, as the source put it in the running object table.
tq::ComPtr<IFilterGraph> RunningGraph()
{
    tq::ComPtr<IFilterGraph> graph;
    tq::ComPtr<IRunningObjectTable> rot;
    tq::ComPtr<IEnumMoniker> monikers;
    if (FAILED(GetRunningObjectTable(0, rot.Receive())) || FAILED(rot->EnumRunning(monikers.Receive())))
        return graph;
    wchar_t suffix[32];
    swprintf(suffix, 32, L" pid %08x", unsigned(GetCurrentProcessId()));
    tq::ComPtr<IMoniker> moniker;
    while (monikers->Next(1, moniker.Receive(), nullptr) == S_OK) {
        tq::ComPtr<IBindCtx> context;
        CreateBindCtx(0, context.Receive());
        LPOLESTR name = nullptr;
        if (FAILED(moniker->GetDisplayName(context.Get(), nullptr, &name)) || !name)
            continue;
        const std::wstring text(name);
        CoTaskMemFree(name);
        if (text.find(L"FilterGraph ") == std::wstring::npos || text.find(suffix) == std::wstring::npos)
            continue;
        tq::ComPtr<IUnknown> object;
        if (SUCCEEDED(rot->GetObject(moniker.Get(), object.Receive())) && object)
            object->QueryInterface(IID_IFilterGraph, graph.ReceiveVoid());
        break;
    }
    return graph;
}

// Each filter of the graph by its graph name: whether all its pins are connected.
std::map<std::wstring, bool> FiltersOf(IFilterGraph* graph)
{
    std::map<std::wstring, bool> filters;
    tq::ComPtr<IEnumFilters> all;
    if (!graph || FAILED(graph->EnumFilters(all.Receive())))
        return filters;
    tq::ComPtr<IBaseFilter> filter;
    while (all->Next(1, filter.Receive(), nullptr) == S_OK) {
        FILTER_INFO info = {};
        filter->QueryFilterInfo(&info);
        if (info.pGraph)
            info.pGraph->Release();
        bool connected = true;
        tq::ComPtr<IEnumPins> pins;
        if (SUCCEEDED(filter->EnumPins(pins.Receive()))) {
            tq::ComPtr<IPin> pin;
            while (pins->Next(1, pin.Receive(), nullptr) == S_OK) {
                tq::ComPtr<IPin> peer;
                connected = connected && SUCCEEDED(pin->ConnectedTo(peer.Receive())) && peer;
            }
        }
        filters[info.achName] = connected;
    }
    return filters;
}

const wchar_t* const kPictureFilters[] = {L"LavMediaSource", L"LavVideoDecoder", L"Grabber", L"Null Renderer"};
const wchar_t* const kSoundFilters[] = {L"LavAudioDecoder", L"AC3 Filter", L"Default DirectSound Device"};

class MediaVendorRecipe : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        tq::GetCaptureShareMemory();
        StartMediaLogCapture();
        s_registered = CallRegistration(true);
    }
    // The stand-ins leave the prefix as they found it: the other tests expect the vendors' filters absent.
    static void TearDownTestSuite()
    {
        if (s_registered)
            CallRegistration(false);
    }
    void SetUp() override
    {
        ASSERT_TRUE(s_registered) << "TqTestFilters.ax could not be registered";
        ASSERT_NE(nullptr, getenv("TQ_MEDIA_CLIPS")) << "TQ_MEDIA_CLIPS names the clips' folder";
        media = new CMediaVideo;
        media->SetListener(&listener);
        ClearMediaLog();
    }
    void TearDown() override
    {
        media->Quit();
        delete media;
        EXPECT_EQ(0, CountMediaLog("left behind"));
    }
    bool PlayUntilFrame(const std::string& path, std::vector<uint8_t>& record)
    {
        const int32_t before = HeaderOf(ReadRecord()).frameTime;
        media->Init(path.c_str(), 0);
        return WaitForNewFrame(before, record, 15000);
    }
    bool StopAndWait()
    {
        const int stops = CountMediaLog("OnStopMediaVideo end");
        media->StopMediaVideo();
        return PumpUntil([&] { return CountMediaLog("OnStopMediaVideo end") > stops; }, 15000);
    }
    // The record shows the quadrants: the whole 160x120 clip fills 480x360.
    static int QuadrantError(const std::vector<uint8_t>& record)
    {
        return QuadrantDistance(record.data() + tq::kFrameHeaderSize, 480, 360, 0, 0, 480, 360);
    }
    static bool s_registered;
    CMediaVideo* media = nullptr;
    Listener listener;
};
bool MediaVendorRecipe::s_registered = false;

} // namespace

TEST_F(MediaVendorRecipe, RawAviWithSoundPlaysThroughLavToItsEnd)
{
    std::vector<uint8_t> record;
    ASSERT_TRUE(PlayUntilFrame(Clip("raw.avi"), record));
    EXPECT_EQ(1, CountMediaLog(media_text::kUsingLav));
    EXPECT_EQ(0, CountMediaLog(media_text::kUsingDefault));
    EXPECT_EQ(0, CountMediaLog("ERROR"));
    EXPECT_EQ(1, CountMediaLog("grabbed video 160x-120")) << "the top-down picture as the source offers it";
    const tq::FrameHeader header = HeaderOf(record);
    EXPECT_EQ(480u, header.width);
    EXPECT_EQ(360u, header.height);
    EXPECT_LE(QuadrantError(record), 40);

    ASSERT_TRUE(PumpUntil([&] { return bool(RunningGraph()); }, 5000));
    tq::ComPtr<IFilterGraph> graph = RunningGraph();
    const std::map<std::wstring, bool> filters = FiltersOf(graph.Get());
    for (const wchar_t* name : kPictureFilters)
        EXPECT_TRUE(filters.count(name) && filters.at(name)) << "not in the graph or not connected: " << name;
    for (const wchar_t* name : kSoundFilters)
        EXPECT_TRUE(filters.count(name) && filters.at(name)) << "not in the graph or not connected: " << name;
    tq::ComPtr<IMediaSeeking> seeking;
    LONGLONG duration = 0;
    ASSERT_TRUE(SUCCEEDED(graph->QueryInterface(IID_IMediaSeeking, seeking.ReceiveVoid())));
    EXPECT_TRUE(SUCCEEDED(seeking->GetDuration(&duration)));
    EXPECT_EQ(50000000, duration);
    seeking.Release();
    graph.Release();

    EXPECT_TRUE(PumpUntil([&] { return listener.ended > 0 || listener.failed > 0; }, 20000));
    EXPECT_EQ(1, listener.ended);
    EXPECT_EQ(0, listener.failed);
    EXPECT_GT(listener.progress, 0);
    EXPECT_FALSE(media->IsPlaying());
}

// Without an "Audio" pin the picture plays alone; a YUY2 picture is kept as it comes.
TEST_F(MediaVendorRecipe, PictureOnlyPlaysSilently)
{
    const struct {
        const char* file;
        const char* grabbed;
    } cases[] = {
        {"rawvideo.avi", "grabbed video 160x-120"},
        {"rawyuy2.avi", "grabbed video 160x120"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        listener = Listener();
        ClearMediaLog();
        std::vector<uint8_t> record;
        ASSERT_TRUE(PlayUntilFrame(Clip(c.file), record));
        EXPECT_EQ(1, CountMediaLog(media_text::kUsingLav));
        EXPECT_EQ(0, CountMediaLog("ERROR"));
        EXPECT_EQ(1, CountMediaLog(c.grabbed));
        EXPECT_LE(QuadrantError(record), 40);
        ASSERT_TRUE(PumpUntil([&] { return bool(RunningGraph()); }, 5000));
        const std::map<std::wstring, bool> filters = FiltersOf(RunningGraph().Get());
        for (const wchar_t* name : kPictureFilters)
            EXPECT_TRUE(filters.count(name) && filters.at(name)) << name;
        for (const wchar_t* name : kSoundFilters)
            EXPECT_EQ(0u, filters.count(name)) << name;
        EXPECT_TRUE(PumpUntil([&] { return listener.ended > 0 || listener.failed > 0; }, 20000));
        EXPECT_EQ(1, listener.ended);
        EXPECT_EQ(0, listener.failed);
    }
}

// A file the LAV source refuses fails the recipe at Load; the play falls
// back to DefaultMedia or reports the failure, and a good file plays after.
TEST_F(MediaVendorRecipe, RefusedFilesFallBackWithoutHanging)
{
    const char* const refused[] = {"rawdamaged.avi", "rawtruncated.avi", "clip.avi"};
    for (const char* name : refused) {
        SCOPED_TRACE(name);
        listener = Listener();
        ClearMediaLog();
        media->Init(Clip(name).c_str(), 0);
        ASSERT_TRUE(PumpUntil([&] {
            return CountMediaLog(media_text::kUsingDefault) > 0 || listener.failed > 0;
        }, 30000));
        EXPECT_EQ(1, CountMediaLog(std::string(media_text::kLoadFailed) + " , hr = 8004022f"));
        EXPECT_EQ(0, CountMediaLog(media_text::kUsingLav));
        EXPECT_TRUE(StopAndWait());
        EXPECT_FALSE(media->IsPlaying());
    }
    listener = Listener();
    ClearMediaLog();
    std::vector<uint8_t> record;
    EXPECT_TRUE(PlayUntilFrame(Clip("raw.avi"), record));
    EXPECT_EQ(1, CountMediaLog(media_text::kUsingLav));
}

// A seek moves the play to the frame at that time, and a stop right after
// returns within its bound, with sound and without.
TEST_F(MediaVendorRecipe, SeekAndStopWhilePlaying)
{
    for (const char* file : {"raw.avi", "rawvideo.avi"}) {
        SCOPED_TRACE(file);
        listener = Listener();
        ClearMediaLog();
        std::vector<uint8_t> record;
        ASSERT_TRUE(PlayUntilFrame(Clip(file), record));
        ASSERT_TRUE(PumpUntil([&] { return media->IsPlaying() && listener.lastProgress > 200; }, 5000));
        media->SetPosition(3500);
        EXPECT_TRUE(PumpUntil([&] { return listener.lastProgress >= 3500; }, 5000)) << listener.lastProgress;
        const int32_t afterSeek = HeaderOf(ReadRecord()).frameTime;
        EXPECT_TRUE(WaitForNewFrame(afterSeek, record, 5000)) << "pictures flow after the seek";
        EXPECT_LE(QuadrantError(record), 40);
        media->SetPosition(1000);
        EXPECT_TRUE(StopAndWait());
        EXPECT_FALSE(media->IsPlaying());
        EXPECT_EQ(0, CountMediaLog("did not stop"));
    }
}
