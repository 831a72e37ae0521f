#include "SorvaMainWindow.h"

#include "KqAnchors.h"
#include "KqBasicItems.h"
#include "KqEvent.h"
#include "KqFont.h"
#include "KqGraphicsFrameItem.h"
#include "KqPositioner.h"
#include "KqProgressBar.h"
#include "KqPushButton.h"
#include "KqScrollArea.h"
#include "KqTimer.h"
#include "KqWidgetEventHandler.h"
#include "SetupLog.h"
#include "UninstallWindowParts.h"

#include <algorithm>

using namespace uninstallwindow;

KQ_DEFINE_CLASS(SorvaMainWindow, KqFrameWindow, 'TCWW', &kqMakeInstance<SorvaMainWindow>)

SorvaMainWindow::SorvaMainWindow() : m_timer(new KqTimer)
{
    kqRegisterClass("SorvaMainWindow", &SorvaMainWindow::classInfo, 'TCWW');
    prepareResources();
    setWindowTitle(KqString(u"TqSorva\u5378\u8f7d")); // "TqSorva卸载"
    setBackgroundColor(KqColor(246, 246, 246, 246));
    setGeometry(0, 0, 330, 190);
    setWindowDragMode(DragsWindow);
    setWindowFlag(Resizable, false);

    KqGraphicsPixmapItem* back = new KqGraphicsPixmapItem(this);
    back->anchors()->setFill(this);

    TitleBar title = makeTitleBar(this, back, 18, 8);
    title.title->anchors()->setLeft(KqAnchorLine(title.icon, KqAnchorLine::Right));
    title.title->anchors()->setLeftMargin(2);
    title.title->anchors()->setTop(KqAnchorLine(title.bar, KqAnchorLine::Top));
    title.title->anchors()->setTopMargin(14);
    m_close = title.close;
    m_close->setEnabled(false);

    KqGraphicsItem* content = new KqGraphicsItem(back);
    content->anchors()->setTop(KqAnchorLine(title.bar, KqAnchorLine::Bottom));
    content->anchors()->setLeft(KqAnchorLine(back, KqAnchorLine::Left));
    content->anchors()->setRight(KqAnchorLine(back, KqAnchorLine::Right));
    content->anchors()->setBottom(KqAnchorLine(back, KqAnchorLine::Bottom));
    KqGraphicsMarginsPixmapItem* frame = new KqGraphicsMarginsPixmapItem(content);
    frame->setMargins(KqMargins{0, 1, 1, 0});
    frame->anchors()->setFill(content);

    m_status = text(frame, KqString(u"\u6b63\u5728\u5378\u8f7dTqNelu... ...")); // "正在卸载TqNelu... ..."
    // (the frame fills the content: its lines are the content's)
    m_status->anchors()->setLeft(KqAnchorLine(frame, KqAnchorLine::Left));
    m_status->anchors()->setLeftMargin(100);
    m_status->anchors()->setTop(KqAnchorLine(frame, KqAnchorLine::Top));
    m_status->anchors()->setTopMargin(32);

    m_bar = new KqProgressBar(frame);
    m_bar->background()->setStateImageUrl(KqGraphicsFrameItem::NormalImage, KqString(u"uninstall:xiezai_inbar.png"));
    m_bar->setBarImage(KqString(u"uninstall:xiezai_inbar_color.png"));
    m_bar->setHeight(KqImage::fromUrl(KqString(u"uninstall:xiezai_inbar.png")).size().height);
    m_bar->setWidth(280);
    m_bar->anchors()->setTop(KqAnchorLine(m_status, KqAnchorLine::Bottom));
    m_bar->anchors()->setHorizontalCenter(KqAnchorLine(frame, KqAnchorLine::HCenter));
    m_bar->setFlag(AcceptsHover, false);
    m_bar->setFocusPolicy(0);
    m_bar->setAcceptedMouseButtons(MouseButtonsMask >> MouseButtonsShift, false);
    m_bar->setWindowDragMode(DragsWindow);

    m_finishPicture = picture(frame, u"uninstall:xiezai_tanhao.png");
    m_finishPicture->anchors()->setLeft(KqAnchorLine(frame, KqAnchorLine::Left));
    m_finishPicture->anchors()->setLeftMargin(100);
    m_finishPicture->anchors()->setTop(KqAnchorLine(frame, KqAnchorLine::Top));
    m_finishPicture->anchors()->setTopMargin(32);
    m_finishPicture->setVisible(false);
    m_finishText = text(frame, KqString(u"\u5378\u8f7d\u5b8c\u6bd5")); // "卸载完毕"
    m_finishText->anchors()->setMargins(16);
    m_finishText->anchors()->setLeft(KqAnchorLine(m_finishPicture, KqAnchorLine::Right));
    m_finishText->anchors()->setVerticalCenter(KqAnchorLine(m_finishPicture, KqAnchorLine::VCenter));
    m_finishText->setVisible(false);

    redrawNow();
    const KqRectF status = m_status->geometry();
    writeLog(L"rect is: %f,%f,%f,%f", status.x, status.y, status.width, status.height);

    m_button = textButton(this, KqString(u"\u53d6\u6d88")); // "取消"
    m_button->setStateImage(KqGraphicsFrameItem::FocusImage, KqString(u"uninstall:button_foucs.png"));
    m_button->setStateImage(KqGraphicsFrameItem::DisabledImage, KqString(u"uninstall:button_disable.png"));
    m_button->anchors()->setRight(KqAnchorLine(this, KqAnchorLine::Right));
    m_button->anchors()->setRightMargin(130);
    m_button->anchors()->setBottom(KqAnchorLine(this, KqAnchorLine::Bottom));
    m_button->anchors()->setBottomMargin(kButtonBottomMargin);
    m_button->setEnabled(false);

    // Below the bar, across the window, and exactly one list line (two
    // paths) high: scrolled to the newest line no line is ever cut, and the
    // list ends above the button instead of running under it.
    m_list = new KqGraphicsMarginsPixmapItem(frame);
    m_list->anchors()->setTop(KqAnchorLine(m_bar, KqAnchorLine::Bottom));
    m_list->anchors()->setTopMargin(kListTopGap);
    m_list->anchors()->setLeft(KqAnchorLine(frame, KqAnchorLine::Left));
    m_list->anchors()->setRight(KqAnchorLine(frame, KqAnchorLine::Right));
    m_list->setHeight(KqFont().measureText(KqString(u"C:\\\nC:\\"), 1000).height);
    m_scroll = new KqScrollArea(m_list);
    m_scroll->background()->setStateImageUrl(KqGraphicsFrameItem::NormalImage, KqString());
    m_scroll->anchors()->setFill(m_list);
    m_scroll->anchors()->setLeftMargin(32);
    m_column = new KqColumnPositioner;
    m_scroll->setWidget(m_column);

    m_button->eventSignalDispatch()->connect(KqMouseClickedEvent::classInfo(), this, &SorvaMainWindow::onClose);
    m_close->eventSignalDispatch()->connect(KqMouseClickedEvent::classInfo(), this, &SorvaMainWindow::onClose);
    title.minimize->eventSignalDispatch()->connect(KqMouseClickedEvent::classInfo(), this, &SorvaMainWindow::onMinimize);
    eventSignalDispatch()->connect(KqWindowEvent::classInfo(), this, &SorvaMainWindow::onWindowMessage);
    eventSignalDispatch()->connect(KqResizeEvent::classInfo(), this, &SorvaMainWindow::onResized);
    m_timer->timeout.connect(this, &SorvaMainWindow::onTick);
    m_timer->start(300);
}

