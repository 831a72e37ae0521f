#include "GraphHelpers.h"
#include "ComPtr.h"
#include "CritSec.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>
#include <vector>

namespace tq {

IPin* GetPin(IBaseFilter* filter, PIN_DIRECTION direction, int index)
{
    ComPtr<IEnumPins> pins;
    if (!filter || FAILED(filter->EnumPins(pins.Receive())) || !pins)
        return nullptr;
    IPin* pin = nullptr;
    while (pins->Next(1, &pin, nullptr) == S_OK) {
        PIN_DIRECTION dir;
        if (SUCCEEDED(pin->QueryDirection(&dir)) && dir == direction) {
            if (index == 0)
                return pin;
            --index;
        }
        pin->Release();
    }
    return nullptr;
}

IPin* GetInputPin(IBaseFilter* filter, int index) { return GetPin(filter, PINDIR_INPUT, index); }
IPin* GetOutputPin(IBaseFilter* filter, int index) { return GetPin(filter, PINDIR_OUTPUT, index); }

IPin* FindPinByName(IBaseFilter* filter, const wchar_t* name)
{
    ComPtr<IEnumPins> pins;
    if (!filter || FAILED(filter->EnumPins(pins.Receive())) || !pins) {
        printf("Can't enumerate pins.");
        return nullptr;
    }
    IPin* pin = nullptr;
    while (pins->Next(1, &pin, nullptr) == S_OK) {
        PIN_INFO info = {};
        if (SUCCEEDED(pin->QueryPinInfo(&info))) {
            if (info.pFilter)
                info.pFilter->Release();
            if (_wcsicmp(info.achName, name) == 0)
                return pin;
        }
        pin->Release();
    }
    return nullptr;
}

bool PinHasMajorType(IPin* pin, const GUID& majorType)
{
    ComPtr<IEnumMediaTypes> types;
    if (!pin || FAILED(pin->EnumMediaTypes(types.Receive())) || !types)
        return false;
    AM_MEDIA_TYPE* type = nullptr;
    bool found = false;
    while (!found && types->Next(1, &type, nullptr) == S_OK) {
        found = type->majortype == majorType;
        DeleteMediaType(type);
    }
    return found;
}

IPin* FindPinByMajorType(IBaseFilter* filter, const GUID& majorType)
{
    ComPtr<IEnumPins> pins;
    if (!filter || FAILED(filter->EnumPins(pins.Receive())) || !pins)
        return nullptr;
    IPin* pin = nullptr;
    while (pins->Next(1, &pin, nullptr) == S_OK) {
        if (PinHasMajorType(pin, majorType))
            return pin;
        pin->Release();
    }
    return nullptr;
}

bool HasVideoCapturePin(IBaseFilter* filter)
{
    ComPtr<IBaseFilter> owned;
    owned.Attach(filter);
    ComPtr<IEnumPins> pins;
    if (!filter || FAILED(filter->EnumPins(pins.Receive())) || !pins)
        return false;
    IPin* pin = nullptr;
    while (pins->Next(1, &pin, nullptr) == S_OK) {
        ComPtr<IPin> held;
        held.Attach(pin);
        ComPtr<IKsPropertySet> props;
        if (FAILED(pin->QueryInterface(IID_IKsPropertySet, props.ReceiveVoid())))
            continue;
        GUID category = GUID_NULL;
        DWORD returned = 0;
        if (SUCCEEDED(props->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category,
                                 sizeof category, &returned)) &&
            category == PIN_CATEGORY_CAPTURE && PinHasMajorType(pin, MEDIATYPE_Video))
            return true;
    }
    return false;
}

IBaseFilter* FindFilterByAnsiName(IFilterGraph* graph, const char* name)
{
    ComPtr<IEnumFilters> filters;
    if (!graph || FAILED(graph->EnumFilters(filters.Receive())) || !filters)
        return nullptr;
    IBaseFilter* filter = nullptr;
    while (filters->Next(1, &filter, nullptr) == S_OK) {
        FILTER_INFO info = {};
        if (SUCCEEDED(filter->QueryFilterInfo(&info))) {
            if (info.pGraph)
                info.pGraph->Release();
            if (WideToAnsiString(info.achName) == name)
                return filter;
        }
        filter->Release();
    }
    return nullptr;
}

