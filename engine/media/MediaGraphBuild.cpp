// The media-file source's graph recipes: LavMedia and MpegMedia from their
// tables, DefaultMedia from the graph's own RenderFile, and the checks of the
// grabbed picture type.
#include "DShowGuids.h"
#include "GraphHelpers.h"
#include "MediaLog.h"
#include "MediaMessages.h"
#include "MediaVideoOper.h"

#include <dvdmedia.h>
#include <uuids.h>

#include <cstdlib>

namespace {

// The picture description of a connected video type; false for anything else.
bool DescribeVideoType(const AM_MEDIA_TYPE& type, MediaPictureFormat& format)
{
    const BITMAPINFOHEADER* header = nullptr;
    if (type.formattype == FORMAT_VideoInfo && type.pbFormat && type.cbFormat >= sizeof(VIDEOINFOHEADER))
        header = &reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat)->bmiHeader;
    else if (type.formattype == FORMAT_VideoInfo2 && type.pbFormat && type.cbFormat >= sizeof(VIDEOINFOHEADER2))
        header = &reinterpret_cast<const VIDEOINFOHEADER2*>(type.pbFormat)->bmiHeader;
    if (!header)
        return false;
    format.subtype = type.subtype;
    format.width = header->biWidth;
    format.height = header->biHeight;
    return true;
}

// Video, RGB24, VIDEOINFOHEADER: what the grabber is asked for.
AM_MEDIA_TYPE Rgb24Request()
{
    AM_MEDIA_TYPE type = {};
    type.majortype = MEDIATYPE_Video;
    type.subtype = MEDIASUBTYPE_RGB24;
    type.formattype = FORMAT_VideoInfo;
    return type;
}

} // namespace

HRESULT CMediaVideoOper::Fail(const char* text, HRESULT hr)
{
    Clear();
    MediaComFailure(text, hr);
    return hr;
}

HRESULT CMediaVideoOper::CreateGraph()
{
    const HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_ALL, IID_IGraphBuilder,
                                        m_graph.ReceiveVoid());
    if (FAILED(hr) || !m_graph)
        return Fail(media_text::kCreateGraph, FAILED(hr) ? hr : E_NOINTERFACE);
    return S_OK;
}

HRESULT CMediaVideoOper::InitMediaFilters(const std::string& name)
{
    HRESULT hr = CreateGraph();
    if (FAILED(hr))
        return hr;
    bool built = false;
    switch (ChooseMediaRecipe(name)) {
    case MediaRecipe::LavMedia:
        if (SUCCEEDED(InitLavMedia(name))) {
            MediaWriteLog("%s", media_text::kUsingLav);
            built = true;
        }
        break;
    case MediaRecipe::MpegMedia:
        if (SUCCEEDED(InitMpegMedia(name))) {
            MediaWriteLog("%s", media_text::kUsingMpeg);
            built = true;
        }
        break;
    case MediaRecipe::DefaultMedia:
        break;
    }
    if (!built) {
        Clear();
        if (FAILED(hr = CreateGraph()))
            return hr;
        if (FAILED(hr = InitDefaultMedia(name)))
            return Fail(media_text::kInitFiltersFailed, hr);
        MediaWriteLog("%s", media_text::kUsingDefault);
    }

    if (FAILED(m_graph->QueryInterface(IID_IMediaControl, m_control.ReceiveVoid())) || !m_control)
        return Fail(media_text::kNoControl, E_NOINTERFACE);
    if (FAILED(m_graph->QueryInterface(IID_IMediaEventEx, m_event.ReceiveVoid())) || !m_event)
        return Fail(media_text::kNoEvent, E_NOINTERFACE);
    if (FAILED(hr = m_event->SetNotifyWindow(reinterpret_cast<OAHWND>(Hwnd()), WM_MEDIA_GRAPHNOTIFY, 0)))
        return Fail(media_text::kNotifyWindow, hr);
    if (FAILED(m_graph->QueryInterface(IID_IMediaSeeking, m_seeking.ReceiveVoid())) || !m_seeking)
        return Fail(media_text::kNoSeeking, E_NOINTERFACE);
    return m_seeking->SetTimeFormat(&TIME_FORMAT_MEDIA_TIME);
}

