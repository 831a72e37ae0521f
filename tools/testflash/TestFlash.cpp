// The stand-in Flash control. Its movie is a text file:
//   tqflash
//   frames N
//   rate R                     (frames a second)
//   rect LEFT TOP WIDTH HEIGHT RRGGBB     (one line per frame)
// It keeps its own play clock (stopping at the end unless looping), reports a
// fixed version, and Draw paints the current frame's rectangle, offset by the
// drawing bounds and clipped to them, leaving every other pixel alone.
// Beside the library: "testflash.journal" (one line per call it gets) and
// "testflash.ini", section [control]: siteFirst=1 (asks for the client site
// before initialisation), failInitNew=1, noPersist=1 (no IPersistStreamInit),
// noWindowless=1 (in-place activation with a window only).
#include <windows.h>
#include <ocidl.h>
#include <oleauto.h>
#include <oleidl.h>
#include <olectl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <new>
#include <string>
#include <vector>

namespace {

const CLSID kClassId = {0xD27CDB6E, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const IID kFlashIid = {0xD27CDB6C, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const wchar_t kClassKey[] = L"CLSID\\{D27CDB6E-AE6D-11CF-96B8-444553540000}";
const long kVersion = 0x0B020000;  // 11.2

HMODULE g_module = nullptr;
LONG g_liveObjects = 0;
LONG g_locks = 0;
CRITICAL_SECTION g_journalLock;

std::wstring ModuleFolder()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(g_module, path, MAX_PATH);
    std::wstring folder(path);
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

void Journal(const std::string& line)
{
    EnterCriticalSection(&g_journalLock);
    FILE* file = _wfopen((ModuleFolder() + L"testflash.journal").c_str(), L"ab");
    if (file) {
        fprintf(file, "%s\n", line.c_str());
        fclose(file);
    }
    LeaveCriticalSection(&g_journalLock);
}

std::string Narrow(const wchar_t* text)
{
    if (!text)
        return "(null)";
    const int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(size_t(length > 0 ? length : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], length, nullptr, nullptr);
    out.resize(strlen(out.c_str()));
    return out;
}

std::string RectText(const RECT* r)
{
    if (!r)
        return "(none)";
    char text[80];
    snprintf(text, sizeof text, "%ld %ld %ld %ld", long(r->left), long(r->top), long(r->right), long(r->bottom));
    return text;
}

int Setting(const wchar_t* name)
{
    return int(GetPrivateProfileIntW(L"control", name, 0, (ModuleFolder() + L"testflash.ini").c_str()));
}

std::string VariantText(const VARIANT& value)
{
    if (value.vt == VT_BOOL)
        return value.boolVal ? "true" : "false";
    VARIANT copy;
    VariantInit(&copy);
    std::string text = "?";
    if (SUCCEEDED(VariantChangeType(&copy, const_cast<VARIANT*>(&value), 0, VT_BSTR)))
        text = Narrow(copy.bstrVal);
    VariantClear(&copy);
    return text;
}

int64_t NowMs()
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return int64_t(double(now.QuadPart) * 1000.0 / double(frequency.QuadPart));
}

struct MovieFrame {
    int left, top, width, height;
    COLORREF colour;
};

enum DispId {
    kMovie = 1, kWMode, kBackgroundColor, kQuality2, kTotalFrames, kLoop, kGotoFrame, kCallFunction, kPlay, kStop,
    kRewind, kIsPlaying, kFlashVersion, kDisableLocalSecurity, kCurrentFrame
};
const struct { const wchar_t* name; DispId id; } kNames[] = {
    {L"Movie", kMovie}, {L"WMode", kWMode}, {L"BackgroundColor", kBackgroundColor}, {L"Quality2", kQuality2},
    {L"TotalFrames", kTotalFrames}, {L"Loop", kLoop}, {L"GotoFrame", kGotoFrame}, {L"CallFunction", kCallFunction},
    {L"Play", kPlay}, {L"Stop", kStop}, {L"Rewind", kRewind}, {L"IsPlaying", kIsPlaying},
    {L"FlashVersion", kFlashVersion}, {L"DisableLocalSecurity", kDisableLocalSecurity},
    {L"CurrentFrame", kCurrentFrame},
};

class Control final : public IOleObject,
                public IOleControl,
                public IPersistStreamInit,
                public IViewObjectEx,
                public IOleInPlaceObjectWindowless,
                public IObjectWithSite,
                public IDispatch {
public:
    Control()
    {
        InterlockedIncrement(&g_liveObjects);
        InitializeCriticalSection(&m_lock);
        m_siteFirst = Setting(L"siteFirst") != 0;
        m_failInitNew = Setting(L"failInitNew") != 0;
        m_noPersist = Setting(L"noPersist") != 0;
        m_noWindowless = Setting(L"noWindowless") != 0;
        Journal("create");
    }

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleObject))
            *out = static_cast<IOleObject*>(this);
        else if (IsEqualIID(iid, IID_IOleControl))
            *out = static_cast<IOleControl*>(this);
        else if ((IsEqualIID(iid, IID_IPersistStreamInit) || IsEqualIID(iid, IID_IPersist)) && !m_noPersist)
            *out = static_cast<IPersistStreamInit*>(this);
        else if (IsEqualIID(iid, IID_IViewObjectEx) || IsEqualIID(iid, IID_IViewObject2) || IsEqualIID(iid, IID_IViewObject))
            *out = static_cast<IViewObjectEx*>(this);
        else if (IsEqualIID(iid, IID_IOleInPlaceObjectWindowless) && !m_noWindowless)
            *out = static_cast<IOleInPlaceObjectWindowless*>(this);
        else if (IsEqualIID(iid, IID_IOleInPlaceObject) || IsEqualIID(iid, IID_IOleWindow))
            *out = static_cast<IOleInPlaceObjectWindowless*>(this);
        else if (IsEqualIID(iid, IID_IObjectWithSite))
            *out = static_cast<IObjectWithSite*>(this);
        else if (IsEqualIID(iid, kFlashIid) || IsEqualIID(iid, IID_IDispatch))
            *out = static_cast<IDispatch*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ULONG(InterlockedIncrement(&m_references)); }
    STDMETHODIMP_(ULONG) Release() override
    {
        const LONG left = InterlockedDecrement(&m_references);
        if (left == 0)
            delete this;
        return ULONG(left);
    }

    // IOleObject
    STDMETHODIMP SetClientSite(IOleClientSite* site) override
    {
        Journal(site ? "SetClientSite set" : "SetClientSite null");
        if (site)
            site->AddRef();
        if (m_clientSite)
            m_clientSite->Release();
        m_clientSite = site;
        return S_OK;
    }
    STDMETHODIMP GetClientSite(IOleClientSite** out) override
    {
        if (!out)
            return E_POINTER;
        *out = m_clientSite;
        if (m_clientSite)
            m_clientSite->AddRef();
        return S_OK;
    }
    STDMETHODIMP SetHostNames(LPCOLESTR app, LPCOLESTR) override
    {
        Journal("SetHostNames " + Narrow(app));
        return S_OK;
    }
    STDMETHODIMP Close(DWORD option) override
    {
        Journal("Close " + std::to_string(option));
        DeactivateInPlace();
        return S_OK;
    }
    STDMETHODIMP SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    STDMETHODIMP InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP GetClipboardData(DWORD, IDataObject**) override { return E_NOTIMPL; }
    STDMETHODIMP DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent, LPCRECT rect) override
    {
        Journal("DoVerb " + std::to_string(verb) + " " + RectText(rect) + (parent ? " parent" : " noparent"));
        if (verb != OLEIVERB_INPLACEACTIVATE && verb != OLEIVERB_UIACTIVATE)
            return S_OK;
        if (m_inPlaceSite)
            return S_OK;  // already active
        if (!site)
            return E_INVALIDARG;
        IOleInPlaceSiteWindowless* windowless = nullptr;
        IOleInPlaceSite* inPlace = nullptr;
        if (!m_noWindowless
            && SUCCEEDED(site->QueryInterface(IID_IOleInPlaceSiteWindowless, reinterpret_cast<void**>(&windowless)))
            && windowless->CanWindowlessActivate() == S_OK) {
            BOOL noRedraw = FALSE;
            const HRESULT hr = windowless->OnInPlaceActivateEx(&noRedraw, ACTIVATE_WINDOWLESS);
            Journal(std::string("OnInPlaceActivateEx windowless ") + (SUCCEEDED(hr) ? "ok" : "failed"));
            m_inPlaceSite = windowless;
            m_windowless = true;
        } else {
            if (windowless)
                windowless->Release();
            if (FAILED(site->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&inPlace))))
                return E_NOINTERFACE;
            const HRESULT hr = inPlace->OnInPlaceActivate();
            Journal(std::string("OnInPlaceActivate windowed ") + (SUCCEEDED(hr) ? "ok" : "failed"));
            m_inPlaceSite = inPlace;
            m_windowless = false;
        }
        HWND window = nullptr;
        m_inPlaceSite->GetWindow(&window);
        IOleInPlaceFrame* frame = nullptr;
        IOleInPlaceUIWindow* document = nullptr;
        RECT position = {}, clip = {};
        OLEINPLACEFRAMEINFO info = {};
        info.cb = sizeof info;
        const HRESULT context = m_inPlaceSite->GetWindowContext(&frame, &document, &position, &clip, &info);
        HWND frameWindow = nullptr;
        if (frame)
            frame->GetWindow(&frameWindow);
        Journal("GetWindowContext " + std::string(SUCCEEDED(context) ? "ok" : "failed") + " cb=" +
                std::to_string(info.cb) + " accel=" + std::to_string(info.cAccelEntries) +
                (frameWindow == window && window ? " frame=parent" : " frame=other"));
        if (frame)
            frame->Release();
        if (document)
            document->Release();
        return S_OK;
    }
    STDMETHODIMP EnumVerbs(IEnumOLEVERB**) override { return E_NOTIMPL; }
    STDMETHODIMP Update() override { return S_OK; }
    STDMETHODIMP IsUpToDate() override { return S_OK; }
    STDMETHODIMP GetUserClassID(CLSID* out) override
    {
        if (!out)
            return E_POINTER;
        *out = kClassId;
        return S_OK;
    }
    STDMETHODIMP GetUserType(DWORD, LPOLESTR*) override { return E_NOTIMPL; }
    STDMETHODIMP SetExtent(DWORD aspect, SIZEL* size) override
    {
        Journal("SetExtent " + std::to_string(aspect) + " " + (size ? std::to_string(size->cx) + " " + std::to_string(size->cy) : ""));
        return S_OK;
    }
    STDMETHODIMP GetExtent(DWORD, SIZEL*) override { return E_NOTIMPL; }
    STDMETHODIMP Advise(IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP Unadvise(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP EnumAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }
    STDMETHODIMP GetMiscStatus(DWORD aspect, DWORD* status) override
    {
        Journal("GetMiscStatus " + std::to_string(aspect));
        if (!status)
            return E_POINTER;
        *status = OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_INSIDEOUT | (m_siteFirst ? OLEMISC_SETCLIENTSITEFIRST : 0);
        return S_OK;
    }
    STDMETHODIMP SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

    // IOleControl
    STDMETHODIMP GetControlInfo(CONTROLINFO*) override { return E_NOTIMPL; }
    STDMETHODIMP OnMnemonic(MSG*) override { return E_NOTIMPL; }
    STDMETHODIMP OnAmbientPropertyChange(DISPID) override { return S_OK; }
    STDMETHODIMP FreezeEvents(BOOL) override { return S_OK; }

    // IPersistStreamInit
    STDMETHODIMP GetClassID(CLSID* out) override { return GetUserClassID(out); }
    STDMETHODIMP IsDirty() override { return S_FALSE; }
    STDMETHODIMP Load(LPSTREAM) override { return E_NOTIMPL; }
    STDMETHODIMP Save(LPSTREAM, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP GetSizeMax(ULARGE_INTEGER*) override { return E_NOTIMPL; }
    STDMETHODIMP InitNew() override
    {
        Journal(m_failInitNew ? "InitNew failed" : "InitNew");
        return m_failInitNew ? E_FAIL : S_OK;
    }

    // IViewObject, IViewObject2, IViewObjectEx
    STDMETHODIMP Draw(DWORD aspect, LONG index, void*, DVTARGETDEVICE*, HDC, HDC dc, LPCRECTL bounds, LPCRECTL,
                      BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) override
    {
        RECT box = bounds ? RECT{bounds->left, bounds->top, bounds->right, bounds->bottom} : RECT{};
        Journal("Draw " + std::to_string(aspect) + " " + std::to_string(index) + " " + RectText(bounds ? &box : nullptr));
        if (!dc || !bounds)
            return E_INVALIDARG;
        EnterCriticalSection(&m_lock);
        const int frame = CurrentFrameLocked();
        MovieFrame shown = {};
        const bool has = frame >= 0 && size_t(frame) < m_frames.size();
        if (has)
            shown = m_frames[size_t(frame)];
        LeaveCriticalSection(&m_lock);
        if (!has)
            return S_OK;
        RECT area = {box.left + shown.left, box.top + shown.top, box.left + shown.left + shown.width,
                     box.top + shown.top + shown.height};
        RECT clipped;
        if (IntersectRect(&clipped, &area, &box)) {
            HBRUSH brush = CreateSolidBrush(shown.colour);
            FillRect(dc, &clipped, brush);
            DeleteObject(brush);
        }
        return S_OK;
    }
    STDMETHODIMP GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE**) override { return E_NOTIMPL; }
    STDMETHODIMP Freeze(DWORD, LONG, void*, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP Unfreeze(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP SetAdvise(DWORD, DWORD, IAdviseSink*) override { return S_OK; }
    STDMETHODIMP GetAdvise(DWORD*, DWORD*, IAdviseSink**) override { return E_NOTIMPL; }
    STDMETHODIMP GetExtent(DWORD, LONG, DVTARGETDEVICE*, LPSIZEL) override { return E_NOTIMPL; }
    STDMETHODIMP GetRect(DWORD, LPRECTL) override { return E_NOTIMPL; }
    STDMETHODIMP GetViewStatus(DWORD* status) override
    {
        if (status)
            *status = VIEWSTATUS_OPAQUE;
        return S_OK;
    }
    STDMETHODIMP QueryHitPoint(DWORD, LPCRECT, POINT, LONG, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryHitRect(DWORD, LPCRECT, LPCRECT, LONG, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP GetNaturalExtent(DWORD, LONG, DVTARGETDEVICE*, HDC, DVEXTENTINFO*, LPSIZEL) override
    {
        return E_NOTIMPL;
    }

    // IOleWindow, IOleInPlaceObject, IOleInPlaceObjectWindowless
    STDMETHODIMP GetWindow(HWND* out) override
    {
        if (out)
            *out = nullptr;
        return E_FAIL;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return S_OK; }
    STDMETHODIMP InPlaceDeactivate() override
    {
        DeactivateInPlace();
        return S_OK;
    }
    STDMETHODIMP UIDeactivate() override { return S_OK; }
    STDMETHODIMP SetObjectRects(LPCRECT position, LPCRECT) override
    {
        Journal("SetObjectRects " + RectText(position));
        return S_OK;
    }
    STDMETHODIMP ReactivateAndUndo() override { return E_NOTIMPL; }
    STDMETHODIMP OnWindowMessage(UINT, WPARAM, LPARAM, LRESULT*) override { return S_FALSE; }
    STDMETHODIMP GetDropTarget(IDropTarget**) override { return E_NOTIMPL; }

    // IObjectWithSite
    STDMETHODIMP SetSite(IUnknown* site) override
    {
        Journal(site ? "SetSite set" : "SetSite null");
        if (site)
            site->AddRef();
        if (m_site)
            m_site->Release();
        m_site = site;
        return S_OK;
    }
    STDMETHODIMP GetSite(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        return m_site ? m_site->QueryInterface(iid, out) : E_FAIL;
    }

    // IDispatch: the control's members by name
    STDMETHODIMP GetTypeInfoCount(UINT* count) override
    {
        if (count)
            *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override
    {
        if (!names || !ids || count != 1)
            return E_INVALIDARG;
        for (const auto& entry : kNames) {
            if (_wcsicmp(entry.name, names[0]) == 0) {
                ids[0] = entry.id;
                return S_OK;
            }
        }
        Journal("unknown name " + Narrow(names[0]));
        ids[0] = DISPID_UNKNOWN;
        return DISP_E_UNKNOWNNAME;
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                        UINT*) override
    {
        const UINT count = params ? params->cArgs : 0;
        const VARIANT* argument = count > 0 ? &params->rgvarg[0] : nullptr;
        const bool put = (flags & DISPATCH_PROPERTYPUT) != 0;
        EnterCriticalSection(&m_lock);
        HRESULT hr = S_OK;
        switch (id) {
        case kMovie:
            if (put && argument) {
                Journal("put Movie " + VariantText(*argument));
                LoadMovieLocked(*argument);
            } else {
                hr = DISP_E_MEMBERNOTFOUND;
            }
            break;
        case kWMode:
        case kBackgroundColor:
        case kQuality2:
            if (put && argument)
                Journal(std::string("put ") + (id == kWMode ? "WMode " : id == kQuality2 ? "Quality2 " : "BackgroundColor ") +
                        VariantText(*argument));
            else
                hr = DISP_E_MEMBERNOTFOUND;
            break;
        case kLoop:
            if (put && argument) {
                VARIANT value;
                VariantInit(&value);
                VariantChangeType(&value, const_cast<VARIANT*>(argument), 0, VT_BOOL);
                m_loop = value.boolVal != VARIANT_FALSE;
                Journal(std::string("put Loop ") + (m_loop ? "true" : "false"));
            } else {
                hr = DISP_E_MEMBERNOTFOUND;
            }
            break;
        case kTotalFrames:
            Journal("get TotalFrames " + std::to_string(m_frames.size()));
            SetLong(result, long(m_frames.size()));
            break;
        case kCurrentFrame:
            SetLong(result, CurrentFrameLocked());
            break;
        case kGotoFrame: {
            VARIANT value;
            VariantInit(&value);
            long frame = 0;
            if (argument && SUCCEEDED(VariantChangeType(&value, const_cast<VARIANT*>(argument), 0, VT_I4)))
                frame = value.lVal;
            Journal("GotoFrame " + std::to_string(frame));
            const long last = long(m_frames.size()) - 1;
            m_frame = frame < 0 ? 0 : frame > last ? (last < 0 ? 0 : last) : frame;
            m_playing = false;
            break;
        }
        case kCallFunction:
            Journal("CallFunction " + (argument ? VariantText(*argument) : std::string()));
            if (result) {
                VariantInit(result);
                result->vt = VT_BSTR;
                result->bstrVal = SysAllocString(L"<string>ok</string>");
            }
            break;
        case kPlay:
            Journal("Play");
            if (!m_frames.empty())
                StartClockLocked(CurrentFrameLocked());
            break;
        case kStop:
            Journal("Stop");
            m_frame = CurrentFrameLocked();
            m_playing = false;
            break;
        case kRewind:
            Journal("Rewind");
            m_frame = 0;
            if (m_playing)
                StartClockLocked(0);
            break;
        case kIsPlaying: {
            CurrentFrameLocked();
            Journal(std::string("IsPlaying ") + (m_playing ? "true" : "false"));
            if (result) {
                VariantInit(result);
                result->vt = VT_BOOL;
                result->boolVal = m_playing ? VARIANT_TRUE : VARIANT_FALSE;
            }
            break;
        }
        case kFlashVersion:
            Journal("FlashVersion");
            SetLong(result, kVersion);
            break;
        case kDisableLocalSecurity:
            Journal("DisableLocalSecurity");
            break;
        default:
            hr = DISP_E_MEMBERNOTFOUND;
        }
        LeaveCriticalSection(&m_lock);
        return hr;
    }

private:
    ~Control()
    {
        Journal("destroy");
        if (m_inPlaceSite)
            m_inPlaceSite->Release();
        if (m_clientSite)
            m_clientSite->Release();
        if (m_site)
            m_site->Release();
        DeleteCriticalSection(&m_lock);
        InterlockedDecrement(&g_liveObjects);
    }

    static void SetLong(VARIANT* result, long value)
    {
        if (!result)
            return;
        VariantInit(result);
        result->vt = VT_I4;
        result->lVal = value;
    }

    void DeactivateInPlace()
    {
        IOleInPlaceSite* site = m_inPlaceSite;
        m_inPlaceSite = nullptr;
        if (!site)
            return;
        IOleInPlaceSiteEx* ex = nullptr;
        if (m_windowless && SUCCEEDED(site->QueryInterface(IID_IOleInPlaceSiteEx, reinterpret_cast<void**>(&ex)))) {
            ex->OnInPlaceDeactivateEx(TRUE);
            ex->Release();
        } else {
            site->OnInPlaceDeactivate();
        }
        site->Release();
    }

    void LoadMovieLocked(const VARIANT& path)
    {
        m_frames.clear();
        m_playing = false;
        m_frame = 0;
        if (path.vt != VT_BSTR || !path.bstrVal)
            return;
        FILE* file = _wfopen(path.bstrVal, L"rb");
        if (!file)
            return;
        char line[256];
        bool isMovie = false;
        int declared = 0;
        while (fgets(line, sizeof line, file)) {
            int a, b, c, d;
            unsigned colour;
            if (strncmp(line, "tqflash", 7) == 0)
                isMovie = true;
            else if (sscanf(line, "frames %d", &a) == 1)
                declared = a;
            else if (sscanf(line, "rate %d", &a) == 1)
                m_rate = a > 0 ? a : 1;
            else if (sscanf(line, "rect %d %d %d %d %x", &a, &b, &c, &d, &colour) == 5)
                m_frames.push_back({a, b, c, d, RGB((colour >> 16) & 255, (colour >> 8) & 255, colour & 255)});
        }
        fclose(file);
        if (!isMovie || declared != int(m_frames.size())) {
            m_frames.clear();
            return;
        }
        StartClockLocked(0);  // a movie plays from its first frame once loaded
    }

    void StartClockLocked(int frame)
    {
        m_frame = frame;
        m_startMs = NowMs();
        m_playing = true;
    }

    // The frame the play clock stands on; a movie that is not looping stops on its last frame.
    int CurrentFrameLocked()
    {
        if (!m_playing || m_frames.empty())
            return m_frame;
        const int64_t advanced = (NowMs() - m_startMs) * m_rate / 1000;
        const int64_t total = int64_t(m_frames.size());
        int64_t frame = m_frame + advanced;
        if (frame >= total) {
            if (m_loop) {
                frame %= total;
            } else {
                m_frame = int(total - 1);
                m_playing = false;
                return m_frame;
            }
        }
        return int(frame);
    }

    LONG m_references = 1;
    CRITICAL_SECTION m_lock;
    bool m_siteFirst, m_failInitNew, m_noPersist, m_noWindowless;
    IOleClientSite* m_clientSite = nullptr;
    IOleInPlaceSite* m_inPlaceSite = nullptr;
    IUnknown* m_site = nullptr;
    bool m_windowless = true;
    std::vector<MovieFrame> m_frames;
    int m_rate = 10;
    int m_frame = 0;
    int64_t m_startMs = 0;
    bool m_playing = false;
    bool m_loop = true;
};

class Factory final : public IClassFactory {
public:
    Factory() { InterlockedIncrement(&g_liveObjects); }
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *out = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ULONG(InterlockedIncrement(&m_references)); }
    STDMETHODIMP_(ULONG) Release() override
    {
        const LONG left = InterlockedDecrement(&m_references);
        if (left == 0)
            delete this;
        return ULONG(left);
    }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        Control* control = new (std::nothrow) Control;
        if (!control)
            return E_OUTOFMEMORY;
        const HRESULT hr = control->QueryInterface(iid, out);
        control->Release();
        return hr;
    }
    STDMETHODIMP LockServer(BOOL lock) override
    {
        if (lock)
            InterlockedIncrement(&g_locks);
        else
            InterlockedDecrement(&g_locks);
        return S_OK;
    }

private:
    ~Factory() { InterlockedDecrement(&g_liveObjects); }
    LONG m_references = 1;
};

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*)
{
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        InitializeCriticalSection(&g_journalLock);
        DisableThreadLibraryCalls(instance);
        Journal("load");
    } else if (reason == DLL_PROCESS_DETACH) {
        Journal("unload live=" + std::to_string(g_liveObjects));
        DeleteCriticalSection(&g_journalLock);
    }
    return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID id, REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!IsEqualCLSID(id, kClassId))
        return CLASS_E_CLASSNOTAVAILABLE;
    Factory* factory = new (std::nothrow) Factory;
    if (!factory)
        return E_OUTOFMEMORY;
    const HRESULT hr = factory->QueryInterface(iid, out);
    factory->Release();
    return hr;
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow()
{
    return g_liveObjects == 0 && g_locks == 0 ? S_OK : S_FALSE;
}

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(g_module, path, MAX_PATH);
    HKEY key = nullptr;
    const std::wstring server = std::wstring(kClassKey) + L"\\InprocServer32";
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, server.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr))
        return SELFREG_E_CLASS;
    const wchar_t model[] = L"Apartment";
    LONG failed = RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path),
                                 DWORD((wcslen(path) + 1) * sizeof(wchar_t)));
    failed |= RegSetValueExW(key, L"ThreadingModel", 0, REG_SZ, reinterpret_cast<const BYTE*>(model), sizeof model);
    RegCloseKey(key);
    return failed ? SELFREG_E_CLASS : S_OK;
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer()
{
    const std::wstring server = std::wstring(kClassKey) + L"\\InprocServer32";
    RegDeleteKeyW(HKEY_CLASSES_ROOT, server.c_str());
    RegDeleteKeyW(HKEY_CLASSES_ROOT, kClassKey);
    return S_OK;
}

// Objects of this library still alive (controls and class factories).
extern "C" LONG STDAPICALLTYPE TestFlashLiveObjects()
{
    return g_liveObjects;
}