void RemoveAllFilters(IFilterGraph* graph)
{
    if (!graph)
        return;
    for (;;) {
        ComPtr<IEnumFilters> filters;
        if (FAILED(graph->EnumFilters(filters.Receive())) || !filters)
            return;
        ComPtr<IBaseFilter> first;
        if (filters->Next(1, first.Receive(), nullptr) != S_OK)
            return;
        if (FAILED(graph->RemoveFilter(first.Get())))
            return;  // a filter that refuses removal would otherwise come first forever
    }
}

void FreeMediaType(AM_MEDIA_TYPE& type)
{
    if (type.cbFormat && type.pbFormat)
        CoTaskMemFree(type.pbFormat);
    type.cbFormat = 0;
    type.pbFormat = nullptr;
    if (type.pUnk) {
        type.pUnk->Release();
        type.pUnk = nullptr;
    }
}

void DeleteMediaType(AM_MEDIA_TYPE* type)
{
    if (type) {
        FreeMediaType(*type);
        CoTaskMemFree(type);
    }
}

std::wstring RotName(const void* graph, DWORD processId)
{
    wchar_t name[128];
    swprintf(name, 128, L"FilterGraph %08x pid %08x", static_cast<unsigned>(reinterpret_cast<uintptr_t>(graph)),
             static_cast<unsigned>(processId));
    return name;
}

HRESULT AddToRot(IUnknown* graph, DWORD* registration)
{
    ComPtr<IRunningObjectTable> rot;
    HRESULT hr = GetRunningObjectTable(0, rot.Receive());
    if (FAILED(hr))
        return hr;
    ComPtr<IMoniker> moniker;
    hr = CreateItemMoniker(L"!", RotName(graph, GetCurrentProcessId()).c_str(), moniker.Receive());
    if (SUCCEEDED(hr))
        hr = rot->Register(ROTFLAGS_REGISTRATIONKEEPSALIVE, graph, moniker.Get(), registration);
    return hr;
}

void RemoveFromRot(DWORD registration)
{
    ComPtr<IRunningObjectTable> rot;
    if (SUCCEEDED(GetRunningObjectTable(0, rot.Receive())))
        rot->Revoke(registration);
}

IBaseFilter* CreateAudioRendererByName(const char* deviceName)
{
    ComPtr<ICreateDevEnum> devices;
    if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                                devices.ReceiveVoid())))
        return nullptr;
    ComPtr<IEnumMoniker> monikers;
    if (devices->CreateClassEnumerator(CLSID_AudioRendererCategory, monikers.Receive(), 0) != S_OK || !monikers)
        return nullptr;
    ComPtr<IMoniker> moniker;
    while (monikers->Next(1, moniker.Receive(), nullptr) == S_OK) {
        ComPtr<IPropertyBag> bag;
        if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.ReceiveVoid())))
            continue;
        VARIANT name;
        VariantInit(&name);
        bool match = false;
        if (SUCCEEDED(bag->Read(L"FriendlyName", &name, nullptr)) && name.vt == VT_BSTR)
            match = WideToAnsiString(name.bstrVal) == deviceName;
        VariantClear(&name);
        if (match) {
            IBaseFilter* filter = nullptr;
            if (SUCCEEDED(moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(&filter))))
                return filter;
            return nullptr;
        }
    }
    return nullptr;
}

IBaseFilter* AddAudioRenderer(IGraphBuilder* graph, IPin* outputPin, const char* deviceName)
{
    IBaseFilter* renderer = CreateAudioRendererByName(deviceName);
    if (!renderer)
        return nullptr;
    graph->AddFilter(renderer, L"Audio Filter Tq sorva");
    ComPtr<IPin> input;
    input.Attach(GetInputPin(renderer, 0));
    if (input)
        graph->Connect(outputPin, input.Get());
    return renderer;
}

bool GuidEquals(const void* a, const void* b)
{
    return memcmp(a, b, 16) == 0;
}

namespace {

bool IsMissingClass(HRESULT hr)
{
    return hr == REGDB_E_CLASSNOTREG || hr == CLASS_E_CLASSNOTAVAILABLE || hr == CO_E_DLLNOTFOUND ||
           hr == HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
}

struct ClassKey {
    CLSID clsid;
    DWORD context;
    bool operator<(const ClassKey& other) const
    {
        const int order = memcmp(&clsid, &other.clsid, sizeof clsid);
        return order != 0 ? order < 0 : context < other.context;
    }
};

// The missing classes, forgotten whenever the registry's class keys change.
class MissingClasses {
public:
    MissingClasses()
    {
        const HKEY roots[2] = {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER};
        m_watching = true;
        for (int i = 0; i < 2; ++i) {
            // Every user has a class key; made here when one is missing, so a
            // class registered for this user later is noticed too.
            if (RegCreateKeyExW(roots[i], L"Software\\Classes", 0, nullptr, 0, KEY_NOTIFY, nullptr, &m_keys[i], nullptr) !=
                ERROR_SUCCESS)
                m_keys[i] = nullptr;
            m_changed[i] = CreateEventW(nullptr, FALSE, FALSE, nullptr);
            m_watching = Watch(i) && m_watching;
        }
    }
    // Lives until the process ends: nothing is torn down at exit.

