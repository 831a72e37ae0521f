#include "FlashSite.h"
#include "FlashControl.h"

#include <new>

const wchar_t kFlashWindowClass[] = L"TqVirtualActiveXWnd";
const wchar_t kFlashWindowName[] = L"TqVirtualActiveX";

namespace {

template <class T>
void ReleaseInterface(T*& p)
{
    if (p) {
        T* held = p;
        p = nullptr;
        held->Release();
    }
}

// The in-place frame handed to the control: its window is the parent, every
// other request is accepted and ignored.
class CFlashFrame final : public IOleInPlaceFrame {
public:
    explicit CFlashFrame(HWND parent) : m_parent(parent) {}
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleWindow) || IsEqualIID(iid, IID_IOleInPlaceUIWindow)
            || IsEqualIID(iid, IID_IOleInPlaceFrame)) {
            *out = static_cast<IOleInPlaceFrame*>(this);
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
    STDMETHODIMP GetWindow(HWND* out) override
    {
        if (!out)
            return E_POINTER;
        *out = m_parent;
        return S_OK;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return S_OK; }
    STDMETHODIMP GetBorder(LPRECT) override { return S_OK; }
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
    STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return S_OK; }
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    STDMETHODIMP RemoveMenus(HMENU) override { return S_OK; }
    STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_OK; }

private:
    ~CFlashFrame() = default;
    LONG m_references = 1;
    HWND m_parent;
};

// The container's enumeration: the one control.
class CSingleEnum final : public IEnumUnknown {
public:
    explicit CSingleEnum(IUnknown* item) : m_item(item) { if (m_item) m_item->AddRef(); }
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IEnumUnknown)) {
            *out = static_cast<IEnumUnknown*>(this);
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
    STDMETHODIMP Next(ULONG count, IUnknown** items, ULONG* fetched) override
    {
        if (!items)
            return E_POINTER;
        ULONG given = 0;
        if (count > 0 && m_item && !m_done) {
            items[0] = m_item;
            m_item->AddRef();
            given = 1;
            m_done = true;
        }
        if (fetched)
            *fetched = given;
        return given == count ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG count) override
    {
        if (count > 0 && !m_done) {
            m_done = true;
            return count == 1 ? S_OK : S_FALSE;
        }
        return count == 0 ? S_OK : S_FALSE;
    }
    STDMETHODIMP Reset() override
    {
        m_done = false;
        return S_OK;
    }
    STDMETHODIMP Clone(IEnumUnknown** out) override
    {
        if (!out)
            return E_POINTER;
        CSingleEnum* copy = new (std::nothrow) CSingleEnum(m_item);
        if (!copy)
            return E_OUTOFMEMORY;
        copy->m_done = m_done;
        *out = copy;
        return S_OK;
    }

private:
    ~CSingleEnum() { if (m_item) m_item->Release(); }
    LONG m_references = 1;
    IUnknown* m_item;
    bool m_done = false;
};

LRESULT CALLBACK FlashWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* site = reinterpret_cast<CFlashSite*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
    case WM_NCCREATE: {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, LONG_PTR(create->lpCreateParams));
        break;
    }
    case WM_SETFOCUS:
        if (site)
            site->OnWindowFocus(true);
        return 0;
    case WM_KILLFOCUS:
        if (site)
            site->OnWindowFocus(false);
        return 0;
    case WM_PAINT:
        ValidateRect(window, nullptr);
        return 0;
    case WM_ERASEBKGND:
        if (site && site->View())
            return 1;
        break;
    case WM_MOUSEACTIVATE:
        if (site)
            site->OnWindowMouseActivate();
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

bool RegisterFlashWindowClass()
{
    WNDCLASSEXW wc = {sizeof wc};
    wc.lpfnWndProc = FlashWindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // the arrow
    wc.lpszClassName = kFlashWindowClass;
    return RegisterClassExW(&wc) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

} // namespace

CFlashSite::CFlashSite(CFlashControl* control) : m_control(control) {}

CFlashSite::~CFlashSite()
{
    Detach();
    if (m_accelerators)
        DestroyAcceleratorTable(m_accelerators);
}