HRESULT CMediaVideoOper::AddRecipeFilters(const RecipeTable& table)
{
    for (size_t i = 0; i < table.filterCount; ++i) {
        const RecipeFilter& entry = table.filters[i];
        tq::ComPtr<IBaseFilter> filter;
        HRESULT hr = S_OK;
        if (entry.role == RecipeRole::Grabber) {
            hr = tq::CreateInstanceOnce(*entry.clsid, CLSCTX_ALL, IID_ISampleGrabber, m_grabber.ReceiveVoid());
            if (FAILED(hr) || !m_grabber)
                return Fail(entry.createFailure, FAILED(hr) ? hr : E_NOINTERFACE);
            if (FAILED(m_grabber->QueryInterface(IID_IBaseFilter, filter.ReceiveVoid())) || !filter)
                return Fail(media_text::kGrabberNoFilter, E_NOINTERFACE);
        } else {
            hr = tq::CreateInstanceOnce(*entry.clsid, CLSCTX_ALL, IID_IBaseFilter, filter.ReceiveVoid());
            // The sound renderer's creation is not checked; adding it is.
            if (entry.createFailure && (FAILED(hr) || !filter))
                return Fail(entry.createFailure, FAILED(hr) ? hr : E_NOINTERFACE);
        }
        hr = filter ? m_graph->AddFilter(filter.Get(), entry.graphName) : E_POINTER;
        if (FAILED(hr))
            return Fail(entry.addFailure, hr);
        m_filters[entry.role] = filter;
    }
    return S_OK;
}

HRESULT CMediaVideoOper::LoadSourceFile(const std::string& name)
{
    tq::ComPtr<IFileSourceFilter> source;
    auto found = m_filters.find(RecipeRole::Source);
    if (found == m_filters.end() || FAILED(found->second->QueryInterface(IID_IFileSourceFilter, source.ReceiveVoid())) || !source)
        return Fail(media_text::kNoFileSource, E_NOINTERFACE);
    const HRESULT hr = source->Load(MediaAnsiToWide(name).c_str(), nullptr);
    if (FAILED(hr))
        return Fail(media_text::kLoadFailed, hr);
    return S_OK;
}

HRESULT CMediaVideoOper::ConnectRecipeLinks(const RecipeTable& table)
{
    for (size_t i = 0; i < table.linkCount; ++i) {
        const RecipeLink& link = table.links[i];
        if (link.from == RecipeRole::None) {
            if (!CheckGrabberType())
                return E_FAIL;
            continue;
        }
        tq::ComPtr<IPin> out, in;
        auto from = m_filters.find(link.from);
        auto to = m_filters.find(link.to);
        if (from != m_filters.end())
            out.Attach(tq::FindPinByName(from->second.Get(), link.fromPin));
        if (to != m_filters.end())
            in.Attach(tq::FindPinByName(to->second.Get(), link.toPin));
        HRESULT hr = VFW_E_NOT_FOUND;
        if (out && in)
            hr = link.direct ? m_graph->ConnectDirect(out.Get(), in.Get(), nullptr) : m_graph->Connect(out.Get(), in.Get());
        if (FAILED(hr))
            return Fail(link.failure, hr);
    }
    return S_OK;
}

HRESULT CMediaVideoOper::InitLavMedia(const std::string& name)
{
    HRESULT hr;
    if (FAILED(hr = AddRecipeFilters(kLavVideoRecipe)) || FAILED(hr = LoadSourceFile(name)) ||
        FAILED(hr = ConnectRecipeLinks(kLavVideoRecipe)))
        return hr;
    if (!ConfirmGrabbedType())
        return VFW_E_TYPE_NOT_ACCEPTED;
    tq::ComPtr<IPin> audio;
    audio.Attach(tq::FindPinByName(m_filters[RecipeRole::Source].Get(), kLavAudioPin));
    if (!audio)
        return S_OK;  // a picture without sound plays silently
    audio.Release();
    if (FAILED(hr = AddRecipeFilters(kLavAudioRecipe)) || FAILED(hr = ConnectRecipeLinks(kLavAudioRecipe)))
        return hr;
    return S_OK;
}