    // The remembered answer for the class, or S_OK when there is none;
    // generation tells Remember whether the registry changed in between.
    HRESULT Find(const ClassKey& key, unsigned* generation = nullptr)
    {
        CCritSecLock lock(m_lock);
        ForgetOnChange();
        if (generation)
            *generation = m_generation;
        auto found = m_failed.find(key);
        return found == m_failed.end() ? S_OK : found->second;
    }

    void Remember(const ClassKey& key, HRESULT hr, unsigned generation)
    {
        CCritSecLock lock(m_lock);
        // Without a watch on the registry a remembered answer could go stale,
        // and so could one looked up before the last change.
        ForgetOnChange();
        if (m_watching && generation == m_generation)
            m_failed[key] = hr;
    }

    void Forget()
    {
        CCritSecLock lock(m_lock);
        m_failed.clear();
        ++m_generation;
    }

    ClassCreateFn create = nullptr;

private:
    bool Watch(int i)
    {
        const DWORD changes = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET;
        return m_keys[i] && m_changed[i] &&
               RegNotifyChangeKeyValue(m_keys[i], TRUE, changes, m_changed[i], TRUE) == ERROR_SUCCESS;
    }

    void ForgetOnChange()
    {
        // A notification also fires when the thread that asked for it ends;
        // that only costs one more lookup of each missing class.
        bool watching = m_watching;
        for (int i = 0; i < 2; ++i)
            if (m_changed[i] && WaitForSingleObject(m_changed[i], 0) == WAIT_OBJECT_0) {
                m_failed.clear();
                ++m_generation;
                watching = Watch(i) && watching;
            }
        m_watching = watching;
    }

    CCritSec m_lock;
    HKEY m_keys[2] = {nullptr, nullptr};
    HANDLE m_changed[2] = {nullptr, nullptr};
    bool m_watching = false;
    unsigned m_generation = 0;
    std::map<ClassKey, HRESULT> m_failed;
};

MissingClasses& TheMissingClasses()
{
    static MissingClasses* classes = new MissingClasses;
    return *classes;
}

} // namespace

HRESULT CreateInstanceOnce(const CLSID& clsid, DWORD context, const IID& iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    MissingClasses& classes = TheMissingClasses();
    const ClassKey key = {clsid, context};
    unsigned generation = 0;
    HRESULT hr = classes.Find(key, &generation);
    if (FAILED(hr))
        return hr;
    hr = classes.create ? classes.create(clsid, nullptr, context, iid, out)
                        : CoCreateInstance(clsid, nullptr, context, iid, out);
    if (IsMissingClass(hr))
        classes.Remember(key, hr, generation);
    return hr;
}

HRESULT RememberedClassFailure(const CLSID& clsid, DWORD context)
{
    return TheMissingClasses().Find({clsid, context});
}

void SetClassCreateFunctionForTest(ClassCreateFn create)
{
    TheMissingClasses().create = create;
}

void ForgetMissingClassesForTest()
{
    TheMissingClasses().Forget();
}

long long GetFileSize64(const char* path)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return -1;
    LARGE_INTEGER size;
    const bool ok = GetFileSizeEx(file, &size);
    CloseHandle(file);
    return ok ? size.QuadPart : -1;
}

bool IsWindowsVistaOrLater()
{
    OSVERSIONINFOEXW info = {};
    info.dwOSVersionInfoSize = sizeof info;
    if (!GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info))) {
        info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOW);
        if (!GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info)))
            return false;
    }
    return info.dwMajorVersion > 5;
}

std::string GetLowerExtension(const std::string& name)
{
    const size_t dot = name.find_last_of('.');
    std::string ext = dot == std::string::npos ? name : name.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(tolower(c)); });
    return ext;
}

std::string WideToAnsiString(const wchar_t* text)
{
    if (!text)
        return std::string();
    const int size = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1)
        return std::string();
    std::string out(size - 1, '\0');
    WideCharToMultiByte(CP_ACP, 0, text, -1, &out[0], size, nullptr, nullptr);
    return out;
}

} // namespace tq
