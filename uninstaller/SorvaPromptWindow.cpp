#include "SorvaPromptWindow.h"

#include "KqAnchors.h"
#include "KqBasicItems.h"
#include "KqEvent.h"
#include "KqPushButton.h"
#include "KqWidgetEventHandler.h"
#include "UninstallWindowParts.h"

using namespace uninstallwindow;

KQ_DEFINE_CLASS(SorvaPromptWindow, KqFrameWindow, 'TCWW', &kqMakeInstance<SorvaPromptWindow>)

namespace {

KqGraphicsMarginsPixmapItem* group(KqGraphicsItem* content)
{
    KqGraphicsMarginsPixmapItem* item = new KqGraphicsMarginsPixmapItem(content);
    item->setMargins(KqMargins{0, 1, 1, 0});
    item->anchors()->setFill(content);
    return item;
}

} // namespace

SorvaPromptWindow::SorvaPromptWindow()
{
    kqRegisterClass("SorvaPromptWindow", &SorvaPromptWindow::classInfo, 'TCWW');
    prepareResources();
    setWindowIcon(101);
    setWindowTitle(KqString(u"TqSorva \u5378\u8f7d")); // "TqSorva 卸载"
    setGeometry(0, 0, 330, 190);
    setWindowDragMode(DragsWindow);
    setBackgroundColor(KqColor(246, 246, 246, 255));
    setWindowFlag(Resizable, false);

    TitleBar title = makeTitleBar(this, this, 15, 7);
    title.title->anchors()->setLeft(KqAnchorLine(title.icon, KqAnchorLine::Right));
    title.title->anchors()->setLeftMargin(11);
    title.title->anchors()->setVerticalCenter(KqAnchorLine(title.bar, KqAnchorLine::VCenter));
    m_close = title.close;

    KqGraphicsItem* content = new KqGraphicsItem(this);
    content->anchors()->setTop(KqAnchorLine(title.bar, KqAnchorLine::Bottom));
    content->anchors()->setLeft(KqAnchorLine(this, KqAnchorLine::Left));
    content->anchors()->setRight(KqAnchorLine(this, KqAnchorLine::Right));
    content->anchors()->setBottom(KqAnchorLine(this, KqAnchorLine::Bottom));

    m_question = group(content);
    KqGraphicsPixmapItem* ask = picture(m_question, u"uninstall:xiezai_qustion.png");
    ask->anchors()->setLeft(KqAnchorLine(m_question, KqAnchorLine::Left));
    ask->anchors()->setLeftMargin(80);
    ask->anchors()->setTop(KqAnchorLine(m_question, KqAnchorLine::Top));
    ask->anchors()->setTopMargin(32);
    KqGraphicsSimpleTextItem* askText = text(m_question, KqString(u"\u786e\u5b9a\u5378\u8f7dTqNelu\u5417\uff1f"));
    askText->anchors()->setMargins(16);
    askText->anchors()->setLeft(KqAnchorLine(ask, KqAnchorLine::Right));
    askText->anchors()->setVerticalCenter(KqAnchorLine(ask, KqAnchorLine::VCenter));

    m_warning = group(content);
    KqGraphicsPixmapItem* warn = picture(m_warning, u"uninstall:xiezai_tanhao.png");
    warn->anchors()->setLeft(KqAnchorLine(m_warning, KqAnchorLine::Left));
    warn->anchors()->setLeftMargin(33);
    warn->anchors()->setTop(KqAnchorLine(m_warning, KqAnchorLine::Top));
    warn->anchors()->setTopMargin(32);
    m_warningText = text(m_warning, KqString(u"\u68c0\u6d4b\u5230TqNelu\u6b63\u5728\u8fd0\u884c\uff0c\u5378\u8f7d\u65e0\u6cd5\u7ee7\u7eed\uff01\n\n"
                                             u"\u8bf7\u5173\u95edTqNelu\uff0c\u5e76\u5355\u51fb[\u91cd\u8bd5]\u3002\n"
                                             u"\u6216\u8005\u5355\u51fb[\u53d6\u6d88]\u9000\u51fa\u5378\u8f7d\u3002"));
    m_warningText->anchors()->setTop(KqAnchorLine(m_warning, KqAnchorLine::Top));
    m_warningText->anchors()->setTopMargin(30);
    m_warningText->anchors()->setLeft(KqAnchorLine(warn, KqAnchorLine::Right));
    m_warningText->anchors()->setLeftMargin(10);

    m_cancel = textButton(this, KqString(u"\u53d6\u6d88")); // "取消"
    m_cancel->anchors()->setMargins(10);
    m_cancel->anchors()->setRight(KqAnchorLine(this, KqAnchorLine::Right));
    m_cancel->anchors()->setRightMargin(80);
    m_cancel->anchors()->setBottom(KqAnchorLine(this, KqAnchorLine::Bottom));
    m_cancel->anchors()->setBottomMargin(20);
    m_ok = textButton(this, KqString(u"\u786e\u5b9a")); // "确定"
    m_ok->anchors()->setRight(KqAnchorLine(m_cancel, KqAnchorLine::Left));
    m_ok->anchors()->setRightMargin(10);
    m_ok->anchors()->setVerticalCenter(KqAnchorLine(m_cancel, KqAnchorLine::VCenter));

    m_ok->eventSignalDispatch()->connect(KqMouseClickedEvent::classInfo(), this, &SorvaPromptWindow::onOk);
    m_cancel->eventSignalDispatch()->connect(KqMouseClickedEvent::classInfo(), this, &SorvaPromptWindow::onClose);
    m_close->eventSignalDispatch()->connect(KqMouseClickedEvent::classInfo(), this, &SorvaPromptWindow::onClose);
    title.minimize->eventSignalDispatch()->connect(KqMouseClickedEvent::classInfo(), this, &SorvaPromptWindow::onMinimize);

    m_warning->setVisible(false);
    setState(Question);
    eventSignalDispatch()->connect(KqWindowEvent::classInfo(), this, &SorvaPromptWindow::onWindowMessage);
    eventSignalDispatch()->connect(KqResizeEvent::classInfo(), this, &SorvaPromptWindow::onResized);
}