HRESULT CMediaVideoOper::InitMpegMedia(const std::string& name)
{
    HRESULT hr;
    if (FAILED(hr = AddRecipeFilters(kMpegRecipe)) || FAILED(hr = LoadSourceFile(name)) ||
        FAILED(hr = ConnectRecipeLinks(kMpegRecipe)))
        return hr;
    return ConfirmGrabbedType() ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CMediaVideoOper::InitDefaultMedia(const std::string& name)
{
    HRESULT hr = m_graph->RenderFile(MediaAnsiToWide(name).c_str(), nullptr);
    if (FAILED(hr))
        return Fail(media_text::kRenderFile, hr);
    tq::ComPtr<IBaseFilter> renderer;
    hr = m_graph->FindFilterByName(L"Video Renderer", renderer.Receive());
    if (FAILED(hr) || !renderer)
        return Fail(media_text::kNoVideoRenderer, FAILED(hr) ? hr : VFW_E_NOT_FOUND);

    tq::ComPtr<IPin> rendererIn, upstream;
    rendererIn.Attach(tq::GetInputPin(renderer.Get(), 0));
    if (!rendererIn || FAILED(rendererIn->ConnectedTo(upstream.Receive())) || !upstream) {
        Clear();
        return HRESULT(-1);
    }
    m_graph->Disconnect(upstream.Get());
    m_graph->Disconnect(rendererIn.Get());

    tq::ComPtr<IBaseFilter> grabberFilter;
    hr = CoCreateInstance(CLSID_SampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_ISampleGrabber,
                          m_grabber.ReceiveVoid());
    if (FAILED(hr) || !m_grabber)
        return Fail(media_text::kCreateGrabber, FAILED(hr) ? hr : E_NOINTERFACE);
    if (FAILED(m_grabber->QueryInterface(IID_IBaseFilter, grabberFilter.ReceiveVoid())) || !grabberFilter)
        return Fail(media_text::kGrabberNoFilter, E_NOINTERFACE);
    const bool vista = tq::IsWindowsVistaOrLater();
    if (!vista) {
        AM_MEDIA_TYPE request = Rgb24Request();
        if (FAILED(hr = m_grabber->SetMediaType(&request))) {
            Clear();
            return hr;
        }
    }
    if (FAILED(hr = m_graph->AddFilter(grabberFilter.Get(), L"Grabber")))
        return Fail(media_text::kAddGrabber, hr);
    m_filters[RecipeRole::Grabber] = grabberFilter;

    tq::ComPtr<IPin> grabberIn;
    grabberIn.Attach(tq::GetInputPin(grabberFilter.Get(), 0));
    if (grabberIn)
        m_graph->Connect(upstream.Get(), grabberIn.Get());
    if (vista) {
        if (!CheckGrabberType())
            return HRESULT(-1);
    } else if (!ReadGrabberType()) {
        Clear();
        return E_FAIL;
    }

    tq::ComPtr<IBaseFilter> nullRenderer;
    hr = CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                          nullRenderer.ReceiveVoid());
    if (FAILED(hr) || !nullRenderer)
        return Fail(media_text::kCreateNullRenderer, FAILED(hr) ? hr : E_NOINTERFACE);
    if (FAILED(hr = m_graph->AddFilter(nullRenderer.Get(), L"Null Render")))
        return Fail(media_text::kAddNullRenderer, hr);
    m_filters[RecipeRole::NullRenderer] = nullRenderer;

    tq::ComPtr<IPin> grabberOut, nullIn;
    grabberOut.Attach(tq::GetOutputPin(grabberFilter.Get(), 0));
    nullIn.Attach(tq::GetInputPin(nullRenderer.Get(), 0));
    if (!grabberOut || !nullIn) {
        Clear();
        return VFW_E_NOT_FOUND;
    }
    m_graph->Disconnect(grabberOut.Get());
    m_graph->Disconnect(nullIn.Get());
    hr = m_graph->Connect(grabberOut.Get(), nullIn.Get());
    if (FAILED(hr)) {
        Clear();
        return hr;
    }
    m_graph->RemoveFilter(renderer.Get());
    return ConfirmGrabbedType() ? hr : VFW_E_TYPE_NOT_ACCEPTED;
}

bool CMediaVideoOper::ReadGrabberType()
{
    AM_MEDIA_TYPE type = {};
    if (!m_grabber || FAILED(m_grabber->GetConnectedMediaType(&type)))
        return false;
    const bool described = DescribeVideoType(type, m_format);
    tq::FreeMediaType(type);
    if (described)
        m_grabberCB.SetFormat(m_format);
    return described;
}

bool CMediaVideoOper::CheckGrabberType()
{
    AM_MEDIA_TYPE type = {};
    if (!m_grabber || FAILED(m_grabber->GetConnectedMediaType(&type))) {
        Clear();
        return false;
    }
    DescribeVideoType(type, m_format);
    tq::FreeMediaType(type);
    if (!MediaSubtypeKept(m_format.subtype)) {
        m_format.subtype = MEDIASUBTYPE_RGB24;
        AM_MEDIA_TYPE request = Rgb24Request();
        if (FAILED(m_grabber->SetMediaType(&request))) {
            Clear();
            return false;
        }
    }
    return true;
}

bool CMediaVideoOper::ConfirmGrabbedType()
{
    // What the grabber really delivers is what its connection says after the
    // last connect, not what was asked of it.
    AM_MEDIA_TYPE type = {};
    MediaPictureFormat format;
    bool described = false;
    if (m_grabber && SUCCEEDED(m_grabber->GetConnectedMediaType(&type))) {
        described = DescribeVideoType(type, format);
        tq::FreeMediaType(type);
    }
    if (!described || !MediaSubtypeConvertible(format.subtype) || format.width <= 0 || format.height == 0) {
        Fail(media_text::kUnsupportedType, VFW_E_TYPE_NOT_ACCEPTED);
        return false;
    }
    m_format = format;
    m_grabberCB.SetFormat(m_format);
    MediaWriteLog("CMediaVideoOper grabbed video %dx%d", format.width, format.height);
    return true;
}
