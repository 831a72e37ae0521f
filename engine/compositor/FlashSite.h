// The container side of one hosted Flash control: the client site, the
// windowless in-place site, the control site, the object-with-site and the
// container, under one reference count. A control that refuses windowless
// activation gets a child window of the parent ("TqVirtualActiveX").
#pragma once

#include <windows.h>
#include <ocidl.h>
#include <oleidl.h>

class CFlashControl;

class CFlashSite final : public IOleClientSite,
                   public IOleInPlaceSiteWindowless,
                   public IOleControlSite,
                   public IObjectWithSite,
                   public IOleContainer {
public:
    explicit CFlashSite(CFlashControl* control);

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IOleClientSite
    STDMETHODIMP SaveObject() override;
    STDMETHODIMP GetMoniker(DWORD assign, DWORD which, IMoniker** out) override;
    STDMETHODIMP GetContainer(IOleContainer** out) override;
    STDMETHODIMP ShowObject() override;
    STDMETHODIMP OnShowWindow(BOOL show) override;
    STDMETHODIMP RequestNewObjectLayout() override;

    // IOleWindow
    STDMETHODIMP GetWindow(HWND* out) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL enter) override;
    // IOleInPlaceSite
    STDMETHODIMP CanInPlaceActivate() override;
    STDMETHODIMP OnInPlaceActivate() override;
    STDMETHODIMP OnUIActivate() override;
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT position,
                                  LPRECT clip, LPOLEINPLACEFRAMEINFO info) override;
    STDMETHODIMP Scroll(SIZE extent) override;
    STDMETHODIMP OnUIDeactivate(BOOL undoable) override;
    STDMETHODIMP OnInPlaceDeactivate() override;
    STDMETHODIMP DiscardUndoState() override;
    STDMETHODIMP DeactivateAndUndo() override;
    STDMETHODIMP OnPosRectChange(LPCRECT position) override;
    // IOleInPlaceSiteEx
    STDMETHODIMP OnInPlaceActivateEx(BOOL* noRedraw, DWORD flags) override;
    STDMETHODIMP OnInPlaceDeactivateEx(BOOL noRedraw) override;
    STDMETHODIMP RequestUIActivate() override;
    // IOleInPlaceSiteWindowless
    STDMETHODIMP CanWindowlessActivate() override;
    STDMETHODIMP GetCapture() override;
    STDMETHODIMP SetCapture(BOOL capture) override;
    STDMETHODIMP GetFocus() override;
    STDMETHODIMP SetFocus(BOOL focus) override;
    STDMETHODIMP GetDC(LPCRECT rect, DWORD flags, HDC* out) override;
    STDMETHODIMP ReleaseDC(HDC dc) override;
    STDMETHODIMP InvalidateRect(LPCRECT rect, BOOL erase) override;
    STDMETHODIMP InvalidateRgn(HRGN region, BOOL erase) override;
    STDMETHODIMP ScrollRect(INT dx, INT dy, LPCRECT scroll, LPCRECT clip) override;
    STDMETHODIMP AdjustRect(LPRECT rect) override;
    STDMETHODIMP OnDefWindowMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

    // IOleControlSite
    STDMETHODIMP OnControlInfoChanged() override;
    STDMETHODIMP LockInPlaceActive(BOOL lock) override;
    STDMETHODIMP GetExtendedControl(IDispatch** out) override;
    STDMETHODIMP TransformCoords(POINTL* himetric, POINTF* container, DWORD flags) override;
    STDMETHODIMP TranslateAccelerator(MSG* message, DWORD modifiers) override;
    STDMETHODIMP OnFocus(BOOL gotFocus) override;
    STDMETHODIMP ShowPropertyFrame() override;

    // IObjectWithSite
    STDMETHODIMP SetSite(IUnknown* site) override;
    STDMETHODIMP GetSite(REFIID iid, void** out) override;

    // IParseDisplayName, IOleContainer
    STDMETHODIMP ParseDisplayName(IBindCtx* context, LPOLESTR name, ULONG* eaten, IMoniker** out) override;
    STDMETHODIMP EnumObjects(DWORD flags, IEnumUnknown** out) override;
    STDMETHODIMP LockContainer(BOOL lock) override;

    // The host's side.
    void SetView(IUnknown* control);  // the best view interface the control has
    IViewObject* View() const { return m_view; }
    IOleInPlaceObject* InPlaceObject() const { return m_inPlace; }
    bool IsWindowless() const { return m_windowless; }
    HWND WrapperWindow() const { return m_window; }
    // Lets go of the control: in-place object, view, the wrapper window.
    void Detach();

    // Called by the wrapper window.
    void OnWindowFocus(bool focused);
    void OnWindowMouseActivate();
    bool IsUiActive() const { return m_uiActive; }

private:
    ~CFlashSite();
    void CreateWrapperWindow();
    void DestroyWrapperWindow();
    HWND Parent() const;
    RECT ControlRect() const;

    LONG m_references = 1;
    CFlashControl* m_control;
    IViewObject* m_view = nullptr;
    IOleInPlaceObject* m_inPlace = nullptr;
    IUnknown* m_objectSite = nullptr;
    HWND m_window = nullptr;
    HACCEL m_accelerators = nullptr;  // one empty entry, for the in-place frame info
    bool m_windowless = true;
    bool m_captured = false;
    bool m_focused = false;
    bool m_uiActive = false;
    bool m_inPlaceActive = false;
};

// Names of the fallback window.
extern const wchar_t kFlashWindowClass[];
extern const wchar_t kFlashWindowName[];