void SorvaPromptWindow::setState(int state)
{
    if (state == Question) {
        m_question->setVisible(true);
        m_warning->setVisible(false);
    } else if (state == Retry) {
        setGeometry(0, 0, 330, 200);
        m_ok->setText(KqString(u"\u91cd\u8bd5")); // "重试"
        m_question->setVisible(false);
        m_warning->setVisible(true);
    } else {
        return;
    }
    m_state = state;
}

void SorvaPromptWindow::onWindowMessage(KqGraphicsItem*, KqEvent* event)
{
    KqWindowEvent* e = static_cast<KqWindowEvent*>(event);
    if (e->message == MSG_UNINSTALL_RETRY) {
        setState(Retry);
        showWindow(SW_SHOWNORMAL);
    } else if (e->message == MSG_UNINSTALL_CLOSE) {
        close();
    } else {
        return;
    }
    e->result = 0;
    e->setAccepted(true);
}

void SorvaPromptWindow::onResized(KqGraphicsItem*, KqEvent*)
{
    const KqRect g = geometry();
    if (g.right - g.left + 1 != 330 || g.bottom - g.top + 1 != 190)
        resize(330, 190);
}

void SorvaPromptWindow::onOk(KqGraphicsItem*, KqEvent* event)
{
    event->setAccepted(true);
    hide();
    if (m_control)
        m_control->startCheck();
}

void SorvaPromptWindow::onClose(KqGraphicsItem*, KqEvent* event)
{
    event->setAccepted(true);
    close();
}

void SorvaPromptWindow::onMinimize(KqGraphicsItem*, KqEvent* event)
{
    event->setAccepted(true);
    showWindow(SW_SHOWMINIMIZED);
}
