#include "CaptureVideoOper.h"
#include "AudioRendererExchange.h"
#include "CaptureLog.h"
#include "CaptureMessages.h"
#include "DShowGuids.h"
#include "GraphHelpers.h"
#include "ShareHandle.h"

#include <dbt.h>
#include <ks.h>
#include <ksmedia.h>
#include <olectl.h>
#include <uuids.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

// The sound output the audio output chooser holds (VcamManger.cpp).
std::string ChosenSoundOutput(VcamManger* manager);

using tq::ComPtr;

namespace {

// "{8E99549A-DB91-4889-CFDD-F5662FE7BE7B}": the product's own camera, never listed.
const wchar_t kVirtualCamFilterClsid[] = L"{8E99549A-DB91-4889-CFDD-F5662FE7BE7B}";
const GUID kKsCategoryCapture = {0x65E8773D, 0x8F56, 0x11D0, {0xA3, 0xB9, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

bool InList(const std::vector<std::string>& list, const std::string& name)
{
    return std::find(list.begin(), list.end(), name) != list.end();
}

} // namespace

std::string CCaptureVideoOper::UniqueName(const std::string& friendly, const std::vector<std::string>& a,
                                          const std::vector<std::string>& b)
{
    if (!InList(a, friendly) && !InList(b, friendly))
        return friendly;
    std::string candidate;
    for (int n = 1; n <= 99; ++n) {
        candidate = friendly + std::to_string(n);
        if (!InList(a, candidate) && !InList(b, candidate))
            break;
    }
    return candidate;
}

namespace {

std::string ReadFriendlyName(IPropertyBag* bag, bool& found)
{
    VARIANT value;
    VariantInit(&value);
    found = SUCCEEDED(bag->Read(L"FriendlyName", &value, nullptr)) && value.vt == VT_BSTR;
    std::string name = found ? tq::WideToAnsiString(value.bstrVal) : std::string();
    VariantClear(&value);
    return name;
}

std::string MonikerDisplayName(IMoniker* moniker)
{
    LPOLESTR display = nullptr;
    if (FAILED(moniker->GetDisplayName(nullptr, nullptr, &display)) || !display)
        return std::string();
    std::string name = Lower(tq::WideToAnsiString(display));
    CoTaskMemFree(display);
    return name;
}

} // namespace

CCaptureVideoOper::CCaptureVideoOper(CCaptureVideo* owner)
    : m_owner(owner), m_captureSubtype(MEDIASUBTYPE_RGB24), m_sourceSubtype(MEDIASUBTYPE_RGB24),
      m_preview(kCapturePreviewBytes, 0), m_work(kCaptureWorkBytes, 0)
{
    CreateMessageWindow(tq::CMessageWindow::MessageOnly);
    RegisterDeviceNotifications();
}

CCaptureVideoOper::~CCaptureVideoOper()
{
    Clear();
    if (m_deviceNotify) {
        using Unregister = BOOL(WINAPI*)(HDEVNOTIFY);
        if (auto unregister = reinterpret_cast<Unregister>(
                reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "UnregisterDeviceNotification"))))
            unregister(m_deviceNotify);
    }
    DestroyMessageWindow();
}

void CCaptureVideoOper::RegisterDeviceNotifications()
{
    using Register = HDEVNOTIFY(WINAPI*)(HANDLE, LPVOID, DWORD);
    auto registerFn = reinterpret_cast<Register>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "RegisterDeviceNotificationW")));
    if (!registerFn || !Hwnd())
        return;
    DEV_BROADCAST_DEVICEINTERFACE_W filter = {};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = kKsCategoryCapture;
    m_deviceNotify = registerFn(Hwnd(), &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
}

const char* CCaptureVideoOper::SubtypeName(const GUID& subtype)
{
    if (subtype == MEDIASUBTYPE_RGB24) return "RGB24";
    if (subtype == MEDIASUBTYPE_YUY2) return "YUY2";
    if (subtype == MEDIASUBTYPE_MJPG) return "MJPG";
    return "UNKNOW";
}

