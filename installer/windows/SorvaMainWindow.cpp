#include "SorvaMainWindow.h"

#include "SetupText.h"
#include "SetupTextBlock.h"
#include "SetupWindowParts.h"
#include "SorvaMessageBox.h"

#include "SetupConstants.h"
#include "SetupLog.h"
#include "SorvaSetupCommands.h"
#include "SorvaSetupCore.h"
#include "SorvaSetupDecompressor.h"
#include "SystemUtils.h"

#include "KqAnchors.h"
#include "KqEvent.h"
#include "KqGraphicsFrameItem.h"
#include "KqPositioner.h"
#include "KqProgressBar.h"
#include "KqResourceLib.h"
#include "KqScrollArea.h"
#include "KqWidgetEventHandler.h"

#include <algorithm>

KQ_DEFINE_CLASS(SorvaMainWindow, KqFrameWindow, 'TCWW', nullptr)

namespace {
const KqColor kStepColour(102, 102, 102);
const int kContentWidth = SorvaMainWindow::kWidth - 2 * KqFrameWindow::kShadowMargin;
const int kContentHeight = SorvaMainWindow::kHeight - 2 * KqFrameWindow::kShadowMargin;
const int kTitleHeight = 70;
// The blue bar at the top of the title area; the steps sit below it on the
// window's light background.
const int kTitleBarHeight = 32;
const int kPageTop = kTitleHeight + 1;
const int kPageHeight = kContentHeight - kPageTop - 56;
const double kStepX[3] = {150, 235, 320};
} // namespace

SorvaMainWindow::SorvaMainWindow(const std::wstring& installPath, SorvaSetupCommands* control)
    : m_installPath(installPath), m_control(control)
{
    useSetupResources();
    setWindowIcon(103);
    setWindowTitle(KqString(u"Tq Sorva安装"));
    resize(kWidth, kHeight);
    setBackgroundColor(KqColor(246, 246, 246));
    setWindowFlag(DeleteOnClose, true);

    buildTitle();
    buildOptionsPage();
    buildInstallPage();
    buildFinishPage();

    m_next = makeSkinnedButton(this, u"setup:anz_next.png", u"setup:anz_next_hover.png", u"setup:anz_next_click.png");
    m_next->setPos(kContentWidth - 20 - m_next->width(), kContentHeight - 12 - m_next->height());
    m_next->eventSignalDispatch()->connect(KqMouseClickedEvent::classInfo(), this, &SorvaMainWindow::onNext);

    eventSignalDispatch()->connect(KqWindowEvent::classInfo(), this, &SorvaMainWindow::onWindowMessage);
    eventSignalDispatch()->connect(KqWinSysCommandEvent::classInfo(), this, &SorvaMainWindow::onSysCommand);
    eventSignalDispatch()->connect(KqResizeEvent::classInfo(), this, &SorvaMainWindow::onResize);

    SorvaSetupCore::writeMachineIdIfMissing();
}

void SorvaMainWindow::buildTitle()
{
    KqGraphicsMarginsPixmapItem* title = new KqGraphicsMarginsPixmapItem(this);
    title->setPixmapUrl(KqString(u"setup:title_bg.png"));
    title->setGeometry(0, 0, kContentWidth, kTitleBarHeight);
    makePicture(title, u"setup:anz_icon.png", 10, 8);
    makePicture(title, u"setup:anz_text.png", 32, 4);
    const char16_t* names[3] = {u"选项", u"安装", u"完成"};
    for (int i = 0; i < 3; ++i)
        m_steps[i] = makeText(this, KqString(names[i]), kStepColour, 12, kStepX[i], 44);
    m_marker = makePicture(this, u"setup:anz_zy.png", kStepX[0] - 8, kTitleHeight - 6);
    makePicture(this, u"setup:separate_line.png", 15, kTitleHeight);

    m_close = makeCloseButton(title);
    m_close->setPos(kContentWidth - m_close->width(), 0);
    m_close->eventSignalDispatch()->connect(KqMouseClickedEvent::classInfo(), this, &SorvaMainWindow::onCloseClicked);
    m_minimize = makeSkinnedButton(title, u"setup:min_normal.png", u"setup:min_hover.png", u"setup:min_press.png");
    m_minimize->setPos(m_close->x() - m_minimize->width(), 0);
    m_minimize->eventSignalDispatch()->connect(KqMouseClickedEvent::classInfo(), this, &SorvaMainWindow::onMinimize);
}

