// The panel's stand-in window: input inside the page reaches the engine at
// page coordinates, pictures are painted at the web view's place, and the
// first close waits for the browser.
#include "BrowserWindow.h"
#include "NativePanelFrame.h"
#include "PanelTestSupport.h"

namespace {

class NativePanelFrameTest : public PanelTest {};

TEST_F(NativePanelFrameTest, ForwardsInputPaintsPicturesAndClosesAfterTheBrowser)
{
    BrowserWindow::Services services;
    services.createEngine = [this]() { return makeEngine(); };
    BrowserWindow::resetCloseFlagForTest();
    BrowserWindow logic(nullptr, queue.get(), services);
    NativePanelFrame frame(&logic);
    logic.setFrame(&frame);
    logic.setupContent(KqString("http://depot/"));
    frame.showWindow();
    HWND window = frame.window();
    ASSERT_NE(nullptr, window);
    engineListener()->OnEngineCreated();
    engineListener()->OnLoadingStateChanged(true);
    engineListener()->OnLoadingStateChanged(false);
    drain();
    ASSERT_TRUE(logic.webView()->isVisible());

    SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(101, 131));
    SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(101, 131));
    SendMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(1, 31));
    SendMessageW(window, WM_CHAR, L'a', 0);
    EXPECT_TRUE(journal->has(L"Mouse 1 100,100"));
    EXPECT_TRUE(journal->has(L"Mouse 2 100,100"));
    EXPECT_TRUE(journal->has(L"Mouse 0 0,0"));
    EXPECT_TRUE(journal->has(L"Key 97"));

    EngineFrame picture;
    picture.width = BrowserWindow::kWebViewWidth;
    picture.height = BrowserWindow::kWebViewHeight;
    picture.bgra.resize(static_cast<size_t>(picture.width) * picture.height * 4);
    for (size_t i = 0; i < picture.bgra.size(); i += 4) {
        picture.bgra[i] = 0x30;      // blue
        picture.bgra[i + 1] = 0x80;  // green
        picture.bgra[i + 2] = 0xC0;  // red
        picture.bgra[i + 3] = 255;
    }
    engineListener()->OnFrame(picture);
    drain();
    UpdateWindow(window);
    HDC dc = GetDC(window);
    COLORREF inside = GetPixel(dc, BrowserWindow::kWebViewX + 10, BrowserWindow::kWebViewY + 10);
    ReleaseDC(window, dc);
    EXPECT_EQ(RGB(0xC0, 0x80, 0x30), inside);

    SendMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindowVisible(window)) << "the window stays while the browser closes";
    EXPECT_TRUE(journal->has(L"Close"));
    drain();
    EXPECT_FALSE(IsWindowVisible(window));
}

}  // namespace