bool CCaptureVideoOper::OnWindowMessage(UINT message, WPARAM wParam, LPARAM, LRESULT* result)
{
    switch (message) {
    case WM_CAPTURE_INIT: OnInit(); break;
    case WM_CAPTURE_STOP: OnStopCaptureVideo(); break;
    case WM_CAPTURE_REOPEN: OnReopenCapture(); break;
    case WM_CAPTURE_PAUSE: OnPauseCaptureVideo(); break;
    case WM_CAPTURE_CONTINUE: OnContinueCaptureVideo(); break;
    case WM_CAPTURE_SETCONF: OnSetCaptureConf(); break;
    case WM_CAPTURE_ENUMDEVICES: OnEnumDevices(); break;
    case WM_CAPTURE_PROPERTYPAGE: OnShowPropertyPage(); break;
    case WM_CAPTURE_GOTPICTURE: OnGotNewPicture(); break;
    case WM_CAPTURE_GRAPHNOTIFY: OnCaptureNotify(); break;
    case WM_DEVICECHANGE:
        if (wParam != DBT_DEVICEARRIVAL && wParam != DBT_DEVICEREMOVECOMPLETE)
            return false;
        m_owner->PostToPublic(WM_CAPTURE_DEVICECHANGE, wParam);
        *result = TRUE;
        return true;
    default:
        return false;
    }
    *result = 0;
    return true;
}

void CCaptureVideoOper::SetOutputSize(int width, int height)
{
    tq::CCritSecLock lock(m_lock);
    m_outWidth = width;
    m_outHeight = height;
}

void CCaptureVideoOper::CopyPreview(uint8_t* destination)
{
    tq::CCritSecLock lock(m_lock);
    memcpy(destination, m_preview.data(), kCapturePreviewBytes);
}

void CCaptureVideoOper::OnSetCaptureConf()
{
    // The public values are read first: the public lock is never taken under ours.
    const CaptureSettings settings = m_owner->GetSettings();
    const bool restartTimer = m_picTimer.IsRunning() && settings.framesPerSecond != m_framesPerSecond;
    m_ownerWindow = settings.ownerWindow;
    m_captureWidth = settings.captureWidth;
    m_captureHeight = settings.captureHeight;
    m_captureAudio = settings.openAudio;
    m_framesPerSecond = settings.framesPerSecond;
    {
        tq::CCritSecLock lock(m_lock);
        m_outWidth = settings.outWidth;
        m_outHeight = settings.outHeight;
    }
    // Outside our lock: stopping the timer waits for a tick that may want it.
    if (restartTimer)
        StartPicTimer();
    CaptureWriteLog(1, "CCaptureGrabberCB::OnSetCaptureConf height %u width %u frame %u", unsigned(m_captureHeight),
                    unsigned(m_captureWidth), unsigned(m_framesPerSecond));
}

void CCaptureVideoOper::EnumCategory(const GUID& category, bool captureCategory, std::vector<std::string>& pnp,
                                     std::vector<std::string>& others)
{
    ComPtr<ICreateDevEnum> devEnum;
    if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                                devEnum.ReceiveVoid())))
        return;
    ComPtr<IEnumMoniker> monikers;
    if (devEnum->CreateClassEnumerator(category, monikers.Receive(), 0) != S_OK || !monikers)
        return;
    CLSID virtualCam = {};
    CLSIDFromString(kVirtualCamFilterClsid, &virtualCam);

    IMoniker* raw = nullptr;
    while (monikers->Next(1, &raw, nullptr) == S_OK) {
        ComPtr<IMoniker> moniker;
        moniker.Attach(raw);
        const std::string display = MonikerDisplayName(moniker.Get());
        ComPtr<IPropertyBag> bag;
        if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.ReceiveVoid())))
            continue;
        ComPtr<IBaseFilter> filter;
        if (FAILED(moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, filter.ReceiveVoid())) || !filter)
            continue;
        CLSID clsid = {};
        filter->GetClassID(&clsid);
        bool found = false;
        const std::string friendly = ReadFriendlyName(bag.Get(), found);
        if (!found || clsid == virtualCam)
            continue;
        if (captureCategory && (InList(pnp, friendly) || !tq::HasVideoCapturePin(ComPtr<IBaseFilter>(filter).Detach())))
            continue;
        const std::string unique = UniqueName(friendly, pnp, others);
        CCaptureDeviceInfo info;
        ComPtr<IPin> audio;
        audio.Attach(tq::FindPinByMajorType(filter.Get(), MEDIATYPE_Audio));
        info.hasAudio = bool(audio);
        info.displayName = display;
        info.friendlyName = friendly;
        m_devices[unique] = info;
        if (captureCategory || display.find("@device:pnp") != std::string::npos)
            pnp.push_back(unique);
        else
            others.push_back(unique);
    }
}

