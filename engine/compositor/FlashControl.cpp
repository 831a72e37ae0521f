#include "FlashControl.h"
#include "FlashSite.h"

#include <ocidl.h>
#include <shlobj.h>

#include <string>

const CLSID kFlashControlClassId = {0xD27CDB6E, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const IID kShockwaveFlashIid = {0xD27CDB6C, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const wchar_t kFlashClassIdText[] = L"{D27CDB6E-AE6D-11CF-96B8-444553540000}";

namespace {
const wchar_t kHostName[] = L"TqVirtualCamActiveX";
const wchar_t kCallTemplate[] =
    L"<invoke name=\"Func1\" returntype=\"xml\"><arguments><string>param</string></arguments></invoke>";

template <class T>
void ReleaseInterface(T*& p)
{
    if (p) {
        T* held = p;
        p = nullptr;
        held->Release();
    }
}

std::wstring Widen(const std::string& text)
{
    if (text.empty())
        return std::wstring();
    const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring wide(size_t(length > 0 ? length : 0), L'\0');
    if (length > 0)
        MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), &wide[0], length);
    return wide;
}

VARIANT StringVariant(const wchar_t* text)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(text);
    return v;
}

VARIANT LongVariant(long value)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = value;
    return v;
}

VARIANT BoolVariant(bool value)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BOOL;
    v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
}
}

std::wstring FlashFolder()
{
    wchar_t appData[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, appData)))
        return std::wstring();
    return std::wstring(appData) + L"\\brenlo\\tqsorva\\flashplayer\\";
}

std::wstring FlashLibraryFromIni()
{
    const std::wstring folder = FlashFolder();
    if (folder.empty())
        return std::wstring();
    wchar_t name[257] = {};
    GetPrivateProfileStringW(L"FlashPlayer", L"filename", L"", name, 256, (folder + L"install.ini").c_str());
    return name;
}

std::wstring FlashCallText(const std::string& params)
{
    // The parameter is text inside an XML element: markup characters are escaped.
    std::wstring escaped;
    for (wchar_t c : Widen(params)) {
        switch (c) {
        case L'&': escaped += L"&amp;"; break;
        case L'<': escaped += L"&lt;"; break;
        case L'>': escaped += L"&gt;"; break;
        case L'"': escaped += L"&quot;"; break;
        case L'\'': escaped += L"&apos;"; break;
        default: escaped += c;
        }
    }
    std::wstring text = kCallTemplate;
    text.replace(57, 5, escaped);  // the word param
    return text;
}

CFlashControl::CFlashControl()
{
    m_quality = SysAllocString(L"Medium");
}

CFlashControl::~CFlashControl()
{
    ReleaseControl();
    SysFreeString(m_movie);
    SysFreeString(m_name);
    SysFreeString(m_quality);
    if (m_library)
        FreeLibrary(m_library);
}

bool CFlashControl::SetProperty(const wchar_t* name, const wchar_t* value)
{
    if (!name || !value || lstrcmpiW(name, L"clsid") != 0)
        return false;
    CLSID id = {};
    const HRESULT hr = value[0] == L'{' ? CLSIDFromString(const_cast<LPOLESTR>(value), &id)
                                        : CLSIDFromProgID(value, &id);
    if (FAILED(hr) || IsEqualGUID(id, GUID_NULL))
        return false;
    m_classId = id;
    return true;
}

void CFlashControl::SetMovie(const wchar_t* movie)
{
    SysFreeString(m_movie);
    m_movie = SysAllocString(movie ? movie : L"");
}

void CFlashControl::SetName(const wchar_t* name)
{
    SysFreeString(m_name);
    m_name = SysAllocString(name ? name : L"");
}

IUnknown* CFlashControl::CreateControl()
{
    if (!m_libraryLookedUp) {
        m_libraryLookedUp = true;
        const std::wstring file = FlashLibraryFromIni();
        if (!file.empty())
            m_library = LoadLibraryW((FlashFolder() + file).c_str());
    }
    IUnknown* control = nullptr;
    if (m_library) {
        typedef HRESULT(STDAPICALLTYPE * GetClassObjectFn)(REFCLSID, REFIID, void**);
        auto getClassObject = reinterpret_cast<GetClassObjectFn>(GetProcAddress(m_library, "DllGetClassObject"));
        IClassFactory* factory = nullptr;
        if (getClassObject && SUCCEEDED(getClassObject(m_classId, IID_IClassFactory, reinterpret_cast<void**>(&factory)))
            && factory) {
            if (FAILED(factory->CreateInstance(nullptr, IID_IOleControl, reinterpret_cast<void**>(&control))))
                control = nullptr;
            factory->Release();
        }
    }
    if (!control && FAILED(CoCreateInstance(m_classId, nullptr, CLSCTX_ALL, IID_IOleControl,
                                            reinterpret_cast<void**>(&control))))
        control = nullptr;
    return control;
}

