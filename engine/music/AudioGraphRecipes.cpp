#include "AudioGraphRecipes.h"

#include "AudioRendererExchange.h"

#include "EngineLog.h"
#include "GraphHelpers.h"
#include "LumeoLog.h"

#include <dmodshow.h>

namespace tq {

namespace {

const GUID kFilterGraph = {0xE436EBB3, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
const GUID kAsyncReader = {0xE436EBB5, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
const GUID kWmAsfReader = {0x187463A0, 0x5BB7, 0x11D3, {0xAC, 0xBE, 0x00, 0x80, 0xC7, 0x5E, 0x24, 0x6E}};
const GUID kMpaSource = {0x59A0DB73, 0x0287, 0x4C9A, {0x9D, 0x3C, 0x8C, 0xFF, 0x39, 0xF8, 0xE5, 0xDB}};
const GUID kDmoWrapper = {0x94297043, 0xBD82, 0x4DFD, {0xB0, 0xDE, 0x81, 0x77, 0x73, 0x9C, 0x6D, 0x20}};
const GUID kMp3DecoderDmo = {0xBBEEA841, 0x0A63, 0x4F52, {0xA7, 0xAB, 0xA9, 0xB3, 0xA8, 0x4E, 0xD3, 0x8A}};
// mingw's strmiids leaves the wrapper's interface id out.
const GUID kIidDmoWrapperFilter = {0x52D6F586, 0x9F0F, 0x4824, {0x8F, 0xC8, 0xE3, 0x2C, 0xA0, 0x49, 0x30, 0xC2}};
const GUID kAudioDecoderCategory = {0x57F2DB8B, 0xE6BB, 0x4513, {0x9D, 0x43, 0xDC, 0xD2, 0xA6, 0x59, 0x31, 0x25}};
const GUID kMpeg1Splitter = {0x336475D0, 0x942A, 0x11CE, {0xA8, 0x70, 0x00, 0xAA, 0x00, 0x2F, 0xEA, 0xB5}};
const GUID kMpcMpaDecoder = {0x3D446B6F, 0x71DE, 0x4437, {0xBE, 0x15, 0x8C, 0xE4, 0x71, 0x74, 0x34, 0x0F}};
const GUID kAc3Filter = {0xA753A1EC, 0x973E, 0x4718, {0xAF, 0x8E, 0xA3, 0xF5, 0x54, 0xD4, 0x5C, 0x44}};
const GUID kDSoundRenderer = {0x79376820, 0x07D0, 0x11CF, {0xA2, 0x4D, 0x00, 0x20, 0xAF, 0xD7, 0x97, 0x67}};

using FilterMember = ComPtr<IBaseFilter> AudioTrack::*;

// A filter of a recipe: how it is made, its name in the graph, where the
// track keeps it and the texts of its two failures.
struct FilterStep {
    const GUID* clsid;
    DWORD context;
    const wchar_t* graphName;
    FilterMember member;
    const char* createText;
    const char* addText;
};

// The texts that differ between the users, in the order Orig, Kalaok, Mood.
// An empty text reports the HRESULT alone.
struct UserText {
    const char* byUser[3];
};

struct Connection {
    FilterMember from;
    const wchar_t* fromPin;
    FilterMember to;
    const wchar_t* toPin;
    UserText text;
};

struct Recipe {
    AudioRecipe id;
    const char* name;
    FilterStep source;
    std::vector<FilterStep> further;     // in the order added, before the renderer
    std::vector<Connection> connections; // none: the source's first output pin is rendered
    bool moodRunTextAlone;               // the mood music reports a failed Run with its HRESULT alone
};

const FilterStep kAsyncSource = {&kAsyncReader, CLSCTX_INPROC_SERVER, L"AsyncReader", &AudioTrack::source,
                                 "ERROR - Could not create CLSID_AsyncReader.", "ERROR - Could not add AsyncReader to graph."};
const FilterStep kSplitterStep = {&kMpeg1Splitter, CLSCTX_ALL, L"MPEG-I Stream Splitter", &AudioTrack::splitter,
                                  "ERROR - Could not create MPEG-I Stream Splitter.",
                                  "ERROR - Could not add MPEG-I Stream Splitter to graph."};
const FilterStep kMpcMpaStep = {&kMpcMpaDecoder, CLSCTX_ALL, L"MPCMPA Decoder Filter", &AudioTrack::mpcmpaDecoder,
                                "ERROR - Could not create MPCMPA Decoder Filter.",
                                "ERROR - Could not add MPCMPA Decoder Filter to graph."};
const FilterStep kAc3Step = {&kAc3Filter, CLSCTX_ALL, L"AC3 Filter", &AudioTrack::ac3Filter,
                             "ERROR - Could not create AC3 Filter.", "ERROR - Could not add AC3 Filter to graph."};
// The DMO wrapper also needs its decoder object: handled where it is made.
const FilterStep kDmoStep = {&kDmoWrapper, CLSCTX_INPROC_SERVER, L"MP3 Decoder DMO", &AudioTrack::dmoWrapper,
                             "ERROR - Could not query IID_IDMOWrapperFilter.", "ERROR - Could not add MP3 decoder DMO to graph."};

const wchar_t kRendererPin[] = L"Audio Input pin (rendered)";

const Connection kMpcMpaToAc3 = {&AudioTrack::mpcmpaDecoder, L"Out", &AudioTrack::ac3Filter, L"In",
                                 {{"ERROR - connect MPCMPADecoderFilter -> AC3Filter failed!.",
                                   "ERROR - connect MPCMPADecoderFilter -> AC3Filter failed!.",
                                   "ERROR - connect MPCMPADecoderFilter -> AC3Filter failed!."}}};
const Connection kAc3ToRenderer = {&AudioTrack::ac3Filter, L"Out", &AudioTrack::renderer, kRendererPin,
                                   {{"ERROR - connect AC3Filter -> DirectSoundDevice failed!.",
                                     "ERROR - connect AC3Filter -> DirectSoundDevice failed!.",
                                     "ERROR - connect AC3Filter -> DirectSoundDevice failed!."}}};
const UserText kMp30ConnectText = {{"ERROR - m_pOrigGraph->ConnectDirect failed.", "ERROR - m_pKalaokGraph->ConnectDirect failed.",
                                    "ERROR - m_pGraph->ConnectDirect failed."}};

const Recipe kRecipes[] = {
    {AudioRecipe::Mp30, "Mp30",
     {&kWmAsfReader, CLSCTX_INPROC_SERVER, L"WM ASF Reader", &AudioTrack::source,
      "ERROR - Could not create WM ASF Reader.", "ERROR - Could not add WM ASF Reader to graph."},
     {kDmoStep},
     {{&AudioTrack::source, L"Raw Audio 0", &AudioTrack::dmoWrapper, L"in0", kMp30ConnectText},
      {&AudioTrack::dmoWrapper, L"out0", &AudioTrack::renderer, kRendererPin, kMp30ConnectText}},
     false},
    {AudioRecipe::Mp31, "Mp31", kAsyncSource, {kSplitterStep, kMpcMpaStep, kAc3Step},
     {{&AudioTrack::source, L"Output", &AudioTrack::splitter, L"Input",
       {{"ERROR - Source -> MPEG-I Stream Splitter failed.", "ERROR - Source -> MPEG-I Stream Splitter failed.",
         "ERROR - Source -> MPEG-I Stream Splitter failed."}}},
      {&AudioTrack::splitter, L"Audio", &AudioTrack::mpcmpaDecoder, L"In",
       {{"ERROR - MPEG-I Stream Splitter -> MPCMPADecoderFilter failed.",
         "ERROR - MPEG-I Stream Splitter -> MPCMPADecoderFilter failed.",
         "ERROR - MPEG-I Stream Splitter -> MPCMPADecoderFilter failed."}}},
      kMpcMpaToAc3, kAc3ToRenderer},
     true},
    {AudioRecipe::Aac, "Aac",
     {&kMpaSource, CLSCTX_INPROC_SERVER, L"Mpa Source", &AudioTrack::source,
      "ERROR - Could not create Mpa Source.", "ERROR - Could not add Mpa Source to graph."},
     {kMpcMpaStep, kAc3Step},
     {{&AudioTrack::source, L"Audio", &AudioTrack::mpcmpaDecoder, L"In",
       {{"ERROR - m_pOrigSource->ConnectDirect failed.", "ERROR - m_pKalaokSource->ConnectDirect failed.",
         "ERROR - m_pSource->ConnectDirect failed."}}},
      kMpcMpaToAc3, kAc3ToRenderer},
     false},
    {AudioRecipe::AutoRender, "AutoRender", kAsyncSource, {}, {}, false},
};

const UserText kNotifyText = {{"ERROR - Could not SetNotifyWindow WM_ACCOMPANYMUSIORIGNOTIFY.", "",
                               "ERROR - Could not SetNotifyWindow WM_MOODMUSINOTIFY."}};
const UserText kLoadText = {{"ERROR - m_pOrigFileSource->Load.", "ERROR - m_pKalaokFileSource->Load.", "ERROR - m_pFileSource->Load."}};
const UserText kRenderText = {{"ERROR - m_pOrigGraph->Render failed.", "ERROR - m_pKalaokGraph->Render failed.",
                               "ERROR - m_pGraph->Render failed."}};
const UserText kRunText = {{"ERROR - m_pOrigControl Run failed.", "ERROR - m_pKalaokControl Run failed.", "ERROR - m_pControl Run failed."}};

const Recipe& RecipeOf(AudioRecipe id)
{
    for (const Recipe& recipe : kRecipes)
        if (recipe.id == id)
            return recipe;
    return kRecipes[3];
}

const char* TextFor(const UserText& text, AudioUser user)
{
    return text.byUser[static_cast<int>(user)];
}

// The accompaniment writes to standard output and kqlog, the mood music to
// standard output and the engine's log file.
void Report(AudioUser user, const char* text, HRESULT hr)
{
    if (user == AudioUser::Mood)
        PrintAndWriteComFailure(text, hr);
    else
        ReportComFailure(text, hr, "AccompanyMusic", static_cast<unsigned short>(__LINE__), "BuildAudioTrack");
}

void ReportAutoRenderLoad(AudioUser user, HRESULT hr)
{
    switch (user) {
    case AudioUser::Orig:
        CLogLine(kLumeoLogModule, kLumeoLogLevel, "AccompanyMusic", static_cast<unsigned short>(__LINE__), "BuildAudioTrack")
            .AppendNarrow("m_pOrigFileSource->Load failed: ")
            .AppendInt(static_cast<int>(hr));
        break;
    case AudioUser::Kalaok:
        WriteLog(kLogInfo, "m_pKalaokFileSource->Load failed:%8x", static_cast<unsigned>(hr));
        break;
    case AudioUser::Mood:
        WriteLog(kLogInfo, "m_pFileSource->Load failed:%8x", static_cast<unsigned>(hr));
        break;
    }
}

HRESULT CreateFilter(const FilterStep& step, AudioUser user, AudioTrack& track)
{
    ComPtr<IBaseFilter>& filter = track.*(step.member);
    HRESULT hr = CreateInstanceOnce(*step.clsid, step.context, IID_IBaseFilter, filter.ReceiveVoid());
    if (FAILED(hr) || !filter) {
        hr = FAILED(hr) ? hr : E_NOINTERFACE;
        Report(user, step.createText, hr);
        return hr;
    }
    if (step.member == &AudioTrack::dmoWrapper) {
        ComPtr<IDMOWrapperFilter> wrapper;
        hr = filter->QueryInterface(kIidDmoWrapperFilter, wrapper.ReceiveVoid());
        if (FAILED(hr) || !wrapper) {
            hr = FAILED(hr) ? hr : E_NOINTERFACE;
            Report(user, "ERROR - Could not query IID_IDMOWrapperFilter.", hr);
            return hr;
        }
        hr = wrapper->Init(kMp3DecoderDmo, kAudioDecoderCategory);
        if (FAILED(hr)) {
            Report(user, "ERROR - Could not Init CLSID_MP3DecoderDMO.", hr);
            return hr;
        }
    }
    hr = track.graph->AddFilter(filter.Get(), step.graphName);
    if (FAILED(hr)) {
        Report(user, step.addText, hr);
        return hr;
    }
    return S_OK;
}

template <class I>
HRESULT TakeInterface(AudioTrack& track, ComPtr<I>& out, const IID& iid, const char* text, AudioUser user)
{
    HRESULT hr = track.graph->QueryInterface(iid, out.ReceiveVoid());
    if (FAILED(hr) || !out) {
        Report(user, text, E_NOINTERFACE);
        return E_NOINTERFACE;
    }
    return S_OK;
}

HRESULT ConnectPins(const Connection& connection, AudioUser user, AudioTrack& track)
{
    ComPtr<IPin> out, in;
    IBaseFilter* from = (track.*(connection.from)).Get();
    IBaseFilter* to = (track.*(connection.to)).Get();
    if (from)
        out.Attach(FindPinByName(from, connection.fromPin));
    if (to)
        in.Attach(FindPinByName(to, connection.toPin));
    HRESULT hr = (out && in) ? track.graph->ConnectDirect(out.Get(), in.Get(), nullptr) : VFW_E_NOT_FOUND;
    if (FAILED(hr))
        Report(user, TextFor(connection.text, user), hr);
    return hr;
}

void ExchangeRenderer(AudioTrack& track, const std::string& outputDevice)
{
    // A device no renderer answers to keeps the default one connected, so
    // the sound still plays; say so, as nothing else shows it.
    if (ExchangeAudioRenderer(track.graph.Get(), outputDevice, track.exchangedRenderer.Receive()) == AudioExchange::KeptDefault)
        WriteLog(kLogInfo, "no sound renderer named %s: the default renderer plays", outputDevice.c_str());
}

} // namespace

void AudioTrack::Clear()
{
    // A graph that never ran (a recipe that failed) has nothing to stop;
    // pausing it would start its source's streaming only to end it again.
    OAFilterState state = State_Running;
    if (control && (FAILED(control->GetState(0, &state)) || state != State_Stopped)) {
        control->Pause();
        control->StopWhenReady();
    }
    if (eventEx)
        eventEx->SetNotifyWindow(0, 0, 0);
    if (graph)
        RemoveAllFilters(graph.Get());
    exchangedRenderer.Release();
    seeking.Release();
    audio.Release();
    eventEx.Release();
    position.Release();
    event.Release();
    control.Release();
    renderer.Release();
    ac3Filter.Release();
    mpcmpaDecoder.Release();
    splitter.Release();
    dmoWrapper.Release();
    fileSource.Release();
    source.Release();
    graph.Release();
}

std::vector<AudioRecipe> AudioRecipeOrder(AudioUser user, const std::string& fileName)
{
    const std::string extension = GetLowerExtension(fileName);
    if (extension == "mp3")
        return {AudioRecipe::Mp30, AudioRecipe::Mp31, AudioRecipe::AutoRender};
    if (extension == "aac" && user != AudioUser::Mood)
        return {AudioRecipe::Aac, AudioRecipe::AutoRender};
    return {AudioRecipe::AutoRender};
}

const char* AudioRecipeName(AudioRecipe recipe)
{
    return RecipeOf(recipe).name;
}

UINT AudioNotifyMessage(AudioUser user)
{
    switch (user) {
    case AudioUser::Orig: return WM_ACCOMPANYMUSIORIGNOTIFY;
    case AudioUser::Kalaok: return WM_ACCOMPANY_KALAOKNOTIFY;
    default: return WM_MOODMUSINOTIFY;
    }
}

HRESULT BuildAudioTrack(AudioRecipe id, AudioUser user, const std::string& fileName, HWND notifyWindow,
                        const std::string& outputDevice, AudioTrack& track)
{
    // Nothing to play is a failure the caller can see, never a silent success.
    if (fileName.empty() || GetFileSize64(fileName.c_str()) <= 0)
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    const Recipe& recipe = RecipeOf(id);

    HRESULT hr = CreateInstanceOnce(kFilterGraph, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, track.graph.ReceiveVoid());
    if (FAILED(hr) || !track.graph) {
        hr = FAILED(hr) ? hr : E_NOINTERFACE;
        Report(user, "ERROR - Could not create the Filter Graph Manager.", hr);
        return hr;
    }
    if (FAILED(hr = CreateFilter(recipe.source, user, track)))
        return hr;
    hr = track.source->QueryInterface(IID_IFileSourceFilter, track.fileSource.ReceiveVoid());
    if (FAILED(hr) || !track.fileSource) {
        Report(user, "ERROR - Could not get IFileSourceFilter.", E_NOINTERFACE);
        return E_NOINTERFACE;
    }
    if (id != AudioRecipe::AutoRender) {
        for (const FilterStep& step : recipe.further)
            if (FAILED(hr = CreateFilter(step, user, track)))
                return hr;
        // Its creation is not checked: adding a missing renderer fails.
        CreateInstanceOnce(kDSoundRenderer, CLSCTX_INPROC_SERVER, IID_IBaseFilter, track.renderer.ReceiveVoid());
        hr = track.renderer ? track.graph->AddFilter(track.renderer.Get(), L"Default DirectSound Device") : E_POINTER;
        if (FAILED(hr)) {
            Report(user, "ERROR - Could not add Default DirectSound Device to graph.", hr);
            return hr;
        }
    }

    if (FAILED(hr = TakeInterface(track, track.control, IID_IMediaControl, "ERROR - Could not get IMediaControl.", user)) ||
        FAILED(hr = TakeInterface(track, track.event, IID_IMediaEvent, "ERROR - Could not get IMediaEvent.", user)) ||
        FAILED(hr = TakeInterface(track, track.position, IID_IMediaPosition, "ERROR - Could not get IMediaPosition.", user)) ||
        FAILED(hr = TakeInterface(track, track.eventEx, IID_IMediaEventEx, "ERROR - Could not get IMediaEventEx.", user)) ||
        FAILED(hr = TakeInterface(track, track.audio, IID_IBasicAudio, "ERROR - Could not get IBasicAudio.", user)))
        return hr;
    if (user != AudioUser::Mood) {
        if (FAILED(hr = TakeInterface(track, track.seeking, IID_IMediaSeeking, "ERROR - Could not get IMediaSeeking.", user)))
            return hr;
        // Positions and durations are 100-ns media time throughout.
        track.seeking->SetTimeFormat(&TIME_FORMAT_MEDIA_TIME);
    }

    hr = track.eventEx->SetNotifyWindow(reinterpret_cast<OAHWND>(notifyWindow), AudioNotifyMessage(user), 0);
    if (FAILED(hr)) {
        Report(user, TextFor(kNotifyText, user), hr);
        return hr;
    }

    const std::wstring wideName = AnsiToWide(fileName);
    hr = track.fileSource->Load(wideName.c_str(), nullptr);
    if (FAILED(hr)) {
        if (id == AudioRecipe::AutoRender)
            ReportAutoRenderLoad(user, hr);
        else
            Report(user, TextFor(kLoadText, user), hr);
        return hr;
    }

    if (id == AudioRecipe::AutoRender) {
        ComPtr<IPin> out;
        out.Attach(GetOutputPin(track.source.Get(), 0));
        hr = out ? track.graph->Render(out.Get()) : VFW_E_NOT_FOUND;
        if (FAILED(hr)) {
            Report(user, TextFor(kRenderText, user), hr);
            return hr;
        }
    } else {
        for (const Connection& connection : recipe.connections)
            if (FAILED(hr = ConnectPins(connection, user, track)))
                return hr;
    }

    ExchangeRenderer(track, outputDevice);

    hr = track.control->Run();
    if (FAILED(hr)) {
        const bool alone = user == AudioUser::Mood && recipe.moodRunTextAlone;
        Report(user, alone ? "" : TextFor(kRunText, user), hr);
        return hr;
    }
    return S_OK;
}

bool DrainTrackEvents(AudioTrack& track, long timeoutMs, bool stopAtFirst)
{
    bool complete = false;
    while (track.event) {
        long code = 0;
        LONG_PTR param1 = 0, param2 = 0;
        if (FAILED(track.event->GetEvent(&code, &param1, &param2, timeoutMs)))
            break;
        track.event->FreeEventParams(code, param1, param2);
        if (code == EC_COMPLETE)
            complete = true;
        if (stopAtFirst)
            break;
    }
    return complete;
}

} // namespace tq