void CCaptureVideoOper::OnEnumDevices()
{
    tq::CMutexLock processLock(tq::GetProcessMutex().Get());
    m_devices.clear();
    // Without any video input device the public lists stay as they were.
    {
        ComPtr<ICreateDevEnum> devEnum;
        ComPtr<IEnumMoniker> monikers;
        if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                                    devEnum.ReceiveVoid())) ||
            devEnum->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, monikers.Receive(), 0) != S_OK)
            return;
    }
    std::vector<std::string> pnp, others;
    EnumCategory(CLSID_VideoInputDeviceCategory, false, pnp, others);
    EnumCategory(kKsCategoryCapture, true, pnp, others);
    m_owner->SetDeviceLists(pnp, others);
    m_owner->SetDeviceMap(m_devices);
    m_owner->PostToPublic(WM_CAPTURE_NOTIFYLISTENER);
}

bool CCaptureVideoOper::InitCaptureGraphBuilder()
{
    if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                m_graph.ReceiveVoid()))) {
        CaptureWriteLog(3, "CCaptureVideoOper::InitCaptureGraphBuilder no filter graph");
        return false;
    }
    auto device = m_devices.find(m_cameraName);
    const bool deviceHasAudio = device != m_devices.end() && device->second.hasAudio;
    if (!m_captureAudio || !deviceHasAudio) {
        ComPtr<IMediaFilter> mediaFilter;
        if (SUCCEEDED(m_graph.As(mediaFilter)))
            mediaFilter->SetSyncSource(nullptr);
        CaptureWriteLog(1, "CCaptureVideoOper::InitCaptureGraphBuilder SetSyncSource NULL");
    }
    if (FAILED(CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER, IID_ICaptureGraphBuilder2,
                                m_builder.ReceiveVoid())))
        return false;
    // Optional: without them (as under Wine) the engine converts the samples itself.
    if (FAILED(CoCreateInstance(CLSID_Colour, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                m_colorSpaceConverter.ReceiveVoid())))
        CaptureWriteLog(2, "CCaptureVideoOper::InitCaptureGraphBuilder no Color Space Converter, converting in the engine");
    if (FAILED(CoCreateInstance(CLSID_MjpegDec, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                m_mjpgDecompressor.ReceiveVoid())))
        CaptureWriteLog(2, "CCaptureVideoOper::InitCaptureGraphBuilder no MJPEG Decompressor, decoding in the engine");
    if (FAILED(m_builder->SetFiltergraph(m_graph.Get())) || FAILED(m_graph.As(m_control)) ||
        FAILED(m_graph->QueryInterface(IID_IMediaEventEx, m_event.ReceiveVoid())))
        return false;
    m_event->SetNotifyWindow(reinterpret_cast<OAHWND>(Hwnd()), WM_CAPTURE_GRAPHNOTIFY, 50);
    return SUCCEEDED(CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                      m_nullRenderer.ReceiveVoid()));
}