bool CFlashControl::GetFlashInterface()
{
    ReleaseInterface(m_flash);
    return m_object && SUCCEEDED(m_object->QueryInterface(kShockwaveFlashIid, reinterpret_cast<void**>(&m_flash)))
           && m_flash;
}

bool CFlashControl::Activate(const std::string& params, StartMode mode)
{
    ReleaseControl();
    IUnknown* control = CreateControl();
    if (!control)
        return false;
    const HRESULT asObject = control->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&m_object));
    control->Release();
    if (FAILED(asObject) || !m_object) {
        m_object = nullptr;
        return false;
    }

    m_site = new CFlashSite(this);
    m_miscStatus = 0;
    m_object->GetMiscStatus(DVASPECT_CONTENT, &m_miscStatus);
    const bool siteFirst = (m_miscStatus & OLEMISC_SETCLIENTSITEFIRST) != 0;
    if (siteFirst)
        m_object->SetClientSite(m_site);
    IPersistStreamInit* persist = nullptr;
    if (SUCCEEDED(m_object->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(&persist))) && persist) {
        const HRESULT initialised = persist->InitNew();
        persist->Release();
        if (FAILED(initialised)) {
            ReleaseControl();
            return false;
        }
    }
    if (!siteFirst)
        m_object->SetClientSite(m_site);

    m_site->SetView(m_object);
    m_object->SetHostNames(kHostName, nullptr);

    if (GetFlashInterface()) {
        Invoke(L"DisableLocalSecurity", DISPATCH_METHOD, nullptr, 0, nullptr);
        VARIANT wmode = StringVariant(L"Transparent");
        PutProperty(L"WMode", wmode);
        VariantClear(&wmode);
        PutProperty(L"BackgroundColor", LongVariant(-1));
        VARIANT movie = StringVariant(m_movie ? m_movie : L"");
        PutProperty(L"Movie", movie);
        VariantClear(&movie);
        VARIANT quality = StringVariant(m_quality);
        PutProperty(L"Quality2", quality);
        VariantClear(&quality);
        VARIANT total;
        VariantInit(&total);
        if (SUCCEEDED(Invoke(L"TotalFrames", DISPATCH_PROPERTYGET, nullptr, 0, &total))
            && SUCCEEDED(VariantChangeType(&total, &total, 0, VT_I4)))
            m_totalFrames = int(total.lVal);
        VariantClear(&total);
        PutProperty(L"Loop", BoolVariant(m_loop));
        if (mode == StartMode::MiddleFrame) {
            VARIANT frame = LongVariant(m_totalFrames <= 1 ? 1 : m_totalFrames / 2);
            Invoke(L"GotoFrame", DISPATCH_METHOD, &frame, 1, nullptr);
        }
        if (!params.empty()) {
            VARIANT call = StringVariant(FlashCallText(params).c_str());
            VARIANT answer;
            VariantInit(&answer);
            Invoke(L"CallFunction", DISPATCH_METHOD, &call, 1, &answer);
            VariantClear(&answer);  // not read
            VariantClear(&call);
        }
    }

    HRESULT shown = S_OK;
    if (!(m_miscStatus & OLEMISC_INVISIBLEATRUNTIME)) {
        m_rect = RECT{0, 0, m_width, m_height};
        shown = m_object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, m_site, 0, m_parent, &m_rect);
        if (m_parent)
            RedrawWindow(m_parent, &m_rect, nullptr, 0x507);
    }
    IObjectWithSite* withSite = nullptr;
    if (SUCCEEDED(m_object->QueryInterface(IID_IObjectWithSite, reinterpret_cast<void**>(&withSite))) && withSite) {
        withSite->SetSite(static_cast<IOleClientSite*>(m_site));
        withSite->Release();
    }
    m_activated = true;
    return SUCCEEDED(shown);
}

void CFlashControl::ReleaseControl()
{
    ReleaseInterface(m_flash);
    if (m_object) {
        IObjectWithSite* withSite = nullptr;
        if (SUCCEEDED(m_object->QueryInterface(IID_IObjectWithSite, reinterpret_cast<void**>(&withSite))) && withSite) {
            withSite->SetSite(nullptr);
            withSite->Release();
        }
        m_object->Close(OLECLOSE_NOSAVE);
        m_object->SetClientSite(nullptr);
        ReleaseInterface(m_object);
    }
    if (m_site) {
        m_site->Detach();
        m_site->Release();
        m_site = nullptr;
    }
    m_activated = false;
}

