#include "SonvexMgr.h"

#include "ComPtr.h"
#include "EngineLog.h"
#include "FrameProtocol.h"
#include "MusicMessages.h"
#include "ShareHandle.h"

#include <dshow.h>

class CSonvexMgrOper : public tq::CMessageWindow {
public:
    explicit CSonvexMgrOper(CSonvexMgr& owner) : m_owner(owner) { CreateMessageWindow(MessageOnly); }
    ~CSonvexMgrOper() override { DestroyMessageWindow(); }

protected:
    bool OnWindowMessage(UINT message, WPARAM, LPARAM, LRESULT* result) override
    {
        if (message != WM_AUDIODEV_ENUM)
            return false;
        OnGetAudioFilter();
        *result = 0;
        return true;
    }

private:
    void OnGetAudioFilter()
    {
        std::vector<std::string> devices;
        {
            tq::CMutexLock graphWork(tq::GetProcessMutex().Get());
            devices = EnumerateAudioRenderers();
        }
        m_owner.SetDeviceList(devices);
        m_owner.PostToPublic(WM_AUDIODEV_LIST);
    }

    tq::CComInit m_com;  // before the window: the worker's COM lives as long as it does
    CSonvexMgr& m_owner;
};

std::vector<std::string> EnumerateAudioRenderers()
{
    std::vector<std::string> names;
    names.reserve(20);
    tq::ComPtr<ICreateDevEnum> devices;
    if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                                devices.ReceiveVoid())))
        return names;
    tq::ComPtr<IEnumMoniker> monikers;
    if (devices->CreateClassEnumerator(CLSID_AudioRendererCategory, monikers.Receive(), 0) != S_OK || !monikers)
        return names;
    for (;;) {
        tq::ComPtr<IMoniker> moniker;
        if (monikers->Next(1, moniker.Receive(), nullptr) != S_OK)
            break;
        tq::ComPtr<IPropertyBag> bag;
        if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.ReceiveVoid())) || !bag)
            continue;
        VARIANT value;
        VariantInit(&value);
        if (SUCCEEDED(bag->Read(L"FriendlyName", &value, nullptr)) && value.vt == VT_BSTR && value.bstrVal) {
            char name[1024] = {};
            WideCharToMultiByte(CP_ACP, 0, value.bstrVal, -1, name, sizeof name - 1, nullptr, nullptr);
            if (strcmp(name, "Default DirectSound Device") == 0)
                names.insert(names.begin(), name);
            else
                names.push_back(name);
            WriteLog(kLogInfo, "OnGetAudioFilter name %s", name);
        }
        VariantClear(&value);
    }
    return names;
}

HWND CSonvexMgr::Body::CreateOper()
{
    m_owner.m_oper = new CSonvexMgrOper(m_owner);
    return m_owner.m_oper->Hwnd();
}

void CSonvexMgr::Body::DestroyOper()
{
    delete m_owner.m_oper;
    m_owner.m_oper = nullptr;
}

CSonvexMgr::CSonvexMgr()
{
    m_devices.reserve(20);
    m_window.CreateMessageWindow(tq::CMessageWindow::HiddenPopup);
    // The worker exists when Start returns, so the first enumeration is never dropped.
    m_worker.Start(&m_body);
    m_worker.Post(WM_AUDIODEV_ENUM);
}

CSonvexMgr::~CSonvexMgr()
{
    m_worker.Quit();
    m_window.DestroyMessageWindow();
}

void CSonvexMgr::Quit()
{
    m_worker.Quit();
}

void CSonvexMgr::SetListener(IAudioDeviceListener* listener)
{
    tq::CCritSecLock lock(m_lock);
    m_listener = listener;
}

void CSonvexMgr::SetOutputDevice(const char* name)
{
    tq::CCritSecLock lock(m_lock);
    m_outputDevice = name ? name : "";
    WriteLog(kLogInfo, "CSonvexMgr::SetOutputDevice : %s", m_outputDevice.c_str());
}

std::string CSonvexMgr::GetOutputDevice()
{
    tq::CCritSecLock lock(m_lock);
    return m_outputDevice;
}

void CSonvexMgr::SetDeviceList(const std::vector<std::string>& devices)
{
    tq::CCritSecLock lock(m_lock);
    m_devices = devices;
}

std::vector<std::string> CSonvexMgr::GetDeviceList()
{
    tq::CCritSecLock lock(m_lock);
    return m_devices;
}

bool CSonvexMgr::Window::OnWindowMessage(UINT message, WPARAM, LPARAM, LRESULT* result)
{
    if (message != WM_AUDIODEV_LIST)
        return false;
    IAudioDeviceListener* listener = nullptr;
    std::vector<std::string> devices;
    {
        tq::CCritSecLock lock(m_owner.m_lock);
        devices = m_owner.m_devices;
        listener = m_owner.m_listener;
    }
    if (listener)
        listener->OnAudioDeviceList(devices);
    *result = 0;
    return true;
}