IBaseFilter* CCaptureVideoOper::BindCamera()
{
    auto device = m_devices.find(m_cameraName);
    if (device == m_devices.end())
        return nullptr;
    ComPtr<ICreateDevEnum> devEnum;
    ComPtr<IEnumMoniker> monikers;
    if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                                devEnum.ReceiveVoid())) ||
        devEnum->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, monikers.Receive(), 0) != S_OK)
        return nullptr;
    IMoniker* raw = nullptr;
    while (monikers->Next(1, &raw, nullptr) == S_OK) {
        ComPtr<IMoniker> moniker;
        moniker.Attach(raw);
        if (MonikerDisplayName(moniker.Get()) != device->second.displayName)
            continue;
        ComPtr<IPropertyBag> bag;
        if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.ReceiveVoid())))
            continue;
        bool found = false;
        if (ReadFriendlyName(bag.Get(), found) != device->second.friendlyName || !found)
            continue;
        IBaseFilter* filter = nullptr;
        if (SUCCEEDED(moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(&filter))))
            return filter;
        return nullptr;
    }
    return nullptr;
}

bool CCaptureVideoOper::SetDetailMediaType(AM_MEDIA_TYPE* type)
{
    auto* info = reinterpret_cast<VIDEOINFOHEADER*>(type->pbFormat);
    info->AvgTimePerFrame = 333333;  // 30 frames per second asked of every camera
    if (FAILED(m_streamConfig->SetFormat(type)))
        return false;
    m_captureWidth = info->bmiHeader.biWidth;
    m_captureHeight = std::abs(info->bmiHeader.biHeight);
    m_captureSubtype = type->subtype;
    CaptureWriteLog(1, "CCaptureVideoOper::SetDetailMediaType width %u height %u timeframe %llu subtype %s",
                    unsigned(m_captureWidth), unsigned(m_captureHeight),
                    static_cast<unsigned long long>(info->AvgTimePerFrame), SubtypeName(type->subtype));
    return true;
}

bool CCaptureVideoOper::SetCaptureMediaType()
{
    int count = 0, size = 0;
    if (!m_streamConfig || FAILED(m_streamConfig->GetNumberOfCapabilities(&count, &size)) ||
        size != int(sizeof(VIDEO_STREAM_CONFIG_CAPS)))
        return false;
    CaptureLogLine("Start get the formats support by the device : total count = " + std::to_string(count));

    std::vector<AM_MEDIA_TYPE*> types;
    for (int i = 0; i < count; ++i) {
        AM_MEDIA_TYPE* type = nullptr;
        VIDEO_STREAM_CONFIG_CAPS caps;
        if (FAILED(m_streamConfig->GetStreamCaps(i, &type, reinterpret_cast<BYTE*>(&caps))) || !type)
            continue;
        const bool known = type->subtype == MEDIASUBTYPE_RGB24 || type->subtype == MEDIASUBTYPE_YUY2 ||
                           type->subtype == MEDIASUBTYPE_MJPG;
        if (type->formattype == FORMAT_VideoInfo && type->pbFormat && type->cbFormat >= sizeof(VIDEOINFOHEADER) &&
            known) {
            types.push_back(type);
            continue;
        }
        if (!known) {
            char fourcc[5] = {};
            memcpy(fourcc, &type->subtype.Data1, 4);
            CaptureLogLine(std::string("Warning! Current subtype = ") + fourcc);
        }
        tq::DeleteMediaType(type);
    }

    bool applied = false;
    static const GUID* const order[] = {&MEDIASUBTYPE_RGB24, &MEDIASUBTYPE_YUY2, &MEDIASUBTYPE_MJPG};
    for (const GUID* subtype : order) {
        for (AM_MEDIA_TYPE* type : types) {
            const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(type->pbFormat);
            if (type->subtype != *subtype || info->bmiHeader.biWidth != m_captureWidth ||
                std::abs(info->bmiHeader.biHeight) != m_captureHeight)
                continue;
            applied = SetDetailMediaType(type);
            if (applied)
                CaptureWriteLog(1, "set the formats MEDIASUBTYPE_%s", SubtypeName(*subtype));
            break;
        }
        if (applied)
            break;
    }
    if (!applied) {
        AM_MEDIA_TYPE wanted = {};
        wanted.majortype = MEDIATYPE_Video;
        wanted.subtype = MEDIASUBTYPE_RGB24;
        applied = m_grabber && SUCCEEDED(m_grabber->SetMediaType(&wanted));
        if (applied)
            CaptureWriteLog(1, "set the formats MEDIASUBTYPE_RGB24");
    }
    for (AM_MEDIA_TYPE* type : types)
        tq::DeleteMediaType(type);
    return applied;
}

