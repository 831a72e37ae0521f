#include "SorvaCheckWindow.h"

#include "SetupText.h"
#include "SetupTextBlock.h"
#include "SetupWindowParts.h"

#include "SetupConstants.h"
#include "SetupLog.h"
#include "SorvaSetupChecker.h"
#include "SorvaSetupCommands.h"
#include "SorvaSetupUI.h"
#include "SystemUtils.h"

#include "KqAnchors.h"
#include "KqEvent.h"
#include "KqWidgetEventHandler.h"

#include <shellapi.h>

#include <vector>

KQ_DEFINE_CLASS(SorvaCheckWindow, KqFrameWindow, 'TCWW', nullptr)

namespace {
const KqColor kTextColour(62, 62, 62);
const int kContentWidth = SorvaCheckWindow::kWidth - 2 * KqFrameWindow::kShadowMargin;
const int kContentHeight = SorvaCheckWindow::kHeight - 2 * KqFrameWindow::kShadowMargin;

KqPushButton* makeDialogButton(KqGraphicsItem* parent, const char16_t* caption)
{
    return makeSkinnedButton(parent, u"setup:button_normal.png", u"setup:button_hover.png", u"setup:button_click.png",
                             KqString(caption));
}
} // namespace

std::wstring SorvaCheckWindow::helpPageUrl() { return L"https://bbs.brenlo.com/thread-80376-1-1.html"; }

SorvaCheckWindow::SorvaCheckWindow(SorvaSetupUI* ui, SorvaSetupCommands* control) : m_ui(ui), m_control(control)
{
    useSetupResources();
    setWindowIcon(103);
    setWindowTitle(KqString(u"Tq Sorva安装"));
    resize(kWidth, kHeight);
    setBackgroundColor(KqColor(248, 248, 248));
    setWindowFlag(DeleteOnClose, true);

    KqGraphicsMarginsPixmapItem* title = new KqGraphicsMarginsPixmapItem(this);
    title->setPixmapUrl(KqString(u"setup:title_bg.png"));
    title->setGeometry(0, 0, kContentWidth, 32);
    makePicture(title, u"setup:anz_icon.png", 8, 8);
    makeText(title, KqString(u"安装检测"), KqColor(255, 255, 255), 12, 30, 9);
    m_close = makeCloseButton(title);
    m_close->setPos(kContentWidth - m_close->width(), 0);

    makePicture(this, u"setup:warning.png", 24, 56);
    m_message = new SetupTextBlock(this, kTextColour);
    m_message->setPos(68, 64);
    m_message->setText(KqString(u"正在检测安装环境，请稍等..."));
    m_list = new SetupTextBlock(this, kTextColour);
    m_list->setPos(68, 44);
    m_list->setVisible(false);

    m_first = makeDialogButton(this, u"取消");
    m_first->setPos(kContentWidth - 20 - m_first->width(), kContentHeight - 20 - m_first->height());
    m_retry = makeDialogButton(this, u"重试");
    m_retry->setPos(m_first->x() - 10 - m_retry->width(), m_first->y());
    m_retry->setVisible(false);
    m_help = makeDialogButton(this, u"帮助");
    m_help->setPos(m_retry->x() - 10 - m_help->width(), m_first->y());
    m_help->setVisible(false);

    m_close->eventSignalDispatch()->connect(KqMouseClickedEvent::classInfo(), this, &SorvaCheckWindow::onClose);
    m_first->eventSignalDispatch()->connect(KqMouseClickedEvent::classInfo(), this, &SorvaCheckWindow::onClose);
    m_retry->eventSignalDispatch()->connect(KqMouseClickedEvent::classInfo(), this, &SorvaCheckWindow::onRetry);
    m_help->eventSignalDispatch()->connect(KqMouseClickedEvent::classInfo(), this, &SorvaCheckWindow::onHelp);
    eventSignalDispatch()->connect(KqWindowEvent::classInfo(), this, &SorvaCheckWindow::onWindowMessage);
}

void SorvaCheckWindow::onClose(KqGraphicsItem*, KqEvent* event)
{
    event->setAccepted(true);
    close();
}

void SorvaCheckWindow::onRetry(KqGraphicsItem*, KqEvent* event)
{
    event->setAccepted(true);
    if (m_control)
        m_control->restartCheck(1);
}

void SorvaCheckWindow::onHelp(KqGraphicsItem*, KqEvent* event)
{
    event->setAccepted(true);
    ShellExecuteW(nullptr, L"open", helpPageUrl().c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void SorvaCheckWindow::showUsingPrograms()
{
    std::vector<std::wstring> programs;
    findProcessesUsingModule(setup::kFilterName, programs);
    if (programs.empty()) {
        // The programs quit meanwhile: check again rather than show an empty list.
        if (m_control)
            m_control->restartCheck(1);
        return;
    }
    std::wstring names;
    for (size_t i = 0; i < programs.size(); ++i) {
        if (i)
            names += L"\n";
        names += SorvaSetupChecker::displayName(programs[i]);
    }
    m_first->setText(KqString(u"取消"));
    m_list->setText(kqText(L"检测到以下程序正在使用tqNelu虚拟摄像头，\n请先关闭以下程序后再重新运行安装程序。\n[" + names + L"]"));
    m_message->setVisible(false);
    m_list->setVisible(true);
    m_retry->setVisible(true);
    m_help->setVisible(true);
}

void SorvaCheckWindow::onWindowMessage(KqGraphicsItem*, KqEvent* event)
{
    KqWindowEvent* message = static_cast<KqWindowEvent*>(event);
    switch (message->message) {
    case setup::MSG_SETUP_EXIST:
        showWindow(SW_SHOW);
        m_message->setText(KqString(u"TqNelu安装程序已经在运行。"));
        m_first->setText(KqString(u"确定"));
        break;
    case setup::MSG_SHOW_MAIN_UI: {
        std::wstring* path = reinterpret_cast<std::wstring*>(message->wParam);
        if (m_ui && path)
            m_ui->showSetupMainUI(*path);
        delete path;
        close();
        break;
    }
    case setup::MSG_AX_USIMG:
        showWindow(SW_SHOW);
        showUsingPrograms();
        break;
    default:
        return;
    }
    message->setAccepted(true);
}
