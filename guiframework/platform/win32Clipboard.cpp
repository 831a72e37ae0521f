#include "KqClipboard.h"

#include "KqServices.h"
#include "platform/KqModule.h"

#include <cstring>

KqClipboard::KqClipboard()
{
    HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, nullptr, nullptr, KqModule::instance()->handle(), nullptr);
    if (window && subclass(window))
        m_nextViewer = SetClipboardViewer(window);
}

KqClipboard::~KqClipboard()
{
    if (hwnd())
        ChangeClipboardChain(hwnd(), m_nextViewer);
}

// Another program (a clipboard manager, or Wine's bridge to the X
// selection answering a request) may hold the clipboard for a moment; a copy
// or paste that gave up at once would silently do nothing.
bool KqClipboard::open() const
{
    const DWORD started = GetTickCount();
    while (!OpenClipboard(hwnd())) {
        if (GetTickCount() - started >= kOpenWaitMs)
            return false;
        Sleep(5);
    }
    return true;
}

KqClipboard* KqClipboard::instance() { return KqSingleton<KqClipboard>::instance(); }

bool KqClipboard::processMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT&)
{
    if (message == WM_CHANGECBCHAIN) {
        if (reinterpret_cast<HWND>(wParam) == m_nextViewer)
            m_nextViewer = reinterpret_cast<HWND>(lParam);
        else if (m_nextViewer)
            SendMessageW(m_nextViewer, message, wParam, lParam);
    } else if (message == WM_DRAWCLIPBOARD) {
        if (m_nextViewer)
            SendMessageW(m_nextViewer, message, wParam, lParam);
    }
    return false; // everything also goes to the window's own procedure
}

KqString KqClipboard::text(int mode) const
{
    if (mode != 0 || !open())
        return KqString();
    KqString result;
    UINT format = IsClipboardFormatAvailable(CF_UNICODETEXT) ? CF_UNICODETEXT
                  : IsClipboardFormatAvailable(CF_TEXT)      ? CF_TEXT
                                                             : 0;
    // Data may be missing though the format is listed: an empty text.
    HANDLE data = format ? GetClipboardData(format) : nullptr;
    const void* locked = data ? GlobalLock(data) : nullptr;
    if (locked) {
        // Never read past the block, even without a terminating zero.
        SIZE_T bytes = GlobalSize(data);
        if (format == CF_UNICODETEXT) {
            const wchar_t* units = static_cast<const wchar_t*>(locked);
            size_t n = 0, limit = bytes / sizeof(wchar_t);
            while (n < limit && units[n])
                ++n;
            result = KqString(reinterpret_cast<const KqChar*>(units), static_cast<int>(n));
        } else {
            const char* chars = static_cast<const char*>(locked);
            size_t n = 0;
            while (n < bytes && chars[n])
                ++n;
            result = KqString::fromAnsi(chars, static_cast<int>(n));
        }
        GlobalUnlock(data);
    }
    CloseClipboard();
    return result;
}

void KqClipboard::setText(const KqString& text, int mode)
{
    if (mode != 0 || !open())
        return;
    EmptyClipboard();
    if (!text.isEmpty()) {
        SIZE_T bytes = (static_cast<SIZE_T>(text.length()) + 1) * 2;
        HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
        if (void* target = memory ? GlobalLock(memory) : nullptr) {
            memcpy(target, text.data(), bytes - 2);
            static_cast<char*>(target)[bytes - 2] = 0;
            static_cast<char*>(target)[bytes - 1] = 0;
            GlobalUnlock(memory);
            if (!SetClipboardData(CF_UNICODETEXT, memory))
                GlobalFree(memory); // not taken by the system: ours to free
        } else if (memory) {
            GlobalFree(memory);
        }
    }
    CloseClipboard();
}