void CCaptureVideoOper::StartCaptureAudio()
{
    if (m_captureAudio && m_camera) {
        ComPtr<IPin> audio;
        audio.Attach(tq::FindPinByMajorType(m_camera.Get(), MEDIATYPE_Audio));
        if (audio && SUCCEEDED(m_graph->Render(audio.Get()))) {
            // The webcam's sound goes to the device the user chose, as the
            // media file's and the players' do.
            const std::string device = ChosenSoundOutput(m_owner->GetManager());
            if (tq::ExchangeAudioRenderer(m_graph.Get(), device) == tq::AudioExchange::Exchanged)
                CaptureWriteLog(1, "CCaptureVideoOper reset audio dev %s", device.c_str());
        }
    }
    CaptureWriteLog(1, "CCaptureVideoOper::StartCaptureAudio successful");
}

bool CCaptureVideoOper::BuildCaptureGraph(int)
{
    if (!InitCaptureGraphBuilder())
        return false;

    if (FAILED(m_graph->AddFilter(m_nullRenderer.Get(), L"VideoNullRenderer")) ||
        FAILED(CoCreateInstance(CLSID_SampleGrabber, nullptr, CLSCTX_ALL, IID_IBaseFilter,
                                m_grabberFilter.ReceiveVoid())) ||
        FAILED(m_graph->AddFilter(m_grabberFilter.Get(), L"Grabber")) || FAILED(m_grabberFilter.As(m_grabber)))
        return false;
    if (m_colorSpaceConverter)
        m_graph->AddFilter(m_colorSpaceConverter.Get(), L"ColorSpaceConvertor");
    if (m_mjpgDecompressor)
        m_graph->AddFilter(m_mjpgDecompressor.Get(), L"MJPGDecompressor");

    m_camera.Attach(BindCamera());
    if (!m_camera || FAILED(m_graph->AddFilter(m_camera.Get(), L"Tqsorva Capture Filter"))) {
        CaptureWriteLog(3, "CCaptureVideoOper::StartCaptureVideo camera %s not found", m_cameraName.c_str());
        return false;
    }

    if (FAILED(m_builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Interleaved, m_camera.Get(),
                                        IID_IAMStreamConfig, m_streamConfig.ReceiveVoid())))
        m_builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, m_camera.Get(), IID_IAMStreamConfig,
                                 m_streamConfig.ReceiveVoid());
    ComPtr<IPin> cameraPin, grabberIn, grabberOut;
    cameraPin.Attach(tq::FindPinByMajorType(m_camera.Get(), MEDIATYPE_Video));
    grabberIn.Attach(tq::GetInputPin(m_grabberFilter.Get(), 0));
    grabberOut.Attach(tq::GetOutputPin(m_grabberFilter.Get(), 0));
    if (!cameraPin || !grabberIn || !grabberOut)
        return false;

    if (!SetCaptureMediaType()) {
        CaptureWriteLog(3, "CCaptureVideoOper::StartCaptureVideo no usable format");
        return false;
    }
    if (FAILED(m_graph->Connect(cameraPin.Get(), grabberIn.Get())))
        return false;
    if (FAILED(m_graph->Render(grabberOut.Get()))) {
        // The null renderer is already in the graph: take it directly.
        ComPtr<IPin> rendererIn;
        rendererIn.Attach(tq::GetInputPin(m_nullRenderer.Get(), 0));
        if (!rendererIn || FAILED(m_graph->Connect(grabberOut.Get(), rendererIn.Get())))
            return false;
    }

    m_grabber->SetBufferSamples(FALSE);
    m_grabber->SetOneShot(FALSE);
    m_grabber->SetCallback(&m_grabberCB, 1);
    AM_MEDIA_TYPE connected = {};
    if (FAILED(m_grabber->GetConnectedMediaType(&connected)))
        return false;
    const bool videoInfo = connected.formattype == FORMAT_VideoInfo && connected.pbFormat &&
                           connected.cbFormat >= sizeof(VIDEOINFOHEADER);
    if (videoInfo) {
        const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(connected.pbFormat);
        tq::CCritSecLock lock(m_lock);
        m_sourceWidth = info->bmiHeader.biWidth;
        m_sourceHeight = std::abs(info->bmiHeader.biHeight);  // top-down RGB has a negative height
        m_sourceSubtype = connected.subtype;
        CaptureWriteLog(1, "CCaptureVideoOper::StartCaptureVideo getmediatype width %u height %u timeframe %llu subtype %s",
                        unsigned(m_sourceWidth), unsigned(m_sourceHeight),
                        static_cast<unsigned long long>(info->AvgTimePerFrame), SubtypeName(connected.subtype));
    }
    tq::FreeMediaType(connected);
    if (!videoInfo)
        return false;

    StartCaptureAudio();

    // The graph holds these; only the control and the event stay with us
    // (pause, continue, teardown and the graph's notifications use them).
    m_nullRenderer.Release();
    m_grabber.Release();
    m_grabberFilter.Release();
    m_colorSpaceConverter.Release();
    m_mjpgDecompressor.Release();
    m_camera.Release();
    m_streamConfig.Release();
    m_builder.Release();
    if (FAILED(m_control->Run())) {
        CaptureWriteLog(3, "CCaptureVideoOper::StartCaptureVideo Run failed");
        return false;
    }
    if (m_captureAudio) {
        ComPtr<IBasicAudio> audio;
        if (SUCCEEDED(m_graph->QueryInterface(IID_IBasicAudio, audio.ReceiveVoid())))
            audio->put_Volume(0);
        CaptureWriteLog(1, "CCaptureVideoOper::ResetAudioVolume vol = 0");
    }
    return true;
}

