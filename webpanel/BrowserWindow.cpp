#include "BrowserWindow.h"

#include "KqServices.h"
#include "PanelText.h"

namespace {
// A close has begun somewhere in this process.
bool g_closeBegun = false;

// Arguments a command row reads, checked before any is used.
bool hasTexts(const PageValueList& args, size_t count)
{
    if (args.size() < count)
        return false;
    for (size_t i = 1; i < count; ++i)
        if (!args[i].isText())
            return false;
    return true;
}

void ignoredCommand(const KqString& command, const char* why)
{
    KqDebugStream() << (KqString("BrowserWindow::on_handleJsMessage ignored ") + command + KqString(": ") + KqString(why));
}
}  // namespace

void BrowserWindow::resetCloseFlagForTest() { g_closeBegun = false; }
void BrowserWindow::markCloseBegunForTest() { g_closeBegun = true; }

BrowserWindow::BrowserWindow(IBrowserWindowFrame* frame, UiThreadQueue* queue, const Services& services)
    : m_frame(frame), m_queue(queue), m_services(services)
{
}

BrowserWindow::~BrowserWindow()
{
    if (m_loadLimitTimer)
        m_queue->cancel(m_loadLimitTimer);
    BrowserProxy::deleteInstance();
    m_proxy = nullptr;
    m_webView.reset();
}

void BrowserWindow::setupContent(const KqString& pageUrl)
{
    m_frame->setTitle(KqString("Browser"));
    m_proxy = BrowserProxy::instance(m_queue, m_services.createDownload, m_services.openUrl);

    m_webView.reset(new PanelWebView(m_services.createEngine(), m_queue));
    m_webView->setSize(kWebViewWidth, kWebViewHeight);
    m_webView->load(pageUrl);
    m_webView->setVisible(false);
    m_frame->setWebViewVisible(false);

    if (!m_loadingVisible) {
        m_frame->setLoadingText(KqString("Loading"));
        m_frame->setLoadingVisible(true);
        m_loadingVisible = true;
    }

    m_webView->jsMessage.connect(this, &BrowserWindow::on_handleJsMessage);
    m_webView->loadFinished.connect(this, &BrowserWindow::finishLoading);
    m_webView->browserClosed.connect(this, &BrowserWindow::onBrowserClosed);
    m_webView->frameChanged.connect(this, &BrowserWindow::onFrameChanged);
    m_proxy->sig_fileDurationReturn.connect(this, &BrowserWindow::on_handleFileDurationReturn);
    m_proxy->sig_downloadSuccessAndNotify.connect(this, &BrowserWindow::on_handleCompleteDownload);

    m_pageUrl = pageUrl;
    m_loadLimitTimer = m_queue->postAfter(m_services.loadLimitMs, [this]() {
        m_loadLimitTimer = 0;
        onLoadLimit();
    });
}

void BrowserWindow::onLoadLimit()
{
    if (!m_loadingVisible)
        return;
    // A page that never answers fails as the engine's own timeout would:
    // the load stops and ends like any failed load.
    m_webView->handler().OnLoadError(-7, L"net::ERR_TIMED_OUT", toWide(m_pageUrl));
    m_webView->stop();
    finishLoading(true);
}

void BrowserWindow::finishLoading(bool ok)
{
    if (!ok)
        return;
    if (m_loadLimitTimer) {
        m_queue->cancel(m_loadLimitTimer);
        m_loadLimitTimer = 0;
    }
    m_loadingVisible = false;
    m_frame->setLoadingVisible(false);
    m_webView->setVisible(true);
    m_frame->setWebViewVisible(true);
}

void BrowserWindow::on_handleJsMessage(const KqString& name, const PageValueList& args)
{
    if (name != KqString("executeCmd") || !m_proxy)
        return;
    if (args.empty() || !args[0].isText()) {
        ignoredCommand(KqString(), "no command word");
        return;
    }
    KqString command = args[0].scalar().asString();
    if (equalsIgnoringCase(command, KqString("startPlayMp3"))) {
        if (!hasTexts(args, 2))
            return ignoredCommand(command, "needs a path");
        m_proxy->startPlayMp3(args[1].scalar().asString());
    } else if (equalsIgnoringCase(command, KqString("stopPlayMp3"))) {
        m_proxy->stopPlayMp3();
    } else if (equalsIgnoringCase(command, KqString("startDownload"))) {
        if (!hasTexts(args, 4) || args.size() < 5 || !args[4].isInt())
            return ignoredCommand(command, "needs url, md5, name and a whole duration");
        m_proxy->startDownload(args[1].scalar().asString(), args[2].scalar().asString(), args[3].scalar().asString(),
                               args[4].scalar().asInt());
    } else if (equalsIgnoringCase(command, KqString("openUrl"))) {
        if (!hasTexts(args, 2))
            return ignoredCommand(command, "needs a URL");
        m_proxy->openUrl(args[1].scalar().asString());
    }
}

void BrowserWindow::on_handleFileDurationReturn(int length)
{
    if (m_webView)
        m_webView->evaluateJavaScript(KqString("loadTotalLength(") + KqString::fromInt(length) + KqString(")"));
}

void BrowserWindow::on_handleCompleteDownload(const KqString& savePath, const KqString& md5, const KqString& name,
                                              int32_t duration)
{
    if (m_webView)
        m_webView->evaluateJavaScript(KqString("downloadSuccess()"));
    if (m_callback) {
        std::wstring path = toWide(savePath), digest = toWide(md5), file = toWide(name);
        m_callback(path.c_str(), digest.c_str(), file.c_str(), duration);
    }
}

bool BrowserWindow::closeRequest()
{
    if (m_closeAccepted)
        return true;
    // The first close of the process waits for the browser; with no browser
    // there is nothing to wait for.
    if (!g_closeBegun && m_webView && m_webView->state() != PanelWebView::NoBrowser) {
        g_closeBegun = true;
        m_webView->closeEvent();
        return false;
    }
    g_closeBegun = true;
    acceptClose();
    return true;
}

void BrowserWindow::acceptClose()
{
    // The page goes with its window (its close does not hold the window),
    // and the host lets go of both.
    m_closeAccepted = true;
    if (m_webView)
        m_webView->closeEvent();
    closed.emit();
}

void BrowserWindow::onBrowserClosed()
{
    // The browser is gone: the window's second close is accepted.
    if (m_closeAccepted)
        return;
    acceptClose();
    m_frame->closeWindow();
}