HWND CFlashSite::Parent() const
{
    return m_control ? m_control->Parent() : nullptr;
}

RECT CFlashSite::ControlRect() const
{
    return m_control ? m_control->Rect() : RECT{};
}

void CFlashSite::Detach()
{
    ReleaseInterface(m_inPlace);
    ReleaseInterface(m_view);
    ReleaseInterface(m_objectSite);
    DestroyWrapperWindow();
    m_control = nullptr;
}

void CFlashSite::SetView(IUnknown* control)
{
    ReleaseInterface(m_view);
    if (!control)
        return;
    if (SUCCEEDED(control->QueryInterface(IID_IViewObjectEx, reinterpret_cast<void**>(&m_view))) && m_view)
        return;
    if (SUCCEEDED(control->QueryInterface(IID_IViewObject2, reinterpret_cast<void**>(&m_view))) && m_view)
        return;
    if (FAILED(control->QueryInterface(IID_IViewObject, reinterpret_cast<void**>(&m_view))))
        m_view = nullptr;
}

void CFlashSite::CreateWrapperWindow()
{
    if (m_window || !RegisterFlashWindowClass())
        return;
    m_window = CreateWindowExW(0, kFlashWindowClass, kFlashWindowName,
                               WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 0, 0, 0, Parent(),
                               nullptr, GetModuleHandleW(nullptr), this);
}

void CFlashSite::DestroyWrapperWindow()
{
    if (!m_window)
        return;
    SetWindowLongPtrW(m_window, GWLP_USERDATA, 0);
    DestroyWindow(m_window);
    m_window = nullptr;
}

void CFlashSite::OnWindowFocus(bool focused)
{
    m_focused = focused;
    if (focused && !m_uiActive && m_control && m_control->OleObject()) {
        RECT rect = ControlRect();
        m_control->OleObject()->DoVerb(OLEIVERB_UIACTIVATE, nullptr, this, 0, Parent(), &rect);
    }
}

void CFlashSite::OnWindowMouseActivate()
{
    if (!m_control || !m_control->OleObject() || m_uiActive || (m_control->MiscStatus() & OLEMISC_NOUIACTIVATE))
        return;
    RECT rect = ControlRect();
    m_control->OleObject()->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, this, 0, Parent(), &rect);
}

// ---- IUnknown ----

STDMETHODIMP CFlashSite::QueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleClientSite))
        *out = static_cast<IOleClientSite*>(this);
    else if (IsEqualIID(iid, IID_IOleInPlaceSiteWindowless) || IsEqualIID(iid, IID_IOleInPlaceSiteEx)
             || IsEqualIID(iid, IID_IOleInPlaceSite) || IsEqualIID(iid, IID_IOleWindow))
        *out = static_cast<IOleInPlaceSiteWindowless*>(this);
    else if (IsEqualIID(iid, IID_IOleControlSite))
        *out = static_cast<IOleControlSite*>(this);
    else if (IsEqualIID(iid, IID_IObjectWithSite))
        *out = static_cast<IObjectWithSite*>(this);
    else if (IsEqualIID(iid, IID_IOleContainer) || IsEqualIID(iid, IID_IParseDisplayName))
        *out = static_cast<IOleContainer*>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CFlashSite::AddRef() { return ULONG(InterlockedIncrement(&m_references)); }

STDMETHODIMP_(ULONG) CFlashSite::Release()
{
    const LONG left = InterlockedDecrement(&m_references);
    if (left == 0)
        delete this;
    return ULONG(left);
}

// ---- IOleClientSite ----

STDMETHODIMP CFlashSite::SaveObject() { return E_NOTIMPL; }
STDMETHODIMP CFlashSite::GetMoniker(DWORD, DWORD, IMoniker**) { return E_NOTIMPL; }