void SorvaMainWindow::buildOptionsPage()
{
    for (int i = 0; i < 3; ++i) {
        KqGraphicsMarginsPixmapItem* page = new KqGraphicsMarginsPixmapItem(this);
        page->setPixmapUrl(KqString(u"setup:anz_ct.png"));
        page->setGeometry(0, kPageTop, kContentWidth, kPageHeight);
        page->setVisible(i == 0);
        m_pages[i] = page;
    }
    KqGraphicsItem* page = m_pages[0];

    KqGraphicsMarginsPixmapItem* frame = new KqGraphicsMarginsPixmapItem(page);
    frame->setPixmapUrl(KqString(u"setup:licence_bk.png"));
    frame->setMargins(KqMargins{3, 3, 3, 3});
    frame->setGeometry(20, 10, kContentWidth - 40, kPageHeight - 72);
    m_licenceArea = new KqScrollArea(frame);
    m_licenceArea->setGeometry(4, 4, frame->width() - 8, frame->height() - 8);
    // The licence picture is the box; the area's own edit frame would draw a second one.
    m_licenceArea->background()->setVisible(false);
    m_licence = new SetupTextBlock(nullptr, kStepColour);
    const KqByteArray bytes = kqReadResource(KqString(u"setup:licence.txt"));
    m_licence->setText(KqString(u"使用协议\n--------------------------------------------------------\n") +
                       KqString::fromUtf8(bytes.data(), bytes.size()));
    m_licenceArea->setWidget(m_licence);

    m_agree = new KqCheckBox(page);
    m_agree->setText(KqString(u"我已阅读并同意TqNelu的最终用户协议"));
    m_agree->setChecked(true);
    m_agree->setPos(20, kPageHeight - 56);
    m_agree->eventSignalDispatch()->connect(KqCheckBoxEvent::classInfo(), this, &SorvaMainWindow::onAgreeChanged);
    m_decoder = new KqCheckBox(page);
    m_decoder->setText(KqString(u"安装视频解码器"));
    m_decoder->setChecked(true);
    m_decoder->setPos(20, kPageHeight - 30);
}

void SorvaMainWindow::buildInstallPage()
{
    KqGraphicsItem* page = m_pages[1];
    m_bar = new KqProgressBar(page);
    m_bar->background()->setStateImageUrl(KqGraphicsFrameItem::NormalImage, KqString(u"setup:anz_inbar.png"));
    m_bar->background()->setStateImageUrl(KqGraphicsFrameItem::HoverImage, KqString(u"setup:anz_inbar.png"));
    m_bar->background()->setStateImageUrl(KqGraphicsFrameItem::PressedImage, KqString(u"setup:anz_inbar.png"));
    m_bar->background()->setStateImageUrl(KqGraphicsFrameItem::FocusImage, KqString(u"setup:anz_inbar.png"));
    m_bar->setBarImage(KqString(u"setup:anz_inbar_color.png"));
    m_bar->setGeometry(28, kPageHeight - 22 - 12, kContentWidth - 56, 12);
    m_progressText = makeText(page, KqString(), kStepColour, 12, 28, kPageHeight - 22 - 12 - 24);
}

