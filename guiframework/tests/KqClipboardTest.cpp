#include "KqClipboard.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// A viewer placed in the chain before the clipboard service joins it.
class Viewer : public KqNativeWindowBase {
public:
    bool open()
    {
        static const KqWindowClassSpec windowClass = {L"KqTestViewer", 0, nullptr, nullptr};
        if (!create(windowClass, WS_POPUP, 0, L"", 0, 0, 0, 0, nullptr))
            return false;
        next = SetClipboardViewer(hwnd());
        return true;
    }
    struct Seen {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    };
    std::vector<Seen> seen;
    HWND next = nullptr;

protected:
    bool processMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override
    {
        if (message == WM_CHANGECBCHAIN || message == WM_DRAWCLIPBOARD) {
            seen.push_back({message, wParam, lParam});
            result = 0;
            return true;
        }
        return false;
    }
};

TEST(KqClipboardTest, ViewerChainMessages)
{
    Viewer viewer;
    ASSERT_TRUE(viewer.open());
    KqClipboard clipboard;
    ASSERT_NE(nullptr, clipboard.window());
    ASSERT_EQ(viewer.hwnd(), clipboard.nextViewer());
    viewer.seen.clear();

    HWND other = reinterpret_cast<HWND>(0x1234), after = reinterpret_cast<HWND>(0x5678);
    // Another window leaves: passed on unchanged.
    SendMessageW(clipboard.window(), WM_CHANGECBCHAIN, reinterpret_cast<WPARAM>(other), reinterpret_cast<LPARAM>(after));
    SendMessageW(clipboard.window(), WM_DRAWCLIPBOARD, 7, 9);
    ASSERT_EQ(2u, viewer.seen.size());
    EXPECT_EQ(UINT(WM_CHANGECBCHAIN), viewer.seen[0].message);
    EXPECT_EQ(reinterpret_cast<WPARAM>(other), viewer.seen[0].wParam);
    EXPECT_EQ(reinterpret_cast<LPARAM>(after), viewer.seen[0].lParam);
    EXPECT_EQ(UINT(WM_DRAWCLIPBOARD), viewer.seen[1].message);
    EXPECT_EQ(9, viewer.seen[1].lParam);
    // Our next viewer leaves: the one after it takes its place.
    SendMessageW(clipboard.window(), WM_CHANGECBCHAIN, reinterpret_cast<WPARAM>(viewer.hwnd()), reinterpret_cast<LPARAM>(viewer.next));
    EXPECT_EQ(viewer.next, clipboard.nextViewer());
    EXPECT_EQ(2u, viewer.seen.size());
    ChangeClipboardChain(viewer.hwnd(), viewer.next);
}

// Other programs on the display may hold the clipboard for a moment (under
// Wine, its bridge to the X selection does whenever another prefix starts).
bool openClipboardWhenFree()
{
    for (int attempt = 0; attempt < 200; ++attempt) {
        if (OpenClipboard(nullptr))
            return true;
        Sleep(5);
    }
    return false;
}

bool putRaw(UINT format, const void* bytes, size_t size)
{
    if (!openClipboardWhenFree())
        return false;
    EmptyClipboard();
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size);
    memcpy(GlobalLock(memory), bytes, size);
    GlobalUnlock(memory);
    bool ok = SetClipboardData(format, memory) != nullptr;
    CloseClipboard();
    return ok;
}

TEST(KqClipboardTest, TextRoundTripsAndEmptyCopiesEmpty)
{
    KqClipboard* clipboard = KqClipboard::instance();
    const KqString samples[] = {KqString(u"plain"), KqString(u"\u4e2d\u6587 and more\r\nline two"), KqString(u"x")};
    for (const KqString& sample : samples) {
        clipboard->setText(sample);
        EXPECT_TRUE(clipboard->text() == sample);
        EXPECT_TRUE(clipboard->text(1).isNull());
    }
    clipboard->setText(KqString(u"kept"), 1); // other modes write nothing
    EXPECT_TRUE(clipboard->text() == samples[2]);

    clipboard->setText(KqString());
    EXPECT_TRUE(clipboard->text().isEmpty());
    ASSERT_TRUE(openClipboardWhenFree());
    EXPECT_EQ(0, CountClipboardFormats());
    CloseClipboard();
}

TEST(KqClipboardTest, AnsiTextAndPictureOnly)
{
    KqClipboard* clipboard = KqClipboard::instance();
    ASSERT_TRUE(putRaw(CF_TEXT, "ansi text", 10));
    EXPECT_TRUE(clipboard->text() == KqString(u"ansi text"));

    // A picture only: empty text, and the clipboard is free again afterwards.
    BITMAPINFOHEADER header = {sizeof header, 1, 1, 1, 32, BI_RGB, 4, 0, 0, 0, 0};
    unsigned char dib[sizeof header + 4] = {};
    memcpy(dib, &header, sizeof header);
    ASSERT_TRUE(putRaw(CF_DIB, dib, sizeof dib));
    EXPECT_TRUE(clipboard->text().isEmpty());
    ASSERT_TRUE(openClipboardWhenFree());
    CloseClipboard();
}

// Another thread holds the clipboard when a copy and a paste begin, and lets
// go a little later: both wait for it instead of doing nothing.
TEST(KqClipboardTest, CopyAndPasteWaitForAnotherHolder)
{
    KqClipboard* clipboard = KqClipboard::instance();
    clipboard->setText(KqString(u"before"));
    struct Holder {
        HANDLE held = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        bool opened = false;
        static DWORD WINAPI run(void* self)
        {
            Holder* h = static_cast<Holder*>(self);
            h->opened = openClipboardWhenFree();
            SetEvent(h->held);
            Sleep(150);
            if (h->opened)
                CloseClipboard();
            return 0;
        }
        void holdOnce()
        {
            ResetEvent(held);
            HANDLE thread = CreateThread(nullptr, 0, run, this, 0, nullptr);
            WaitForSingleObject(held, INFINITE);
            threads.push_back(thread);
        }
        std::vector<HANDLE> threads;
        ~Holder()
        {
            for (HANDLE t : threads) {
                WaitForSingleObject(t, INFINITE);
                CloseHandle(t);
            }
            CloseHandle(held);
        }
    } holder;

    holder.holdOnce();
    ASSERT_TRUE(holder.opened);
    clipboard->setText(KqString(u"after"));
    holder.holdOnce();
    ASSERT_TRUE(holder.opened);
    EXPECT_TRUE(clipboard->text() == KqString(u"after"));
}

} // namespace