STDMETHODIMP CFlashSite::GetContainer(IOleContainer** out)
{
    if (!out)
        return E_POINTER;
    *out = static_cast<IOleContainer*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP CFlashSite::ShowObject()
{
    // Paints the control once into the parent window.
    if (!m_view)
        return S_OK;
    HWND parent = Parent();
    HDC dc = ::GetDC(parent);
    const RECT rect = ControlRect();
    RECTL bounds = {rect.left, rect.top, rect.right, rect.bottom};
    m_view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0);
    ::ReleaseDC(parent, dc);
    return S_OK;
}

STDMETHODIMP CFlashSite::OnShowWindow(BOOL) { return E_NOTIMPL; }
STDMETHODIMP CFlashSite::RequestNewObjectLayout() { return E_NOTIMPL; }

// ---- IOleInPlaceSiteWindowless and its bases ----

STDMETHODIMP CFlashSite::GetWindow(HWND* out)
{
    if (!out)
        return E_POINTER;
    if (!m_windowless && !m_window)
        CreateWrapperWindow();
    *out = Parent();
    return S_OK;
}

STDMETHODIMP CFlashSite::ContextSensitiveHelp(BOOL) { return S_OK; }
STDMETHODIMP CFlashSite::CanInPlaceActivate() { return S_OK; }
STDMETHODIMP CFlashSite::OnInPlaceActivate() { return OnInPlaceActivateEx(nullptr, 0); }

STDMETHODIMP CFlashSite::OnUIActivate()
{
    m_uiActive = true;
    return S_OK;
}

STDMETHODIMP CFlashSite::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT position,
                                          LPRECT clip, LPOLEINPLACEFRAMEINFO info)
{
    if (!frame || !document || !position || !clip || !info)
        return E_POINTER;
    *frame = new (std::nothrow) CFlashFrame(Parent());
    if (!*frame)
        return E_OUTOFMEMORY;
    *document = nullptr;
    *position = ControlRect();
    *clip = ControlRect();
    info->cb = 20;  // the structure's size on the 32-bit product
    info->fMDIApp = FALSE;
    info->hwndFrame = Parent();
    if (!m_accelerators) {
        ACCEL empty = {};
        m_accelerators = CreateAcceleratorTableW(&empty, 1);
    }
    info->haccel = m_accelerators;
    info->cAccelEntries = 1;
    return S_OK;
}

STDMETHODIMP CFlashSite::Scroll(SIZE) { return E_NOTIMPL; }

STDMETHODIMP CFlashSite::OnUIDeactivate(BOOL)
{
    m_uiActive = false;
    return S_OK;
}

STDMETHODIMP CFlashSite::OnInPlaceDeactivate() { return OnInPlaceDeactivateEx(TRUE); }
STDMETHODIMP CFlashSite::DiscardUndoState() { return E_NOTIMPL; }
STDMETHODIMP CFlashSite::DeactivateAndUndo() { return E_NOTIMPL; }
STDMETHODIMP CFlashSite::OnPosRectChange(LPCRECT) { return E_NOTIMPL; }

STDMETHODIMP CFlashSite::OnInPlaceActivateEx(BOOL*, DWORD flags)
{
    IOleObject* object = m_control ? m_control->OleObject() : nullptr;
    if (!object)
        return E_UNEXPECTED;
    OleLockRunning(object, TRUE, FALSE);
    ReleaseInterface(m_inPlace);
    HRESULT hr;
    if (flags & ACTIVATE_WINDOWLESS) {
        m_windowless = true;
        hr = object->QueryInterface(IID_IOleInPlaceObjectWindowless, reinterpret_cast<void**>(&m_inPlace));
    } else {
        m_windowless = false;
        CreateWrapperWindow();
        hr = object->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&m_inPlace));
    }
    if (FAILED(hr)) {
        m_inPlace = nullptr;
        return hr;
    }
    m_inPlaceActive = true;
    RECT rect = ControlRect();
    if (!m_windowless)
        OffsetRect(&rect, -rect.left, -rect.top);
    m_inPlace->SetObjectRects(&rect, &rect);
    return S_OK;
}

STDMETHODIMP CFlashSite::OnInPlaceDeactivateEx(BOOL)
{
    m_inPlaceActive = false;
    ReleaseInterface(m_inPlace);
    DestroyWrapperWindow();
    return S_OK;
}