bool CCaptureVideoOper::StartCaptureVideo(int width, int height, const GUID& subtype, int framesPerSecond)
{
    CaptureWriteLog(1, "CCaptureVideoOper::StartCaptureVideo");
    Clear();
    m_captureWidth = width;
    m_captureHeight = height;
    m_captureSubtype = subtype;
    m_framesPerSecond = framesPerSecond;
    if (BuildCaptureGraph(framesPerSecond))
        return true;
    Clear();
    return false;
}

void CCaptureVideoOper::OnInit()
{
    tq::CMutexLock processLock(tq::GetProcessMutex().Get());
    Clear();
    const CaptureSettings settings = m_owner->GetSettings();
    m_ownerWindow = settings.ownerWindow;
    m_cameraName = settings.cameraName;
    CaptureWriteLog(1, "CCaptureVideoOper::OnInit starting capture %s", m_cameraName.c_str());
    int result = 1;
    const char* text = "CCaptureVideoOper::OnInit capture name is empty";
    if (!m_cameraName.empty()) {
        if (StartCaptureVideo(m_captureWidth, m_captureHeight, m_captureSubtype, m_framesPerSecond)) {
            result = 0;
            text = "CCaptureVideoOper::OnInit start capture successful";
        } else {
            text = "CCaptureVideoOper::OnInit start capture fail";
        }
    }
    m_owner->SetOpenResult(m_cameraName, result);
    m_owner->PostToPublic(WM_CAPTURE_OPENRESULT, WPARAM(result));
    CaptureWriteLog(1, "%s", text);
}

void CCaptureVideoOper::OnStopCaptureVideo()
{
    tq::CMutexLock processLock(tq::GetProcessMutex().Get());
    Clear();
    CaptureWriteLog(1, "CCaptureGrabberCB::OnStopCaptureVideo");
}

void CCaptureVideoOper::OnReopenCapture()
{
    tq::CMutexLock processLock(tq::GetProcessMutex().Get());
    CaptureWriteLog(1, "CCaptureGrabberCB::OnReopenCapture");
    Clear();
    const int framesPerSecond = m_owner->GetSettings().framesPerSecond;
    const int result = StartCaptureVideo(m_captureWidth, m_captureHeight, m_captureSubtype, framesPerSecond) ? 0 : 1;
    // Recorded like an open, so that a failed reopen is not taken for a running camera.
    m_owner->SetOpenResult(m_cameraName, result);
    m_owner->PostToPublic(WM_CAPTURE_OPENRESULT, WPARAM(result));
}

