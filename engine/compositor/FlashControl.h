// The Flash control wrapper: finds the control's library ("install.ini" in
// the Flash folder, else COM), creates and activates the control windowless
// with our site, and calls its members by name through its IDispatch.
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <oleidl.h>

#include <cstdint>
#include <string>

class CFlashSite;

// The control's class and its programmatic interface.
extern const CLSID kFlashControlClassId;
extern const IID kShockwaveFlashIid;
extern const wchar_t kFlashClassIdText[];

class CFlashControl {
public:
    enum class StartMode { FromStart, MiddleFrame };

    CFlashControl();
    virtual ~CFlashControl();
    CFlashControl(const CFlashControl&) = delete;
    CFlashControl& operator=(const CFlashControl&) = delete;

    // "clsid": "{...}" parsed as a class id, anything else as a ProgID; a null id is refused.
    bool SetProperty(const wchar_t* name, const wchar_t* value);

    void SetParent(HWND parent) { m_parent = parent; }
    HWND Parent() const { return m_parent; }
    void SetLoop(bool loop) { m_loop = loop; }
    void SetMovie(const wchar_t* movie);
    void SetName(const wchar_t* name);
    void SetSize(int width, int height) { m_width = width; m_height = height; }
    void SetRect(const RECT& rect) { m_rect = rect; }
    const RECT& Rect() const { return m_rect; }

    // Activates when not yet activated, then moves the control to `rect`.
    bool Place(const RECT& rect, const std::string& params, StartMode mode);

    // The control, created (once per wrapper the library is looked up) and asked for IOleControl.
    IUnknown* CreateControl();
    bool Activate(const std::string& params, StartMode mode);
    void ReleaseControl();

    bool IsActivated() const { return m_activated; }
    IOleObject* OleObject() const { return m_object; }
    CFlashSite* Site() const { return m_site; }
    DWORD MiscStatus() const { return m_miscStatus; }
    int TotalFrames() const { return m_totalFrames; }

    // Members of the control's interface, by name.
    HRESULT Invoke(const wchar_t* name, WORD flags, VARIANT* arguments, UINT count, VARIANT* result);
    HRESULT PutProperty(const wchar_t* name, VARIANT value);
    bool Rewind();
    bool Play();
    bool Stop();
    bool IsPlaying();
    long FlashVersion();
    // Creates the control, reads its version and lets it go again; 0 without a control.
    long ProbeVersion();
    IDispatch* Dispatch() const { return m_flash; }

    // Draws the control transparently into a DC at its rectangle.
    bool DrawTo(HDC dc);

private:
    bool GetFlashInterface();

    CLSID m_classId = {};
    bool m_activated = false;
    bool m_windowless = true;
    IOleObject* m_object = nullptr;
    CFlashSite* m_site = nullptr;
    RECT m_rect = {};
    HWND m_parent = nullptr;
    BSTR m_movie = nullptr;
    BSTR m_name = nullptr;
    BSTR m_quality = nullptr;
    int m_width = 0, m_height = 0;
    int m_totalFrames = 0;
    bool m_loop = true;
    HMODULE m_library = nullptr;
    bool m_libraryLookedUp = false;
    IDispatch* m_flash = nullptr;  // the control's IShockwaveFlash
    DWORD m_miscStatus = 0;
};

// The Flash folder and the library "install.ini" names there ("" when none).
std::wstring FlashFolder();
std::wstring FlashLibraryFromIni();

// Text of the script call carrying `params`, escaped for XML.
std::wstring FlashCallText(const std::string& params);