STDMETHODIMP CFlashSite::RequestUIActivate() { return S_OK; }
STDMETHODIMP CFlashSite::CanWindowlessActivate() { return S_OK; }
STDMETHODIMP CFlashSite::GetCapture() { return m_captured ? S_OK : S_FALSE; }

STDMETHODIMP CFlashSite::SetCapture(BOOL capture)
{
    m_captured = capture != FALSE;
    if (capture)
        ::SetCapture(Parent());
    else
        ReleaseCapture();
    return S_OK;
}

STDMETHODIMP CFlashSite::GetFocus() { return m_focused ? S_OK : S_FALSE; }

STDMETHODIMP CFlashSite::SetFocus(BOOL focus)
{
    m_focused = focus != FALSE;
    if (focus)
        ::SetFocus(Parent());
    return S_OK;
}

// The control never paints on its own: it is drawn into the frames.
STDMETHODIMP CFlashSite::GetDC(LPCRECT, DWORD, HDC* out)
{
    if (out)
        *out = nullptr;
    return E_FAIL;
}

STDMETHODIMP CFlashSite::ReleaseDC(HDC dc)
{
    ::ReleaseDC(Parent(), dc);
    return S_OK;
}

STDMETHODIMP CFlashSite::InvalidateRect(LPCRECT rect, BOOL erase)
{
    ::InvalidateRect(Parent(), rect, erase);
    return S_OK;
}

STDMETHODIMP CFlashSite::InvalidateRgn(HRGN region, BOOL erase)
{
    ::InvalidateRgn(Parent(), region, erase);
    return S_OK;
}

STDMETHODIMP CFlashSite::ScrollRect(INT, INT, LPCRECT, LPCRECT) { return S_OK; }
STDMETHODIMP CFlashSite::AdjustRect(LPRECT) { return S_OK; }

STDMETHODIMP CFlashSite::OnDefWindowMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    const LRESULT answer = DefWindowProcW(Parent(), message, wParam, lParam);
    if (result)
        *result = answer;
    return S_OK;
}

// ---- IOleControlSite ----

STDMETHODIMP CFlashSite::OnControlInfoChanged() { return S_OK; }
STDMETHODIMP CFlashSite::LockInPlaceActive(BOOL) { return S_OK; }

STDMETHODIMP CFlashSite::GetExtendedControl(IDispatch** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    IOleObject* object = m_control ? m_control->OleObject() : nullptr;
    if (!object)
        return E_NOINTERFACE;
    return object->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(out));
}

STDMETHODIMP CFlashSite::TransformCoords(POINTL*, POINTF*, DWORD) { return S_OK; }
STDMETHODIMP CFlashSite::TranslateAccelerator(MSG*, DWORD) { return S_FALSE; }

STDMETHODIMP CFlashSite::OnFocus(BOOL gotFocus)
{
    m_focused = gotFocus != FALSE;
    return S_OK;
}

STDMETHODIMP CFlashSite::ShowPropertyFrame() { return E_NOTIMPL; }

// ---- IObjectWithSite ----

STDMETHODIMP CFlashSite::SetSite(IUnknown* site)
{
    if (site)
        site->AddRef();
    ReleaseInterface(m_objectSite);
    m_objectSite = site;
    return S_OK;
}

STDMETHODIMP CFlashSite::GetSite(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!m_objectSite)
        return E_FAIL;
    return m_objectSite->QueryInterface(iid, out);
}

// ---- IOleContainer ----

STDMETHODIMP CFlashSite::ParseDisplayName(IBindCtx*, LPOLESTR, ULONG*, IMoniker**) { return E_NOTIMPL; }

STDMETHODIMP CFlashSite::EnumObjects(DWORD, IEnumUnknown** out)
{
    if (!out)
        return E_POINTER;
    IOleObject* object = m_control ? m_control->OleObject() : nullptr;
    *out = new (std::nothrow) CSingleEnum(object);
    return *out ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CFlashSite::LockContainer(BOOL) { return S_OK; }
