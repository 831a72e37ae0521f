#include "WebViewItem.h"

#include "BrowserWindow.h"
#include "KqEvent.h"
#include "KqFrameWindow.h"
#include "KqGraphicsScene.h"
#include "KqPainter.h"
#include "KqWidgetEventHandler.h"
#include "PanelText.h"

#include <windows.h>
#include <gdiplus.h>

#include <algorithm>

namespace {
// The framework's button bits to the engine's button numbers.
int engineButton(int32_t button) { return button == 2 ? 2 : button == 4 ? 1 : 0; }
const int kRightButton = 2;
}  // namespace

WebViewItem::WebViewItem(KqGraphicsItem* parent, BrowserWindow* logic) : KqWidgetItem(parent), m_logic(logic)
{
    setObjectName(KqString(u"webView"));
    setAcceptedMouseButtons(1 | 2 | 4, true);
    setFlag(Focusable | AcceptsHover, true);
    setFlag(NoOwnPaint, false);  // it paints the page itself
    setFocusPolicy(ClickFocus);
    if (KqEventSignalDispatch* dispatch = eventSignalDispatch()) {
        dispatch->connect(KqMouseDownEvent::classInfo(), this, &WebViewItem::onMouseDown);
        dispatch->connect(KqMouseUpEvent::classInfo(), this, &WebViewItem::onMouseUp);
        dispatch->connect(KqMouseMoveEvent::classInfo(), this, &WebViewItem::onMouseMove);
        dispatch->connect(KqMouseWheelEvent::classInfo(), this, &WebViewItem::onWheel);
        dispatch->connect(KqKeyDownEvent::classInfo(), this, &WebViewItem::onKeyDown);
        dispatch->connect(KqKeyUpEvent::classInfo(), this, &WebViewItem::onKeyUp);
        dispatch->connect(KqCharEvent::classInfo(), this, &WebViewItem::onChar);
    }
}

PanelWebView* WebViewItem::view() const { return m_logic ? m_logic->webView() : nullptr; }

void WebViewItem::paint(KqPainter* painter)
{
    PanelWebView* webView = view();
    std::shared_ptr<const EngineFrame> frame = webView ? webView->currentFrame() : nullptr;
    Gdiplus::Graphics* graphics = painter->engine() ? painter->engine()->graphics() : nullptr;
    if (!frame || frame->width <= 0 || frame->height <= 0 || !graphics ||
        frame->bgra.size() < size_t(frame->width) * size_t(frame->height) * 4) {
        painter->fillRect(rect(), KqColor(255, 255, 255, 255));
        return;
    }
    // The picture is drawn one to one; the page has no transparency.
    Gdiplus::Bitmap picture(frame->width, frame->height, frame->width * 4, PixelFormat32bppRGB,
                            const_cast<BYTE*>(frame->bgra.data()));
    Gdiplus::GraphicsState state = graphics->Save();
    graphics->SetInterpolationMode(Gdiplus::InterpolationModeNearestNeighbor);
    graphics->SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
    graphics->SetCompositingMode(Gdiplus::CompositingModeSourceCopy);
    // Edge pixels would otherwise be blended with the transparent outside.
    Gdiplus::ImageAttributes edges;
    edges.SetWrapMode(Gdiplus::WrapModeTileFlipXY);
    graphics->DrawImage(&picture, Gdiplus::Rect(0, 0, frame->width, frame->height), 0, 0, frame->width, frame->height,
                        Gdiplus::UnitPixel, &edges);
    graphics->Restore(state);
    // A picture smaller than the view (the page's size changing, a partial
    // frame) leaves the rest of the view blank instead of unpainted.
    KqRectF area = rect();
    const KqColor blank(255, 255, 255, 255);
    if (frame->width < area.width)
        painter->fillRect(KqRectF(area.x + frame->width, area.y, area.width - frame->width, area.height), blank);
    if (frame->height < area.height)
        painter->fillRect(KqRectF(area.x, area.y + frame->height, std::min<double>(frame->width, area.width),
                                  area.height - frame->height),
                          blank);
}

