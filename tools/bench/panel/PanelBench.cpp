// Prints, for the panel over the engine started on 127.0.0.1:8088:
//   bare      Runtime.evaluate round trip (median of the runs)
//   command   executeCmd in the page to the command served on the UI thread
//   frame     page change to a painted picture, and the screencast frames
//             that came in between; decode + paint time per frame
// Goals: command within 3x bare; a change visible within 2 frames.
#include "BrowserWindow.h"
#include "ChromiumService.h"
#include "DevToolsEngine.h"
#include "JpegDecoder.h"
#include "LoopbackHttpServer.h"
#include "PanelHost.h"
#include "PanelSettings.h"
#include "PanelText.h"

#include <boost/beast/core/detail/base64.hpp>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <vector>

namespace {

typedef std::chrono::steady_clock Clock;
double msSince(Clock::time_point start) { return std::chrono::duration<double, std::milli>(Clock::now() - start).count(); }

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Paints every new picture into a memory bitmap, as the window does, and
// remembers the colour at one point.
class PaintingFrame : public IBrowserWindowFrame {
public:
    explicit PaintingFrame(BrowserWindow* logic) : m_logic(logic)
    {
        BITMAPINFO bi = {};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = BrowserWindow::kWebViewWidth;
        bi.bmiHeader.biHeight = -BrowserWindow::kWebViewHeight;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        m_dc = CreateCompatibleDC(nullptr);
        m_bitmap = CreateDIBSection(m_dc, &bi, DIB_RGB_COLORS, reinterpret_cast<void**>(&m_pixels), nullptr, 0);
        SelectObject(m_dc, m_bitmap);
    }
    ~PaintingFrame() override
    {
        DeleteDC(m_dc);
        DeleteObject(m_bitmap);
    }
    void setTitle(const KqString&) override {}
    void showWindow() override {}
    void closeWindow() override {}
    void setWebViewVisible(bool) override {}
    void setLoadingVisible(bool) override {}
    void setLoadingText(const KqString&) override {}
    void webViewChanged() override
    {
        std::shared_ptr<const EngineFrame> f = m_logic->webView()->currentFrame();
        if (!f)
            return;
        Clock::time_point start = Clock::now();
        BITMAPINFO bi = {};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = f->width;
        bi.bmiHeader.biHeight = -f->height;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        SetDIBitsToDevice(m_dc, 0, 0, f->width, f->height, 0, 0, 0, f->height, f->bgra.data(), &bi, DIB_RGB_COLORS);
        GdiFlush();
        paintMs.push_back(msSince(start));
        ++frames;
        const uint8_t* p = m_pixels + (20 * BrowserWindow::kWebViewWidth + 20) * 4;
        red = p[2];
        blue = p[0];
    }

    std::vector<double> paintMs;
    int frames = 0;
    int red = 0;
    int blue = 0;

private:
    BrowserWindow* m_logic;
    HDC m_dc;
    HBITMAP m_bitmap;
    uint8_t* m_pixels = nullptr;
};

}  // namespace

