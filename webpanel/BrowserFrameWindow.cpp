#include "BrowserFrameWindow.h"

#include "BrowserWindow.h"
#include "DuiXmlUI.h"
#include "KqEvent.h"
#include "KqLabel.h"
#include "KqPushButton.h"
#include "KqWidgetEventHandler.h"
#include "LoadingView.h"
#include "WebViewItem.h"

namespace {
const wchar_t kFrameProperty[] = L"TqPanelFrame";

DuiFrameWindow* makeBrowserWindow(KqObject* parent) { return new BrowserFrameWindow(parent); }
}  // namespace

BrowserFrameWindow::BrowserFrameWindow(KqObject* parent) : DuiFrameWindow(parent)
{
    setObjectName(KqString(u"BrowserWindow"));
    setWindowFlag(Resizable, false);
    setBackgroundColor(KqColor(0xF2, 0xF4, 0xF7, 255));
    resize(kWidth + 2 * kShadowMargin, kHeight + 2 * kShadowMargin);
    // The page reaches the window's edge: the shadow ring stays outside it
    // instead of tinting the page's outer pixels.
    contentLayer()->setZValue(2);
}

BrowserFrameWindow::~BrowserFrameWindow() { unhookClose(); }

void BrowserFrameWindow::registerFactory()
{
    DuiXmlUI::registerFrameWindow(KqString(u"BrowserWindow"), &makeBrowserWindow);
}

BrowserFrameWindow* BrowserFrameWindow::create(BrowserWindow* logic)
{
    registerFactory();
    DuiFrameWindow* built = DuiXmlUI::createFromFile(KqString(u"layout/browserwindow.xml"));
    BrowserFrameWindow* window = dynamic_cast<BrowserFrameWindow*>(built);
    if (!window) {
        delete built;  // some other class: not ours to show
        return nullptr;
    }
    window->attach(logic);
    return window;
}

void BrowserFrameWindow::setupContent()
{
    m_caption = kq_cast<KqLabel>(DuiXmlUI::findChild(this, KqString(u"labelTitle")));
    if (KqWidgetItem* close = kq_cast<KqWidgetItem>(DuiXmlUI::findChild(this, KqString(u"buttonClose"))))
        close->eventSignalDispatch()->connect(KqMouseClickedEvent::classInfo(), this, &BrowserFrameWindow::onCloseClicked);
    m_webView = new WebViewItem(this, nullptr);
    m_webView->setGeometry(BrowserWindow::kWebViewX, BrowserWindow::kWebViewY, BrowserWindow::kWebViewWidth,
                           BrowserWindow::kWebViewHeight);
    m_webView->setZValue(1);
    m_webView->setVisible(false);
    m_loading = new LoadingView(this);
    m_loading->setZValue(2);
}

void BrowserFrameWindow::attach(BrowserWindow* logic)
{
    m_logic = logic;
    if (m_webView)
        m_webView->setLogic(logic);
}

void BrowserFrameWindow::setTitle(const KqString& title)
{
    setWindowTitle(title);
    if (m_caption)
        m_caption->setText(title);
}

void BrowserFrameWindow::showWindow()
{
    if (m_closed)
        return;
    DuiFrameWindow::showWindow(SW_SHOWNORMAL);
    if (HWND window = winId()) {
        hookClose();
        SetForegroundWindow(window);
    }
}

void BrowserFrameWindow::closeWindow()
{
    m_closed = true;
    unhookClose();
    close();
}

void BrowserFrameWindow::setWebViewVisible(bool visible)
{
    if (m_webView)
        m_webView->setVisible(visible);
}

void BrowserFrameWindow::setLoadingVisible(bool visible)
{
    if (m_loading)
        m_loading->setVisible(visible);
}

void BrowserFrameWindow::setLoadingText(const KqString& text)
{
    if (m_loading)
        m_loading->setText(text);
}

void BrowserFrameWindow::webViewChanged()
{
    if (m_webView)
        m_webView->update();
}

void BrowserFrameWindow::requestClose()
{
    if (m_closed)
        return;
    if (!m_logic || m_logic->closeRequest())
        closeWindow();
}

void BrowserFrameWindow::onCloseClicked(KqGraphicsItem*, KqEvent* event)
{
    event->setAccepted(true);
    requestClose();
}

// The framework lets the system's close destroy the window; the panel must
// ask its logic first, so WM_CLOSE is caught before it.
void BrowserFrameWindow::hookClose()
{
    HWND window = winId();
    if (!window || window == m_hooked)
        return;
    unhookClose();
    SetPropW(window, kFrameProperty, this);
    m_previousProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&BrowserFrameWindow::closeFilter)));
    m_hooked = window;
}

void BrowserFrameWindow::unhookClose()
{
    if (!m_hooked)
        return;
    if (IsWindow(m_hooked)) {
        SetWindowLongPtrW(m_hooked, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_previousProc));
        RemovePropW(m_hooked, kFrameProperty);
    }
    m_hooked = nullptr;
}

LRESULT CALLBACK BrowserFrameWindow::closeFilter(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = static_cast<BrowserFrameWindow*>(GetPropW(window, kFrameProperty));
    if (!self)
        return DefWindowProcW(window, message, wParam, lParam);
    WNDPROC previous = self->m_previousProc;
    if (message == WM_CLOSE) {
        self->requestClose();
        return 0;
    }
    if (message == WM_NCDESTROY) {
        RemovePropW(window, kFrameProperty);
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
        self->m_hooked = nullptr;
    }
    return CallWindowProcW(previous, window, message, wParam, lParam);
}