bool CFlashControl::Place(const RECT& rect, const std::string& params, StartMode mode)
{
    if (!m_activated)
        Activate(params, mode);
    if (!m_object || !m_site)
        return false;
    // The extent in HIMETRIC, from screen pixels.
    HDC screen = ::GetDC(nullptr);
    const int dpiX = GetDeviceCaps(screen, LOGPIXELSX), dpiY = GetDeviceCaps(screen, LOGPIXELSY);
    ::ReleaseDC(nullptr, screen);
    SIZEL extent = {MulDiv(rect.right - rect.left, 2540, dpiX > 0 ? dpiX : 96),
                    MulDiv(rect.bottom - rect.top, 2540, dpiY > 0 ? dpiY : 96)};
    m_rect = rect;
    m_object->SetExtent(DVASPECT_CONTENT, &extent);
    if (IOleInPlaceObject* inPlace = m_site->InPlaceObject()) {
        RECT objectRect = m_rect;
        if (!m_site->IsWindowless())
            OffsetRect(&objectRect, -objectRect.left, -objectRect.top);
        inPlace->SetObjectRects(&objectRect, &objectRect);
    }
    if (!m_site->IsWindowless() && m_site->WrapperWindow())
        MoveWindow(m_site->WrapperWindow(), m_rect.left, m_rect.top, m_rect.right - m_rect.left,
                   m_rect.bottom - m_rect.top, TRUE);
    return true;
}

HRESULT CFlashControl::Invoke(const wchar_t* name, WORD flags, VARIANT* arguments, UINT count, VARIANT* result)
{
    if (!m_flash)
        return E_NOINTERFACE;
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[1] = {const_cast<LPOLESTR>(name)};
    HRESULT hr = m_flash->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr))
        return hr;
    DISPID putId = DISPID_PROPERTYPUT;
    DISPPARAMS params = {arguments, flags == DISPATCH_PROPERTYPUT ? &putId : nullptr, count,
                         flags == DISPATCH_PROPERTYPUT ? 1u : 0u};
    return m_flash->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, nullptr, nullptr);
}

HRESULT CFlashControl::PutProperty(const wchar_t* name, VARIANT value)
{
    return Invoke(name, DISPATCH_PROPERTYPUT, &value, 1, nullptr);
}

bool CFlashControl::Rewind() { return SUCCEEDED(Invoke(L"Rewind", DISPATCH_METHOD, nullptr, 0, nullptr)); }
bool CFlashControl::Play() { return SUCCEEDED(Invoke(L"Play", DISPATCH_METHOD, nullptr, 0, nullptr)); }
bool CFlashControl::Stop() { return SUCCEEDED(Invoke(L"Stop", DISPATCH_METHOD, nullptr, 0, nullptr)); }

bool CFlashControl::IsPlaying()
{
    VARIANT answer;
    VariantInit(&answer);
    const HRESULT hr = Invoke(L"IsPlaying", DISPATCH_METHOD, nullptr, 0, &answer);
    const bool playing = SUCCEEDED(hr) && answer.vt == VT_BOOL && answer.boolVal == VARIANT_TRUE;
    VariantClear(&answer);
    return playing;
}

long CFlashControl::FlashVersion()
{
    VARIANT answer;
    VariantInit(&answer);
    long version = 0;
    if (SUCCEEDED(Invoke(L"FlashVersion", DISPATCH_METHOD, nullptr, 0, &answer))
        && SUCCEEDED(VariantChangeType(&answer, &answer, 0, VT_I4)))
        version = answer.lVal;
    VariantClear(&answer);
    return version;
}

bool CFlashControl::DrawTo(HDC dc)
{
    if (!m_site || !m_site->IsWindowless() || !m_site->View())
        return false;
    RECTL bounds = {m_rect.left, m_rect.top, m_rect.right, m_rect.bottom};
    return SUCCEEDED(m_site->View()->Draw(DVASPECT_TRANSPARENT, -1, nullptr, nullptr, nullptr, dc, &bounds,
                                          nullptr, nullptr, 0));
}

long CFlashControl::ProbeVersion()
{
    ReleaseControl();
    IUnknown* control = CreateControl();
    if (!control)
        return 0;
    long version = 0;
    if (SUCCEEDED(control->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&m_object))) && m_object
        && GetFlashInterface())
        version = FlashVersion();
    control->Release();
    ReleaseInterface(m_flash);
    ReleaseInterface(m_object);
    return version;
}
