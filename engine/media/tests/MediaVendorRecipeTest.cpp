// The LavMedia recipe played for real: tools/testfilters' stand-ins for the
// LAV filters (a raw AVI source and pass-through decoders) and the AC3 Filter
// are registered under their class ids for this program's run, so uncompressed
// AVI clips go through AddRecipeFilters, the source's Load, every recipe link
// and the grabbed-type checks into the shared record.
#include "ComPtr.h"
#include "DShowGuids.h"
#include "GraphHelpers.h"
#include "MediaRecipes.h"
#include "MediaPlayFixture.h"
#include "MediaTestSupport.h"
#include "MediaVideo.h"
#include "ShareHandle.h"
#include "testing/TestFilters.h"

#include <gtest/gtest.h>

#include <objbase.h>
#include <dshow.h>
#include <qedit.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace {

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

std::vector<uint8_t> ClipBytes(const char* name)
{
    std::ifstream in(Clip(name), std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

size_t FindTag(const std::vector<uint8_t>& bytes, const char* tag, size_t from = 0)
{
    const auto at = std::search(bytes.begin() + std::min(from, bytes.size()), bytes.end(), tag, tag + 4);
    return at == bytes.end() ? std::string::npos : size_t(at - bytes.begin());
}

void Put32(std::vector<uint8_t>& bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes.at(at + i) = uint8_t(value >> (8 * i));
}

void Put16(std::vector<uint8_t>& bytes, size_t at, uint16_t value)
{
    bytes.at(at) = uint8_t(value);
    bytes.at(at + 1) = uint8_t(value >> 8);
}

// Where raw.avi keeps its headers.
size_t VideoFormat(const std::vector<uint8_t>& b) { return FindTag(b, "strf") + 8; }
size_t SoundFormat(const std::vector<uint8_t>& b) { return FindTag(b, "strf", VideoFormat(b)) + 8; }
size_t VideoHeader(const std::vector<uint8_t>& b) { return FindTag(b, "strh") + 8; }
size_t FirstFrame(const std::vector<uint8_t>& b) { return FindTag(b, "00dc", FindTag(b, "movi")); }

// What the LAV source stand-in makes of a file: Load's result and its pins' types.
struct Loaded {
    HRESULT hr = E_FAIL;
    std::map<std::wstring, AM_MEDIA_TYPE> pins;
    ~Loaded()
    {
        for (auto& pin : pins) {
            if (pin.second.pbFormat)
                CoTaskMemFree(pin.second.pbFormat);
        }
    }
};

void LoadInSource(const std::vector<uint8_t>& bytes, Loaded& loaded)
{
    wchar_t folder[MAX_PATH], path[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    GetTempFileNameW(folder, L"avi", 0, path);
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    tq::ComPtr<IBaseFilter> source;
    tq::ComPtr<IFileSourceFilter> file;
    if (SUCCEEDED(CoCreateInstance(kClsidLavSource, nullptr, CLSCTX_ALL, IID_IBaseFilter, source.ReceiveVoid())) &&
        SUCCEEDED(source->QueryInterface(IID_IFileSourceFilter, file.ReceiveVoid()))) {
        loaded.hr = file->Load(path, nullptr);
        tq::ComPtr<IEnumPins> pins;
        source->EnumPins(pins.Receive());
        tq::ComPtr<IPin> pin;
        while (pins && pins->Next(1, pin.Receive(), nullptr) == S_OK) {
            PIN_INFO info = {};
            pin->QueryPinInfo(&info);
            if (info.pFilter)
                info.pFilter->Release();
            tq::ComPtr<IEnumMediaTypes> types;
            AM_MEDIA_TYPE* type = nullptr;
            AM_MEDIA_TYPE& kept = loaded.pins[info.achName];
            kept = AM_MEDIA_TYPE();
            if (SUCCEEDED(pin->EnumMediaTypes(types.Receive())) && types->Next(1, &type, nullptr) == S_OK) {
                kept = *type;
                if (kept.pUnk)
                    kept.pUnk->Release();
                kept.pUnk = nullptr;
                CoTaskMemFree(type);
            }
        }
    }
    DeleteFileW(path);
}

// The pictures a sample grabber passed on: their start times and which half
// of the quadrant clip (top-down RGB24, 160x120) they show.
class PictureLog : public ISampleGrabberCB {
public:
    struct Picture {
        double time;
        bool secondHalf;
    };
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        if (riid == IID_IUnknown || riid == IID_ISampleGrabberCB) {
            *ppv = static_cast<ISampleGrabberCB*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }  // lives on the test's stack
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE SampleCB(double time, IMediaSample* sample) override
    {
        BYTE* data = nullptr;
        if (FAILED(sample->GetPointer(&data)) || sample->GetActualDataLength() < 160 * 120 * 3)
            return S_OK;
        const BYTE* topLeft = data + (30 * 160 + 40) * 3;  // blue, green, red
        std::lock_guard<std::mutex> lock(m_lock);
        m_pictures.push_back({time, topLeft[2] < 128});
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE BufferCB(double, BYTE*, long) override { return E_NOTIMPL; }
    std::vector<Picture> Pictures()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_pictures;
    }
private:
    std::mutex m_lock;
    std::vector<Picture> m_pictures;
};

tq::ComPtr<IPin> PinOf(IBaseFilter* filter, const wchar_t* name)
{
    tq::ComPtr<IPin> pin;
    pin.Attach(tq::FindPinByName(filter, name));
    return pin;
}

const wchar_t* const kPictureFilters[] = {L"LavMediaSource", L"LavVideoDecoder", L"Grabber", L"Null Renderer"};
const wchar_t* const kSoundFilters[] = {L"LavAudioDecoder", L"AC3 Filter", L"Default DirectSound Device"};

class MediaVendorRecipe : public MediaPlayFixture {
protected:
    static void SetUpTestSuite()
    {
        MediaPlayFixture::SetUpTestSuite();
        s_registered = tqtest::CallTestFilterRegistration(true);
    }
    // The stand-ins leave the prefix as they found it: the other tests expect the vendors' filters absent.
    static void TearDownTestSuite()
    {
        if (s_registered)
            tqtest::CallTestFilterRegistration(false);
    }
    void SetUp() override
    {
        ASSERT_TRUE(s_registered) << "TqTestFilters.ax could not be registered";
        MediaPlayFixture::SetUp();
    }
    void TearDown() override
    {
        const bool played = media != nullptr;
        MediaPlayFixture::TearDown();
        if (played)
            EXPECT_EQ(0, CountMediaLog("left behind"));
    }
    // The record shows the quadrants (the whole 160x120 clip fills 480x360):
    // their colours before 2.5 s, inverted from then on.
    static int QuadrantError(const std::vector<uint8_t>& record, bool inverted = false)
    {
        if (!inverted)
            return QuadrantDistance(record.data() + tq::kFrameHeaderSize, 480, 360, 0, 0, 480, 360);
        int worst = 0;
        for (int q = 0; q < 4; ++q) {
            const Rgb c = kQuadrants[q];
            const Rgb at = PixelAt(record.data() + tq::kFrameHeaderSize, 480, 360, q % 2 ? 360 : 120, q / 2 ? 270 : 90);
            worst = std::max(worst, Distance(at, {255 - c.r, 255 - c.g, 255 - c.b}));
        }
        return worst;
    }
    // Waits for a picture of either half of the clip.
    bool WaitForHalf(bool inverted, DWORD timeoutMs)
    {
        return PumpUntil([&] { return QuadrantError(ReadRecord(), inverted) <= 40; }, timeoutMs);
    }
    static bool s_registered;
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

    EXPECT_TRUE(PumpUntilEnded(20000));
    EXPECT_EQ(1, listener.ended);
    EXPECT_EQ(0, listener.failed);
    EXPECT_GT(listener.progress, 0);
    EXPECT_FALSE(media->IsPlaying());
    EXPECT_LE(QuadrantError(ReadRecord(), true), 40) << "the clip's last picture";
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
        listener = MediaListener();
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
        EXPECT_TRUE(PumpUntilEnded(20000));
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
        listener = MediaListener();
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
    listener = MediaListener();
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
        listener = MediaListener();
        ClearMediaLog();
        std::vector<uint8_t> record;
        ASSERT_TRUE(PlayUntilFrame(Clip(file), record));
        ASSERT_TRUE(PumpUntil([&] { return media->IsPlaying() && listener.lastProgress > 200; }, 5000));
        ClearMediaLog();
        media->SetPosition(3500);
        ASSERT_TRUE(PumpUntil([] { return CountMediaLog("OnPlayMediaVideoPosition") > 0; }, 5000));
        // From the seek on, pictures come from 3.5 s: of the first half only
        // those the seek overtook, none from a delivery started again at 0.
        int firstHalf = 0;
        bool secondHalf = false;
        int32_t seen = HeaderOf(ReadRecord()).frameTime;
        EXPECT_TRUE(PumpUntil([&] {
            const std::vector<uint8_t> now = ReadRecord();
            if (HeaderOf(now).frameTime != seen) {
                seen = HeaderOf(now).frameTime;
                firstHalf += QuadrantError(now) <= 40 ? 1 : 0;
                secondHalf = secondHalf || QuadrantError(now, true) <= 40;
            }
            return secondHalf && listener.lastProgress >= 3500;
        }, 5000)) << listener.lastProgress;
        EXPECT_LE(firstHalf, 3);
        // Back into the first half: its pictures come only from a restarted delivery.
        media->SetPosition(1000);
        EXPECT_TRUE(WaitForHalf(false, 5000)) << "no picture from before 2.5 s after the seek back";
        EXPECT_TRUE(PumpUntil([&] { return listener.lastProgress < 2500; }, 5000)) << listener.lastProgress;
        EXPECT_EQ(0, listener.ended);
        media->SetPosition(2000);
        EXPECT_TRUE(StopAndWait());
        EXPECT_FALSE(media->IsPlaying());
        EXPECT_EQ(0, CountMediaLog("did not stop"));
    }
}

// The source stand-in takes raw pictures and PCM sound and refuses anything
// else at Load, whatever sizes a file claims, without offering a pin.
TEST_F(MediaVendorRecipe, SourceLoadsRawAvisAndRefusesTheRest)
{
    const std::vector<uint8_t> raw = ClipBytes("raw.avi");
    ASSERT_GT(raw.size(), 100000u);
    using Change = std::function<void(std::vector<uint8_t>&)>;
    const struct {
        const char* what;
        Change change;
    } refused[] = {
        {"empty file", [](std::vector<uint8_t>& b) { b.clear(); }},
        {"not a RIFF", [](std::vector<uint8_t>& b) { b[0] = 'X'; }},
        {"RIFF size past the end", [](std::vector<uint8_t>& b) { Put32(b, 4, uint32_t(b.size())); }},
        {"cut in the middle", [](std::vector<uint8_t>& b) { b.resize(b.size() / 2); }},
        {"header list past its end", [](std::vector<uint8_t>& b) { Put32(b, FindTag(b, "hdrl") - 4, 0xFFFFFFF0u); }},
        {"stream header too short", [](std::vector<uint8_t>& b) { Put32(b, VideoHeader(b) - 4, 8); }},
        {"no frame rate anywhere", [](std::vector<uint8_t>& b) {
             Put32(b, VideoHeader(b) + 24, 0);
             Put32(b, FindTag(b, "avih") + 8, 0);
         }},
        {"picture width huge", [](std::vector<uint8_t>& b) { Put32(b, VideoFormat(b) + 4, 0x7FFFFFFFu); }},
        {"picture width zero", [](std::vector<uint8_t>& b) { Put32(b, VideoFormat(b) + 4, 0); }},
        {"picture height most negative", [](std::vector<uint8_t>& b) { Put32(b, VideoFormat(b) + 8, 0x80000000u); }},
        {"picture compressed", [](std::vector<uint8_t>& b) { Put32(b, VideoFormat(b) + 16, 0x47504A4Du); }},
        {"picture of 8 bits", [](std::vector<uint8_t>& b) { Put16(b, VideoFormat(b) + 14, 8); }},
        {"sound compressed", [](std::vector<uint8_t>& b) { Put16(b, SoundFormat(b), 0x55); }},
        {"sound blocks of 3 bytes", [](std::vector<uint8_t>& b) { Put16(b, SoundFormat(b) + 12, 3); }},
        {"frame chunk past the end", [](std::vector<uint8_t>& b) { Put32(b, FirstFrame(b) + 4, 0x7FFFFFF0u); }},
        {"frame chunk size wrapping", [](std::vector<uint8_t>& b) { Put32(b, FirstFrame(b) + 4, 0xFFFFFFF8u); }},
        {"frame chunk short of a picture", [](std::vector<uint8_t>& b) { Put32(b, FirstFrame(b) + 4, 57598); }},
        {"movie list past its end", [](std::vector<uint8_t>& b) { Put32(b, FindTag(b, "movi") - 4, 0xFFFFFFF0u); }},
        {"movie lists nested without end", [](std::vector<uint8_t>& b) {
             // Lists inside lists, each claiming the rest of the file.
             const size_t movie = FindTag(b, "movi") - 8;
             const size_t levels = 200000;
             b.resize(movie + 12 * levels);
             for (size_t i = 0; i < levels; ++i) {
                 const size_t at = movie + 12 * i;
                 memcpy(&b[at], "LIST", 4);
                 Put32(b, at + 4, uint32_t(12 * (levels - i) - 8));
                 memcpy(&b[at + 8], i ? "rec " : "movi", 4);
             }
             Put32(b, 4, uint32_t(b.size() - 8));
         }},
        {"no picture chunks", [](std::vector<uint8_t>& b) {
             for (size_t at = FirstFrame(b); at != std::string::npos; at = FindTag(b, "00dc", at + 4))
                 b[at] = b[at + 1] = '9';
         }},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> bytes = raw;
        c.change(bytes);
        Loaded loaded;
        LoadInSource(bytes, loaded);
        EXPECT_TRUE(FAILED(loaded.hr)) << std::hex << loaded.hr;
        EXPECT_TRUE(loaded.pins.empty());
    }

    const struct {
        const char* what;
        const char* clip;
        Change change;
        GUID picture;
        long height;
        bool sound;
    } taken[] = {
        {"picture and sound", "raw.avi", nullptr, MEDIASUBTYPE_RGB24, -120, true},
        {"picture only", "rawvideo.avi", nullptr, MEDIASUBTYPE_RGB24, -120, false},
        {"YUY2 picture", "rawyuy2.avi", nullptr, MEDIASUBTYPE_YUY2, 120, false},
        {"frame rate from the main header", "raw.avi",
         [](std::vector<uint8_t>& b) { Put32(b, VideoHeader(b) + 24, 0); }, MEDIASUBTYPE_RGB24, -120, true},
    };
    for (const auto& c : taken) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> bytes = ClipBytes(c.clip);
        if (c.change)
            c.change(bytes);
        Loaded loaded;
        LoadInSource(bytes, loaded);
        ASSERT_EQ(S_OK, loaded.hr);
        ASSERT_EQ(c.sound ? 2u : 1u, loaded.pins.size());
        const AM_MEDIA_TYPE& video = loaded.pins[L"Video"];
        EXPECT_TRUE(video.majortype == MEDIATYPE_Video && video.subtype == c.picture && video.formattype == FORMAT_VideoInfo);
        ASSERT_GE(video.cbFormat, sizeof(VIDEOINFOHEADER));
        const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(video.pbFormat);
        EXPECT_EQ(160, info->bmiHeader.biWidth);
        EXPECT_EQ(c.height, info->bmiHeader.biHeight);
        EXPECT_EQ(1000000, info->AvgTimePerFrame);
        if (c.sound) {
            const AM_MEDIA_TYPE& audio = loaded.pins[L"Audio"];
            EXPECT_TRUE(audio.majortype == MEDIATYPE_Audio && audio.subtype == MEDIASUBTYPE_PCM);
            ASSERT_GE(audio.cbFormat, sizeof(WAVEFORMATEX));
            const auto* wave = reinterpret_cast<const WAVEFORMATEX*>(audio.pbFormat);
            EXPECT_EQ(44100u, wave->nSamplesPerSec);
            EXPECT_EQ(16, wave->wBitsPerSample);
            EXPECT_EQ(1, wave->nChannels);
        }
    }
}

// Seeking a running graph of the stand-ins: Wine's graph hands the seek to
// the source through the grabber and the decoder, the source flushes what is
// on its way and delivers again from the frame at the new position, to the end.
TEST_F(MediaVendorRecipe, RunningGraphSeeksToTheFrameAtThatTime)
{
    tq::ComPtr<IGraphBuilder> graph;
    ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                           graph.ReceiveVoid())));
    tq::ComPtr<IBaseFilter> source, decoder, grabberFilter, renderer;
    ASSERT_TRUE(SUCCEEDED(CoCreateInstance(kClsidLavSource, nullptr, CLSCTX_ALL, IID_IBaseFilter, source.ReceiveVoid())));
    ASSERT_TRUE(SUCCEEDED(CoCreateInstance(kClsidLavVideoDecoder, nullptr, CLSCTX_ALL, IID_IBaseFilter,
                                           decoder.ReceiveVoid())));
    ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_SampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                           grabberFilter.ReceiveVoid())));
    ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                           renderer.ReceiveVoid())));
    tq::ComPtr<IFileSourceFilter> file;
    ASSERT_TRUE(SUCCEEDED(source->QueryInterface(IID_IFileSourceFilter, file.ReceiveVoid())));
    ASSERT_EQ(S_OK, file->Load(MediaAnsiToWide(Clip("rawvideo.avi")).c_str(), nullptr));
    graph->AddFilter(source.Get(), L"source");
    graph->AddFilter(decoder.Get(), L"decoder");
    graph->AddFilter(grabberFilter.Get(), L"grabber");
    graph->AddFilter(renderer.Get(), L"renderer");
    PictureLog log;
    tq::ComPtr<ISampleGrabber> grabber;
    ASSERT_TRUE(SUCCEEDED(grabberFilter->QueryInterface(IID_ISampleGrabber, grabber.ReceiveVoid())));
    grabber->SetCallback(&log, 0);
    for (const auto& pin : {std::make_pair(source.Get(), L"Video"), std::make_pair(decoder.Get(), L"Input"),
                            std::make_pair(decoder.Get(), L"Output"), std::make_pair(grabberFilter.Get(), L"Input"),
                            std::make_pair(grabberFilter.Get(), L"Output"), std::make_pair(renderer.Get(), L"In")})
        ASSERT_TRUE(PinOf(pin.first, pin.second)) << pin.second;
    ASSERT_EQ(S_OK, graph->Connect(PinOf(source.Get(), L"Video").Get(), PinOf(decoder.Get(), L"Input").Get()));
    ASSERT_EQ(S_OK, graph->ConnectDirect(PinOf(decoder.Get(), L"Output").Get(), PinOf(grabberFilter.Get(), L"Input").Get(),
                                         nullptr));
    ASSERT_EQ(S_OK, graph->Connect(PinOf(grabberFilter.Get(), L"Output").Get(), PinOf(renderer.Get(), L"In").Get()));

    tq::ComPtr<IMediaControl> control;
    tq::ComPtr<IMediaSeeking> seeking;
    tq::ComPtr<IMediaEvent> events;
    ASSERT_TRUE(SUCCEEDED(graph->QueryInterface(IID_IMediaControl, control.ReceiveVoid())));
    ASSERT_TRUE(SUCCEEDED(graph->QueryInterface(IID_IMediaSeeking, seeking.ReceiveVoid())));
    ASSERT_TRUE(SUCCEEDED(graph->QueryInterface(IID_IMediaEvent, events.ReceiveVoid())));
    LONGLONG duration = 0;
    EXPECT_TRUE(SUCCEEDED(seeking->GetDuration(&duration)));
    EXPECT_EQ(50000000, duration);
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    ASSERT_TRUE(PumpUntil([&] { return log.Pictures().size() >= 3; }, 5000));
    EXPECT_FALSE(log.Pictures()[0].secondHalf);

    LONGLONG target = 35000000;
    ASSERT_TRUE(SUCCEEDED(seeking->SetPositions(&target, AM_SEEKING_AbsolutePositioning, nullptr,
                                                AM_SEEKING_NoPositioning)));
    const size_t beforeSeek = log.Pictures().size();
    long code = 0;
    EXPECT_TRUE(SUCCEEDED(events->WaitForCompletion(10000, &code)));
    EXPECT_EQ(EC_COMPLETE, code);
    const std::vector<PictureLog::Picture> pictures = log.Pictures();
    ASSERT_EQ(beforeSeek + 15, pictures.size()) << "frames 35 to 49";
    EXPECT_NEAR(0.0, pictures[beforeSeek].time, 0.001) << "the new segment starts at the target";
    for (size_t i = beforeSeek; i < pictures.size(); ++i)
        EXPECT_TRUE(pictures[i].secondHalf) << i;
    EXPECT_TRUE(SUCCEEDED(control->Stop()));
}