void SorvaMainWindow::buildFinishPage()
{
    KqGraphicsItem* page = m_pages[2];
    makeText(page, KqString(u"TqNelu安装向导完成"), KqColor(62, 62, 62), 16, 40, 40);
    makeText(page, KqString(u"单击\"完成\"退出安装程序。"), kStepColour, 12, 40, 80);
    m_runNow = new KqCheckBox(page);
    m_runNow->setText(KqString(u"立即运行TqNelu"));
    m_runNow->setChecked(true);
    m_runNow->setPos(40, 120);
}

KqGraphicsItem* SorvaMainWindow::pageItem(int page) const
{
    switch (page) {
    case OptionsPage: return m_pages[0];
    case InstallPage: return m_pages[1];
    case FinishPage: return m_pages[2];
    default: return nullptr;
    }
}

SorvaMessageBox* SorvaMainWindow::prompt() const
{
    return static_cast<SorvaMessageBox*>(static_cast<KqGraphicsItem*>(m_prompt.get()));
}

void SorvaMainWindow::moveMarkerTo(int step) { m_marker->setX(kStepX[step] - 8); }

void SorvaMainWindow::onNextClicked()
{
    writeLog(L"SorvaMainWindow::onNextClicked, current page is %d", m_page);
    switch (m_page) {
    case OptionsPage: {
        if (!isValidInstallPath(m_installPath) || !installPathFitsPayload(m_installPath)) {
            _showPrompt(0);
            return;
        }
        trimSpace(m_installPath);
        if (m_control)
            m_control->setPath(m_installPath);
        m_pages[0]->setVisible(false);
        m_pages[1]->setVisible(true);
        if (m_control)
            m_control->startDecompress(true);
        m_page = InstallPage;
        m_next->setVisible(false);
        moveMarkerTo(1);
        m_close->setEnabled(false);
        EnableMenuItem(GetSystemMenu(winId(), FALSE), SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
        break;
    }
    case InstallPage:
        m_pages[1]->setVisible(false);
        m_pages[2]->setVisible(true);
        m_page = FinishPage;
        setButtonPictures(m_next, u"setup:anz_finish.png", u"setup:anz_finish_hover.png", u"setup:anz_finish_click.png");
        m_next->setVisible(true);
        moveMarkerTo(2);
        m_close->setEnabled(true);
        break;
    case FinishPage:
        finish();
        break;
    default:
        break;
    }
}

void SorvaMainWindow::finish()
{
    hide();
    if (m_runNow->isChecked() && m_control)
        m_control->runTqRun();
    // The last window: closing it ends the message loop with exit code 0.
    close();
}

void SorvaMainWindow::askToQuit() { _showMessage(0, KqString(u"确定要退出安装吗？")); }

SorvaMessageBox* SorvaMainWindow::newBox()
{
    SorvaMessageBox* box = new SorvaMessageBox(this);
    skinPrompt(box);
    m_prompt = KqWeakPointer(box);
    return box;
}

void SorvaMainWindow::_showPrompt(int type)
{
    writeLog(L"SorvaMainWindow::_showPrompt, current page is %d, type is %d", m_page, type);
    SorvaMessageBox* box = newBox();
    box->button(2)->setEnabled(false);
    box->button(0)->setVisible(false);
    if (type == 0) {
        box->setText(KqString(u"安装路径非法"));
        box->setButtonText(1, KqString(u"确定"));
    } else if (type == 2) {
        box->setText(KqString(u"检测到TqNelu正在运行，[继续]将关闭TqNelu，\n[取消]退出安装。"));
        box->button(0)->setVisible(true);
        box->setButtonText(0, KqString(u"继续"));
        box->setButtonText(1, KqString(u"取消"));
    }
    box->eventSignalDispatch()->connect(KqMessageBoxEvent::classInfo(), this, &SorvaMainWindow::onPromptAnswered);
    box->show();
}

void SorvaMainWindow::_showMessage(int type, const KqString& text)
{
    SorvaMessageBox* box = newBox();
    box->setText(text);
    box->setButtonText(0, KqString(u"确定"));
    if (type == 0) {
        box->setButtonText(1, KqString(u"取消"));
    } else if (type == 1) {
        box->button(1)->setVisible(false);
        box->button(2)->setEnabled(false);
    }
    box->eventSignalDispatch()->connect(KqMessageBoxEvent::classInfo(), this, &SorvaMainWindow::onMessageAnswered);
    box->show();
}

void SorvaMainWindow::onPromptAnswered(KqGraphicsItem*, KqEvent* event)
{
    event->setAccepted(true);
    if (m_page != InstallPage || !m_control)
        return;
    const int answer = static_cast<KqMessageBoxEvent*>(event)->result;
    if (answer == 0) {
        m_control->forceQuit();
    } else if (answer == 1) {
        m_control->stopDecompress();
        close();
    }
}

void SorvaMainWindow::onMessageAnswered(KqGraphicsItem*, KqEvent* event)
{
    event->setAccepted(true);
    if (m_componentFailed && m_control)
        m_control->openFullInstaller();
    if (static_cast<KqMessageBoxEvent*>(event)->result == 0) {
        writeSetupIni("IfInstalled", "1");
        close();
    }
}

void SorvaMainWindow::onWindowMessage(KqGraphicsItem*, KqEvent* event)
{
    KqWindowEvent* message = static_cast<KqWindowEvent*>(event);
    switch (message->message) {
    case setup::MSG_TQ_RUNNING:
        _showPrompt(2);
        break;
    case setup::MSG_PROGRESS: {
        double* fraction = reinterpret_cast<double*>(message->wParam);
        std::wstring* text = reinterpret_cast<std::wstring*>(message->lParam);
        if (text)
            m_progressText->setText(kqText(*text));
        if (fraction)
            m_bar->setValue(std::min(std::max(*fraction, m_bar->minimum()), m_bar->maximum()));
        delete fraction;
        delete text;
        break;
    }
    case setup::MSG_DECOMPRESS_FINISH:
        m_bar->setValue(m_bar->maximum());
        onNextClicked();
        break;
    case setup::MSG_QUIT_SETUP: {
        const int code = static_cast<int>(message->wParam);
        if (code == setup::DR_DecompressInstallFailed || code == setup::DR_DecompressComponentFailed) {
            _showMessage(1, KqString(u"解压文件失败，请检查安装目录是否有写入权限。"));
        } else if (code == setup::DR_DownloadComponentFailed) {
            m_componentFailed = true;
            _showMessage(1, KqString(u"组件下载失败，请手动下载完整版安装程序。"));
        }
        break;
    }
    default:
        return;
    }
    message->setAccepted(true);
}

void SorvaMainWindow::onSysCommand(KqGraphicsItem*, KqEvent* event)
{
    KqWinSysCommandEvent* command = static_cast<KqWinSysCommandEvent*>(event);
    if ((command->commandId & 0xFFF0) != SC_CLOSE)
        return;
    command->result = 0;
    command->setAccepted(true);
    if (m_page == OptionsPage && !prompt())
        askToQuit();
}

void SorvaMainWindow::onResize(KqGraphicsItem*, KqEvent*)
{
    const KqRect now = geometry();
    if (now.right - now.left + 1 != kWidth || now.bottom - now.top + 1 != kHeight)
        resize(kWidth, kHeight);
}

void SorvaMainWindow::onNext(KqGraphicsItem*, KqEvent* event)
{
    event->setAccepted(true);
    onNextClicked();
}

void SorvaMainWindow::onCloseClicked(KqGraphicsItem*, KqEvent* event)
{
    event->setAccepted(true);
    if (!m_close->isEnabled())
        return;
    if (m_page == FinishPage)
        finish();
    else
        askToQuit();
}

void SorvaMainWindow::onMinimize(KqGraphicsItem*, KqEvent* event)
{
    event->setAccepted(true);
    minimize();
}

void SorvaMainWindow::onAgreeChanged(KqGraphicsItem*, KqEvent* event)
{
    m_next->setEnabled(static_cast<KqCheckBoxEvent*>(event)->checked);
}