void WebViewItem::onMouseDown(KqGraphicsItem*, KqEvent* event)
{
    auto* e = static_cast<KqMouseEvent*>(event);
    event->setAccepted(true);
    if (KqGraphicsScene* s = scene())
        s->setFocus(this, 0);
    if (e->button == kRightButton || !view())
        return;  // the right button is the panel's own
    EngineMouseEvent m;
    m.type = EngineMouseEvent::Press;
    m.button = engineButton(e->button);
    m.x = e->itemPos.x;
    m.y = e->itemPos.y;
    view()->mouseEvent(m);
}

void WebViewItem::onMouseUp(KqGraphicsItem*, KqEvent* event)
{
    auto* e = static_cast<KqMouseEvent*>(event);
    event->setAccepted(true);
    if (e->button == kRightButton) {
        contextMenu(event);
        return;
    }
    if (!view())
        return;
    EngineMouseEvent m;
    m.type = EngineMouseEvent::Release;
    m.button = engineButton(e->button);
    m.x = e->itemPos.x;
    m.y = e->itemPos.y;
    view()->mouseEvent(m);
}

void WebViewItem::onMouseMove(KqGraphicsItem*, KqEvent* event)
{
    auto* e = static_cast<KqMouseEvent*>(event);
    event->setAccepted(true);
    if (!view())
        return;
    EngineMouseEvent m;
    m.type = EngineMouseEvent::Move;
    m.x = e->itemPos.x;
    m.y = e->itemPos.y;
    view()->mouseEvent(m);
}

void WebViewItem::onWheel(KqGraphicsItem*, KqEvent* event)
{
    auto* e = static_cast<KqMouseWheelEvent*>(event);
    event->setAccepted(true);
    if (!view())
        return;
    EngineMouseEvent m;
    m.type = EngineMouseEvent::Wheel;
    m.x = e->itemPos.x;
    m.y = e->itemPos.y;
    m.wheelDelta = e->delta;
    view()->mouseEvent(m);
}

void WebViewItem::onKeyDown(KqGraphicsItem*, KqEvent* event)
{
    event->setAccepted(true);
    if (!view())
        return;
    EngineKeyEvent k;
    k.type = EngineKeyEvent::Down;
    k.virtualKey = static_cast<KqKeyEvent*>(event)->virtualKey;
    view()->keyEvent(k);
}

void WebViewItem::onKeyUp(KqGraphicsItem*, KqEvent* event)
{
    event->setAccepted(true);
    if (!view())
        return;
    EngineKeyEvent k;
    k.type = EngineKeyEvent::Up;
    k.virtualKey = static_cast<KqKeyEvent*>(event)->virtualKey;
    view()->keyEvent(k);
}

void WebViewItem::onChar(KqGraphicsItem*, KqEvent* event)
{
    event->setAccepted(true);
    if (!view())
        return;
    EngineKeyEvent k;
    k.type = EngineKeyEvent::Char;
    k.virtualKey = static_cast<KqCharEvent*>(event)->character;
    k.text = std::wstring(1, static_cast<wchar_t>(k.virtualKey));
    view()->keyEvent(k);
}

void WebViewItem::contextMenu(KqEvent* event)
{
    PanelWebView* webView = view();
    KqGraphicsScene* s = scene();
    KqFrameWindow* frame = s ? kq_cast<KqFrameWindow>(static_cast<KqRttiObject*>(s->roleItem(KqGraphicsScene::FrameWindow))) : nullptr;
    HWND window = frame ? frame->winId() : nullptr;
    if (!webView || !window)
        return;
    // The page's menu is ours: view source and the developer tools.
    HMENU menu = CreatePopupMenu();
    for (const ContextMenuItem& item : webView->handler().contextMenu())
        AppendMenuW(menu, MF_STRING | (item.enabled ? 0 : MF_GRAYED), static_cast<UINT_PTR>(item.command),
                    toWide(item.text).c_str());
    KqPoint at = static_cast<KqMouseEvent*>(event)->screenPos;
    int command = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, window, nullptr);
    DestroyMenu(menu);
    if (command)
        webView->handler().onContextMenuCommand(command);
}