SorvaMainWindow::~SorvaMainWindow()
{
    dropQueuedReports();
    delete m_timer;
}

void SorvaMainWindow::dropQueuedReports()
{
    HWND window = winId();
    if (!window)
        return;
    MSG msg;
    while (PeekMessageW(&msg, window, MSG_UNINSTALL_PROGRESS, MSG_UNINSTALL_PROGRESS, PM_REMOVE)) {
        std::wstring path;
        double fraction = 0;
        takeUninstallProgress(msg.wParam, msg.lParam, path, fraction);
    }
}

void SorvaMainWindow::closeWindow()
{
    m_timer->stop();
    dropQueuedReports();
    close();
}

void SorvaMainWindow::onWindowMessage(KqGraphicsItem*, KqEvent* event)
{
    KqWindowEvent* e = static_cast<KqWindowEvent*>(event);
    if (e->message == MSG_UNINSTALL_PROGRESS) {
        std::wstring path;
        double fraction = 0;
        takeUninstallProgress(e->wParam, e->lParam, path, fraction);
        onProgress(toKq(onceSeparated(path)), fraction);
    } else if (e->message == MSG_UNINSTALL_FINISH) {
        onFinish();
    } else {
        return;
    }
    e->result = 0;
    e->setAccepted(true);
}

void SorvaMainWindow::onProgress(const KqString& path, double fraction)
{
    redrawNow();
    if (!m_pending.isEmpty())
        m_pending.append(KqChar(u'\n'));
    m_pending.append(path);
    if (++m_pendingPaths % 2 == 0)
        flushList();
    m_bar->setValue(std::max(m_bar->value(), fraction));
}

void SorvaMainWindow::flushList()
{
    if (m_pending.isEmpty())
        return;
    KqGraphicsSimpleTextItem* line;
    const KqVector<KqGraphicsItem*>& lines = m_column->children();
    if (lines.count() < kMaxListItems) {
        line = new KqGraphicsSimpleTextItem(m_column);
        line->setColor(textColor());
    } else {
        line = static_cast<KqGraphicsSimpleTextItem*>(lines.at(kMaxListItems - 1));
    }
    KqRectF size = line->font().measureText(m_pending, m_list->width() - 10);
    line->setTextAndSize(m_pending, KqSizeF{size.width, size.height});
    m_pending = KqString();
    // The newest line in sight: the list scrolls along with the deletion.
    KqScrollBar* bar = m_scroll->verticalScrollBar();
    if (bar && bar->isVisible())
        bar->setValue(bar->maximum());
}

void SorvaMainWindow::onFinish()
{
    writeLog(L"Clean finish, stop timer.");
    m_timer->stop();
    flushList();
    m_status->setVisible(false);
    m_bar->setVisible(false);
    m_finishPicture->setVisible(true);
    m_finishText->setVisible(true);
    m_bar->setValue(m_bar->maximum());
    m_button->text()->setColor(textColor());
    m_button->setText(KqString(u"\u5b8c\u6210")); // "完成"
    m_button->setEnabled(true);
    m_close->setEnabled(true);
    redrawNow();
}

void SorvaMainWindow::onTick() { m_bar->setValue(m_bar->value() + 0.01); }

void SorvaMainWindow::onResized(KqGraphicsItem*, KqEvent*)
{
    const KqRect g = geometry();
    if (g.right - g.left + 1 != 330 || g.bottom - g.top + 1 != 190)
        resize(330, 190);
}

void SorvaMainWindow::onClose(KqGraphicsItem*, KqEvent* event)
{
    event->setAccepted(true);
    closeWindow();
}

void SorvaMainWindow::onMinimize(KqGraphicsItem*, KqEvent* event)
{
    event->setAccepted(true);
    showWindow(SW_SHOWMINIMIZED);
}
