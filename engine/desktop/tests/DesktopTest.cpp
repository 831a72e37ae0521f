// The desktop source: the letterbox arithmetic, the public object's own
// accounts, and real copies of the run's 1280 x 1024 screen and of windows
// of a known colour, with the cursor and its halo.
#include "DesktopLetterbox.h"
#include "DesktopVideo.h"
#include "DesktopVideoOper.h"
#include "FrameProtocol.h"
#include "ShareHandle.h"

#include <gtest/gtest.h>

#include <mmsystem.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

namespace {

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (done())
            return true;
        if (GetTickCount() - start > timeoutMs)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

std::vector<uint8_t> ReadRecord()
{
    std::vector<uint8_t> record(tq::kFrameCopyBytes, 0);
    tq::CMutexLock lock(tq::GetShareMemoryMutex().Get());
    tq::CMappedView view(tq::GetCaptureShareMemory().Get(), FILE_MAP_ALL_ACCESS, tq::kCaptureMemorySize,
                         "CaptureShareMemory");
    if (view)
        memcpy(record.data(), view.Get(), record.size());
    return record;
}

int32_t FrameTime(const std::vector<uint8_t>& record)
{
    return tq::ReadFrameTimeLow(record.data(), tq::kOffFrameTime);
}

// Waits for two frames newer than now, so that what is on screen now is in
// the second.
bool WaitForFreshFrame(std::vector<uint8_t>& record, DWORD timeoutMs = 5000)
{
    for (int i = 0; i < 2; ++i) {
        const int32_t before = FrameTime(ReadRecord());
        if (!PumpUntil([&] { record = ReadRecord(); return FrameTime(record) != before; }, timeoutMs))
            return false;
    }
    return true;
}

struct Rgb {
    int r, g, b;
};

// (x, y from the top) of the record's bottom-up 480 x 360 picture.
Rgb At(const std::vector<uint8_t>& record, int x, int y)
{
    const uint8_t* p = record.data() + tq::kFrameHeaderSize + (size_t(359 - y) * 480 + x) * 3;
    return {p[2], p[1], p[0]};
}

int Distance(Rgb a, Rgb b)
{
    return std::max({std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
}

// Columns [from, to) of a record row are black / are the colour.
bool ColumnsAre(const std::vector<uint8_t>& record, int y, int from, int to, Rgb colour, int tolerance = 8)
{
    for (int x = from; x < to; ++x) {
        if (Distance(At(record, x, y), colour) > tolerance)
            return false;
    }
    return true;
}

const Rgb kBlack = {0, 0, 0};
const Rgb kRed = {255, 0, 0};

// A top-most pop-up window of one colour.
class ColourWindow {
public:
    ColourWindow(int x, int y, int width, int height, COLORREF colour)
    {
        static bool registered = false;
        if (!registered) {
            WNDCLASSW wc = {};
            wc.lpfnWndProc = DefWindowProcW;
            wc.hInstance = GetModuleHandleW(nullptr);
            wc.lpszClassName = L"TqDesktopTestColour";
            wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
            registered = RegisterClassW(&wc) != 0;
        }
        m_brush = CreateSolidBrush(colour);
        m_hwnd = CreateWindowExW(WS_EX_TOPMOST, L"TqDesktopTestColour", L"", WS_POPUP, x, y, width, height, nullptr,
                                 nullptr, GetModuleHandleW(nullptr), nullptr);
        SetClassLongPtrW(m_hwnd, GCLP_HBRBACKGROUND, reinterpret_cast<LONG_PTR>(m_brush));
        ShowWindow(m_hwnd, SW_SHOWNOACTIVATE);
        UpdateWindow(m_hwnd);
        PumpUntil([] { return false; }, 300);
    }
    ~ColourWindow()
    {
        Destroy();
        DeleteObject(m_brush);
    }
    void Destroy()
    {
        if (m_hwnd)
            DestroyWindow(m_hwnd);
        m_hwnd = nullptr;
    }
    HWND Hwnd() const { return m_hwnd; }

private:
    HWND m_hwnd = nullptr;
    HBRUSH m_brush = nullptr;
};

class StopCounter : public IDesktopVideoListener {
public:
    void OnDesktopStopped() override { ++stopped; }
    int stopped = 0;
};

DWORD g_now = 0;
DWORD FakeClock() { return g_now; }

} // namespace

TEST(DesktopLetterbox, AreasKeepTheirShape)
{
    const struct { int width, height; DesktopPlacement placed; } cases[] = {
        {1920, 1080, {0, 45, 480, 270}},
        {1024, 768, {0, 0, 480, 360}},   // exactly 4:3
        {1280, 1024, {15, 0, 450, 360}},
        {600, 800, {105, 0, 270, 360}},
        {402, 300, {0, 1, 480, 358}},
        {0, 600, {0, 0, 0, 0}},
        {800, 0, {0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        const DesktopPlacement p = LetterboxDesktop(c.width, c.height);
        EXPECT_EQ(c.placed.x, p.x) << c.width << "x" << c.height;
        EXPECT_EQ(c.placed.y, p.y) << c.width << "x" << c.height;
        EXPECT_EQ(c.placed.width, p.width) << c.width << "x" << c.height;
        EXPECT_EQ(c.placed.height, p.height) << c.width << "x" << c.height;
    }
    const struct { int width, captured; } widths[] = {{801, 802}, {800, 800}, {1, 2}, {0, 0}};
    for (const auto& w : widths)
        EXPECT_EQ(w.captured, EvenCaptureWidth(w.width)) << w.width;
}

TEST(DesktopPublic, SettingsAndUsage)
{
    CDesktopVideo desktop;
    desktop.SetClockForTesting(&FakeClock);
    EXPECT_EQ(1, desktop.ReopenDesktop(480, 360, 333333)) << "not running: nothing reopened";

    DesktopCursorMark mark;
    EXPECT_EQ(&mark, desktop.GetCursorMark(&mark));
    EXPECT_EQ(0, mark.enabled);
    EXPECT_EQ(1, mark.sizeCode);
    EXPECT_EQ(0xFF0000u, mark.colour);
    const DesktopCursorMark set = {1, 2, 0x00FF00};
    desktop.SetCursorMark(&set);
    desktop.GetCursorMark(&mark);
    EXPECT_EQ(1, mark.enabled);
    EXPECT_EQ(2, mark.sizeCode);
    EXPECT_EQ(0x00FF00u, mark.colour);
    const struct { int code, radius; } radii[] = {{0, 20}, {1, 40}, {2, 60}, {3, 20}, {-1, 20}};
    for (const auto& r : radii)
        EXPECT_EQ(r.radius, CursorMarkRadius(r.code)) << r.code;

    const struct { int width, height, outWidth, outHeight; } sizes[] = {
        {480, 360, 640, 480}, {400, 300, 640, 480}, {800, 600, 800, 600},
    };
    for (const auto& s : sizes) {
        desktop.SetOutWidthAndHeight(s.width, s.height);
        EXPECT_EQ(s.outWidth, desktop.GetSettings().outWidth);
        EXPECT_EQ(s.outHeight, desktop.GetSettings().outHeight);
    }

    g_now = 50000;
    desktop.Start(nullptr, 0, 99);  // a mode that copies nothing
    EXPECT_TRUE(desktop.IsRunning());
    EXPECT_EQ(0, desktop.ReopenDesktop(480, 360, 1000000));
    EXPECT_EQ(66, desktop.GetSettings().interval);
    EXPECT_EQ(0, desktop.ReopenDesktop(480, 360, 333333));
    EXPECT_EQ(33, desktop.GetSettings().interval);
    desktop.SetFrameTime(2000000);
    EXPECT_EQ(200, desktop.GetSettings().interval);
    g_now += 1900;
    EXPECT_EQ(0u, desktop.GetPlayedSeconds());
    g_now += 4500;
    desktop.Stop(0);
    EXPECT_FALSE(desktop.IsRunning());
    g_now += 9000;
    EXPECT_EQ(4u, desktop.GetPlayedSeconds());
    desktop.Quit();
}

class DesktopCapture : public ::testing::Test {
protected:
    static void SetUpTestSuite() { tq::GetCaptureShareMemory(); }
    void SetUp() override
    {
        desktop = new CDesktopVideo;
        desktop->SetListener(&counter);
    }
    void TearDown() override
    {
        desktop->Stop(0);
        desktop->Quit();
        delete desktop;
    }
    CDesktopVideo* desktop = nullptr;
    StopCounter counter;
};

// Mode 1 on the 1280 x 1024 screen: 450 wide from column 15 with black
// columns either side; a red window in the screen's top-left shows there.
TEST_F(DesktopCapture, WholeScreenIsLetterboxed)
{
    ASSERT_EQ(1280, GetSystemMetrics(SM_CXSCREEN));
    ASSERT_EQ(1024, GetSystemMetrics(SM_CYSCREEN));
    ColourWindow red(0, 0, 640, 512, RGB(255, 0, 0));
    SetCursorPos(1270, 1010);
    desktop->Start(nullptr, 0, 1);
    std::vector<uint8_t> record;
    ASSERT_TRUE(WaitForFreshFrame(record));
    EXPECT_EQ(480u, tq::ReadU32BE(record.data(), tq::kOffWidth));
    EXPECT_EQ(360u, tq::ReadU32BE(record.data(), tq::kOffHeight));
    EXPECT_EQ(1u, tq::ReadU32BE(record.data(), tq::kOffSmoothFlag));
    for (int y : {5, 90, 170}) {
        EXPECT_TRUE(ColumnsAre(record, y, 0, 15, kBlack)) << "left margin, row " << y;
        EXPECT_TRUE(ColumnsAre(record, y, 465, 480, kBlack)) << "right margin, row " << y;
        EXPECT_TRUE(ColumnsAre(record, y, 17, 238, kRed, 40)) << "red quarter, row " << y;
    }
}

// Modes 2 and 3 copy a window's rectangle: a 600 x 800 window is 270 wide at
// column 105; an 801-wide one is copied 802 wide.
TEST_F(DesktopCapture, WindowAreas)
{
    for (uint32_t mode : {2u, 3u}) {
        ColourWindow red(100, 100, 600, 800, RGB(255, 0, 0));
        SetCursorPos(1270, 1010);
        desktop->Start(red.Hwnd(), 0, mode);
        std::vector<uint8_t> record;
        ASSERT_TRUE(WaitForFreshFrame(record)) << mode;
        for (int y : {10, 180, 350}) {
            EXPECT_TRUE(ColumnsAre(record, y, 0, 105, kBlack)) << "mode " << mode << " row " << y;
            EXPECT_TRUE(ColumnsAre(record, y, 107, 373, kRed, 40)) << "mode " << mode << " row " << y;
            EXPECT_TRUE(ColumnsAre(record, y, 376, 480, kBlack)) << "mode " << mode << " row " << y;
        }
        desktop->Stop(0);
        ASSERT_TRUE(PumpUntil([&] { return !desktop->IsRunning(); }, 2000));
    }
    ColourWindow odd(50, 50, 801, 601, RGB(0, 0, 255));
    desktop->Start(odd.Hwnd(), 0, 2);
    std::vector<uint8_t> record;
    ASSERT_TRUE(WaitForFreshFrame(record));
    const DesktopCaptureRect rect = desktop->LastRectForTesting();
    EXPECT_EQ(802, rect.width);
    EXPECT_EQ(601, rect.height);
    EXPECT_EQ(50, rect.sourceX);
    EXPECT_EQ(50, rect.sourceY);
}

// The halo: blue at alpha 190 over red is (65, 0, 190); the cursor itself is
// drawn at its hotspot's place; a cursor left of or above the area is not.
TEST_F(DesktopCapture, CursorAndHalo)
{
    ColourWindow red(200, 200, 480, 360, RGB(255, 0, 0));  // 4:3: copied pixel for pixel
    const DesktopCursorMark mark = {1, 0, 0xFF0000};       // radius 20, blue
    desktop->SetCursorMark(&mark);
    // The cursor the system shows is the foreground thread's.
    SetForegroundWindow(red.Hwnd());
    SetCursor(LoadCursor(nullptr, IDC_ARROW));
    SetCursorPos(200 + 240, 200 + 180);
    desktop->Start(red.Hwnd(), 0, 3);
    std::vector<uint8_t> record;
    ASSERT_TRUE(WaitForFreshFrame(record));
    CURSORINFO cursor = {sizeof cursor};
    ICONINFO icon = {};
    ASSERT_TRUE(GetCursorInfo(&cursor)) << GetLastError();
    ASSERT_NE(nullptr, cursor.hCursor) << "flags " << cursor.flags;
    ASSERT_TRUE(GetIconInfo(cursor.hCursor, &icon));
    if (icon.hbmMask) DeleteObject(icon.hbmMask);
    if (icon.hbmColor) DeleteObject(icon.hbmColor);
    const int x = 240 - int(icon.xHotspot), y = 180 - int(icon.yHotspot);
    // Left of and above the drawing position: inside the halo, outside the cursor.
    const Rgb halo = {65, 0, 190};
    EXPECT_LE(Distance(halo, At(record, x - 8, y - 8)), 3);
    EXPECT_LE(Distance(halo, At(record, x - 12, y)), 3);
    EXPECT_LE(Distance(kRed, At(record, x - 25, y)), 3) << "outside the halo";
    EXPECT_LE(Distance(kRed, At(record, 10, 10)), 3);

    // The cursor left of the area: neither halo nor cursor.
    SetCursorPos(150, 300);
    ASSERT_TRUE(WaitForFreshFrame(record));
    EXPECT_TRUE(ColumnsAre(record, 100, 0, 480, kRed, 3));
    EXPECT_TRUE(ColumnsAre(record, 0, 0, 480, kRed, 3));
    // Above the area.
    SetCursorPos(400, 150);
    ASSERT_TRUE(WaitForFreshFrame(record));
    EXPECT_TRUE(ColumnsAre(record, 0, 0, 480, kRed, 3));
    EXPECT_TRUE(ColumnsAre(record, 30, 0, 480, kRed, 3));
}

// A window that goes away while it is copied is reported once, and the
// source is stopped.
TEST_F(DesktopCapture, VanishedWindowIsReportedOnce)
{
    ColourWindow red(100, 100, 400, 300, RGB(255, 0, 0));
    desktop->Start(red.Hwnd(), 0, 2);
    std::vector<uint8_t> record;
    ASSERT_TRUE(WaitForFreshFrame(record));
    red.Destroy();
    ASSERT_TRUE(PumpUntil([&] { return counter.stopped > 0; }, 3000));
    const int32_t last = FrameTime(ReadRecord());
    PumpUntil([] { return false; }, 500);  // several intervals
    EXPECT_EQ(1, counter.stopped);
    EXPECT_FALSE(desktop->IsRunning());
    EXPECT_EQ(last, FrameTime(ReadRecord())) << "no frames after the window went";
}
