// A window owned by one thread whose messages go to a C++ object: the
// message-only windows of the workers and the manager, and the hidden
// pop-up windows of the public objects.
#pragma once

#include <windows.h>

namespace tq {

class CMessageWindow {
public:
    enum Kind { MessageOnly, HiddenPopup };

    CMessageWindow() = default;
    virtual ~CMessageWindow();
    CMessageWindow(const CMessageWindow&) = delete;
    CMessageWindow& operator=(const CMessageWindow&) = delete;

    // Creates the window on the calling thread; false when it cannot.
    bool CreateMessageWindow(Kind kind);
    void DestroyMessageWindow();
    HWND Hwnd() const { return m_hWnd; }
    // Posts to this window; false (message dropped) while there is no window.
    bool Post(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;

protected:
    // Returns true when the message was handled (result in *result);
    // unhandled messages go to the default window procedure.
    virtual bool OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) = 0;

private:
    static LRESULT CALLBACK WindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    HWND m_hWnd = nullptr;
};

} // namespace tq