void CCaptureVideoOper::OnPauseCaptureVideo()
{
    tq::CMutexLock processLock(tq::GetProcessMutex().Get());
    if (m_control)
        m_control->Pause();
    CaptureWriteLog(1, "CCaptureGrabberCB::OnPauseCaptureVideo");
}

void CCaptureVideoOper::OnContinueCaptureVideo()
{
    tq::CMutexLock processLock(tq::GetProcessMutex().Get());
    if (m_control)
        m_control->Run();
    CaptureWriteLog(1, "CCaptureGrabberCB::OnContinueCaptureVideo");
}

void CCaptureVideoOper::OnShowPropertyPage()
{
    ComPtr<ISpecifyPropertyPages> pages;
    {
        tq::CMutexLock processLock(tq::GetProcessMutex().Get());
        ComPtr<IBaseFilter> camera;
        camera.Attach(tq::FindFilterByAnsiName(m_graph.Get(), "Tqsorva Capture Filter"));
        if (!camera || FAILED(camera.As(pages)))
            return;
    }
    // The modal frame runs without the process mutex, so other workers go on.
    CAUUID ids = {};
    if (FAILED(pages->GetPages(&ids)))
        return;
    IUnknown* object = pages.Get();
    OleCreatePropertyFrame(m_ownerWindow, 30, 30, nullptr, 1, &object, ids.cElems, ids.pElems, 0, 0, nullptr);
    CoTaskMemFree(ids.pElems);
}

void CCaptureVideoOper::OnCaptureNotify()
{
    if (!m_event)
        return;
    long code = 0;
    LONG_PTR param1 = 0, param2 = 0;
    while (m_event && m_event->GetEvent(&code, &param1, &param2, 0) == S_OK) {
        const auto p1 = static_cast<unsigned long long>(param1);
        const auto p2 = static_cast<unsigned long long>(param2);
        switch (code) {
        case EC_COMPLETE: CaptureWriteLog(1, "EC_COMPLETE param1 %llu  param2 %llu", p1, p2); break;
        case EC_USERABORT: CaptureWriteLog(1, "EC_USERABORT param1 %llu  param2 %llu", p1, p2); break;
        case EC_ERRORABORT: CaptureWriteLog(1, "EC_ERRORABORT param1 %llu  param2 %llu", p1, p2); break;
        case EC_DEVICE_LOST:
            // The second parameter is 0 when the device went away, else it is back.
            CaptureLogLine(param2 == 0 ? "警告：当前正在使用的摄像头被拔掉了！" : "提示：刚刚被拔掉的摄像头重新插上了！");
            break;
        default: break;
        }
        m_event->FreeEventParams(code, param1, param2);
    }
}

void CCaptureVideoOper::Clear()
{
    CaptureWriteLog(1, "CCaptureVideoOper::Clear begin");
    // Waits for a running tick, which may still be reading the sample and buffers.
    m_picTimer.Stop();
    if (m_graph) {
        if (m_control) {
            m_control->Pause();
            m_control->StopWhenReady();
            CaptureWriteLog(1, "CCaptureVideoOper::Clear StopWhenReady");
        }
        if (m_event)
            m_event->SetNotifyWindow(0, 0, 0);
        tq::RemoveAllFilters(m_graph.Get());
    }
    m_streamConfig.Release();
    m_camera.Release();
    m_colorSpaceConverter.Release();
    m_mjpgDecompressor.Release();
    m_grabber.Release();
    m_grabberFilter.Release();
    m_nullRenderer.Release();
    m_event.Release();
    m_control.Release();
    m_builder.Release();
    m_graph.Release();
    m_grabberCB.Reset();
    CaptureWriteLog(1, "CCaptureVideoOper::Clear end");
}