int main()
{
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    PanelSettings::setAppFolderForTest(fromWide(std::wstring(temp) + L"panelbench"));

    LoopbackHttpServer server;
    server.start([](const LoopbackRequest&, size_t) {
        LoopbackResponse page = LoopbackResponse::ok(
            "<!doctype html><html><head><title>bench</title></head>"
            "<body style='margin:0;background:#ff0000;height:100vh'></body></html>");
        page.headers.push_back({"Content-Type", "text/html"});
        return page;
    });

    DevToolsEngine* engine = nullptr;
    PaintingFrame* frame = nullptr;
    int served = 0;
    Clock::time_point commandStart;
    std::vector<double> commandMs;
    PanelHost::Services services;
    services.window.createEngine = [&]() { return std::unique_ptr<IBrowserEngine>(engine = new DevToolsEngine()); };
    services.window.openUrl = [&](const std::wstring&) {
        commandMs.push_back(msSince(commandStart));
        ++served;
    };
    services.createFrame = [&](BrowserWindow* logic) { return std::unique_ptr<IBrowserWindowFrame>(frame = new PaintingFrame(logic)); };
    services.stopEngine = []() { ChromiumService::stop(); };
    services.pageUrl = [&]() { return fromWide(server.url("/")); };
    PanelHost host(services);

    Clock::time_point startup = Clock::now();
    host.showMoreAuraeBox(nullptr);
    if (!PumpMessagesUntil([&]() { return host.window()->webView()->isVisible() && frame->frames > 0; }, 120000)) {
        printf("the engine did not show the page\n");
        host.notifyBeforeProcessExit();
        return 1;
    }
    printf("%-34s %8.1f ms\n", "engine start to first picture", msSince(startup));

    const int runs = 40;
    std::vector<double> bareMs;
    // The answer arrives on the engine's thread: an event wakes the waiter.
    HANDLE answered = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    for (int i = 0; i < runs; ++i) {
        Clock::time_point start = Clock::now();
        engine->SendRaw("Runtime.evaluate", "{\"expression\":\"1\"}", [answered](const std::string&) { SetEvent(answered); });
        WaitForSingleObject(answered, 10000);
        bareMs.push_back(msSince(start));
    }
    CloseHandle(answered);
    for (int i = 0; i < runs; ++i) {
        int before = served;
        commandStart = Clock::now();
        engine->EvaluateScript(L"executeCmd('openUrl', 'http://127.0.0.1/bench')");
        PumpMessagesUntil([&]() { return served > before; }, 10000);
    }
    double bare = median(bareMs), command = median(commandMs);
    printf("%-34s %8.2f ms\n", "bare Runtime.evaluate round trip", bare);
    printf("%-34s %8.2f ms  (%.2fx bare, goal 3x)\n", "page command to host side", command, command / bare);

    std::vector<double> changeMs;
    std::vector<int> changeFrames;
    for (int i = 0; i < 10; ++i) {
        bool toBlue = (i % 2) == 0;
        int framesBefore = frame->frames;
        Clock::time_point start = Clock::now();
        engine->EvaluateScript(toBlue ? L"document.body.style.background='#0000ff'" : L"document.body.style.background='#ff0000'");
        PumpMessagesUntil([&]() { return toBlue ? frame->blue > 200 && frame->red < 60 : frame->red > 200 && frame->blue < 60; },
                          10000);
        changeMs.push_back(msSince(start));
        changeFrames.push_back(frame->frames - framesBefore);
    }
    printf("%-34s %8.1f ms  in %d frame(s) (median; goal 2 frames)\n", "page change to painted picture", median(changeMs),
           static_cast<int>(median(std::vector<double>(changeFrames.begin(), changeFrames.end()))));
    printf("%-34s %8.2f ms per frame\n", "paint of a 733x568 picture", median(frame->paintMs));

    // Decode: a picture of the page as the screencast sends it.
    std::string answer;
    bool done = false;
    std::mutex lock;
    engine->SendRaw("Page.captureScreenshot", "{\"format\":\"jpeg\",\"quality\":90}", [&](const std::string& text) {
        std::lock_guard<std::mutex> hold(lock);
        answer = text;
        done = true;
    });
    PumpMessagesUntil([&]() { std::lock_guard<std::mutex> hold(lock); return done; }, 10000);
    std::string data = nlohmann::json::parse(answer, nullptr, false)["result"].value("data", std::string());
    std::string jpeg(boost::beast::detail::base64::decoded_size(data.size()), '\0');
    jpeg.resize(boost::beast::detail::base64::decode(&jpeg[0], data.data(), data.size()).first);
    std::vector<uint8_t> bgr(4096 * 4096 * 3);
    std::vector<double> decodeMs;
    for (int i = 0; i < 20 && !jpeg.empty(); ++i) {
        int w = 4096, h = 4096, n = 0;
        Clock::time_point start = Clock::now();
        DecodeJpegToBgr(reinterpret_cast<const uint8_t*>(jpeg.data()), static_cast<int>(jpeg.size()), bgr.data(), w, h, n);
        decodeMs.push_back(msSince(start));
    }
    printf("%-34s %8.2f ms per frame\n", "decode of the page's JPEG", median(decodeMs));

    host.notifyBeforeProcessExit();
    server.stop();
    return 0;
}
