#include "SorvaMessageBox.h"

#include "SetupTextBlock.h"

#include "KqAnchors.h"
#include "KqAnimation.h"
#include "KqBasicItems.h"
#include "KqEvent.h"
#include "KqGraphicsFrameItem.h"
#include "KqGraphicsScene.h"
#include "KqObject.h"
#include "KqPositioner.h"
#include "KqPropertyRegistry.h"
#include "KqPushButton.h"
#include "KqRegion.h"
#include "KqWidgetEventHandler.h"

KQ_DEFINE_CLASS(SorvaMessageBox, KqWidgetItem, 'MBOX', nullptr)

namespace {

const KqString kFlash(u"flash");
const int kTitleHeight = 32;
const int kBottomHeight = 44;

int intFrom(const KqVariant& value) { return static_cast<int>(value.toDouble()); }

KqPropertyRegistry* boxProperties() { return KqPropertyRegistry::of<SorvaMessageBox>(); }

KqPushButton* makeButton(KqGraphicsItem* parent, const char16_t* name, const char16_t* caption)
{
    KqPushButton* button = new KqPushButton(parent);
    button->setObjectName(KqString(name));
    button->setText(KqString(caption));
    button->resize(70, 28);
    return button;
}

} // namespace

SorvaMessageBox::SorvaMessageBox(KqGraphicsItem* parent) : KqWidgetItem(parent)
{
    registerProperties();
    setVisible(false);
    anchors()->setFill(parent);
    // Above the page it covers.
    setZValue(1000);

    // Drawn first: below the dialog, five units outside it on every side.
    m_border = new KqGraphicsMarginsPixmapItem(this);
    m_border->setObjectName(KqString(u"border"));
    m_border->setMargins(KqMargins{12, 12, 12, 12});
    m_border->setPixmapUrl(KqString(u"setup:shadow.png"));
    m_border->resize(kDialogWidth + 10, kDialogHeight + 10);
    m_border->anchors()->setCenterIn(this);

    m_dialog = new KqGraphicsItem(this);
    m_dialog->resize(kDialogWidth, kDialogHeight);
    m_dialog->anchors()->setCenterIn(this);
    m_dialog->setClipRegion(new KqRegion(KqRect(0, 0, kDialogWidth, kDialogHeight), 6, 6));
    KqGraphicsRectItem* background = new KqGraphicsRectItem(m_dialog);
    background->setColor(KqColor(248, 248, 248));
    background->anchors()->setFill(m_dialog);

    m_titleBar = new KqGraphicsMarginsPixmapItem(m_dialog);
    static_cast<KqGraphicsMarginsPixmapItem*>(m_titleBar)->setPixmapUrl(KqString(u"setup:title_bg.png"));
    m_titleBar->setGeometry(0, 0, kDialogWidth, kTitleHeight);
    m_titleIcon = new KqGraphicsPixmapItem(m_titleBar);
    m_titleIcon->setGeometry(8, 8, 16, 16);
    KqGraphicsSimpleTextItem* title = new KqGraphicsSimpleTextItem(m_titleBar);
    title->setColor(KqColor(255, 255, 255));
    title->setPixelSize(12);
    title->setText(KqString(u"提示"));
    title->setPos(30, 9);
    m_buttons[2] = new KqPushButton(m_titleBar);
    m_buttons[2]->setObjectName(KqString(u"closed"));
    m_buttons[2]->setGeometry(kDialogWidth - 28, 0, 28, 22);

    m_contentArea = new KqGraphicsItem(m_dialog);
    m_contentArea->setGeometry(0, kTitleHeight, kDialogWidth, kDialogHeight - kTitleHeight - kBottomHeight);
    m_contentRow = new KqRowPositioner(m_contentArea);
    m_contentRow->setSpacing(5);
    m_contentRow->anchors()->setCenterIn(m_contentArea);
    m_contentIcon = new KqGraphicsPixmapItem(m_contentRow);
    m_contentIcon->resize(32, 32);
    m_text = new SetupTextBlock(m_contentRow, KqColor(62, 62, 62));

    m_bottomBar = new KqGraphicsItem(m_dialog);
    m_bottomBar->setGeometry(0, kDialogHeight - kBottomHeight, kDialogWidth, kBottomHeight);
    m_buttons[1] = makeButton(m_bottomBar, u"cancle", u"Cancle");
    m_buttons[1]->anchors()->setRight(KqAnchorLine(m_bottomBar, KqAnchorLine::Right));
    m_buttons[1]->anchors()->setRightMargin(20);
    m_buttons[1]->anchors()->setVerticalCenter(KqAnchorLine(m_bottomBar, KqAnchorLine::VCenter));
    m_buttons[0] = makeButton(m_bottomBar, u"ok", u"OK");
    m_buttons[0]->anchors()->setRight(KqAnchorLine(m_buttons[1], KqAnchorLine::Left));
    m_buttons[0]->anchors()->setRightMargin(20);
    m_buttons[0]->anchors()->setVerticalCenter(KqAnchorLine(m_bottomBar, KqAnchorLine::VCenter));

    for (KqPushButton* button : m_buttons)
        button->eventSignalDispatch()->connect(KqMouseClickedEvent::classInfo(), this, &SorvaMessageBox::onButtonClicked);
    eventSignalDispatch()->connect(KqMouseClickedEvent::classInfo(), this, &SorvaMessageBox::flash);
}

void SorvaMessageBox::registerProperties()
{
    static bool registered;
    if (registered)
        return;
    registered = true;
    boxProperties()->registerProperty(kFlash, new KqPropertyAccessorOf<SorvaMessageBox, int>(
        [](SorvaMessageBox* box, int v) { box->setFlashValue(v); },
        [](SorvaMessageBox* box) { return box->flashValue(); }, &intFrom));
}

bool SorvaMessageBox::setProperty(const KqString& name, const KqVariant& value)
{
    if (boxProperties()->contains(name))
        return boxProperties()->setProperty(this, name, value);
    return KqWidgetItem::setProperty(name, value);
}

KqVariant SorvaMessageBox::property(const KqString& name)
{
    if (boxProperties()->contains(name))
        return boxProperties()->property(this, name);
    return KqWidgetItem::property(name);
}

bool SorvaMessageBox::hasProperty(const KqString& name)
{
    return boxProperties()->contains(name) || KqWidgetItem::hasProperty(name);
}

void SorvaMessageBox::setFlashValue(int value)
{
    m_flash = value;
    m_border->setVisible(value % 2 == 0);
}

void SorvaMessageBox::setTitleIcon(const KqString& pictureName) { m_titleIcon->setPixmap(KqImage::fromUrl(pictureName)); }

void SorvaMessageBox::setIcon(const KqString& pictureName) { m_contentIcon->setPixmap(KqImage::fromUrl(pictureName)); }

void SorvaMessageBox::setText(const KqString& text) { m_text->setText(text); }

KqString SorvaMessageBox::text() const { return m_text->text(); }

void SorvaMessageBox::setButtonText(int index, const KqString& text)
{
    if (KqPushButton* b = button(index))
        b->setText(text);
}

KqPushButton* SorvaMessageBox::button(int index) const
{
    return index >= 0 && index < 3 ? m_buttons[index] : nullptr;
}

void SorvaMessageBox::show()
{
    setVisible(true);
    if (scene())
        scene()->setRoleItem(KqGraphicsScene::PressItem, nullptr);
}

void SorvaMessageBox::onButtonClicked(KqGraphicsItem* pressed, KqEvent* event)
{
    event->setAccepted(true);
    KqGraphicsItem* up = pressed;
    for (int i = 0; i < 3 && up; ++i)
        up = up->parentItem();
    if (!up || !up->isKindOf(SorvaMessageBox::classInfo()))
        return;
    SorvaMessageBox* box = static_cast<SorvaMessageBox*>(up);
    int index = -1;
    for (int i = 0; i < 3; ++i) {
        if (box->m_buttons[i] == pressed)
            index = i;
    }
    box->setVisible(false);
    KqMessageBoxEvent result;
    result.result = index;
    box->sendEvent(&result);
    KqDeferredDeleter::instance()->append(box);
}

void SorvaMessageBox::flash(KqGraphicsItem*, KqEvent* event)
{
    event->setAccepted(true);
    // Only clicks beside the dialog; the dialog's own free area stays quiet.
    if (event->isKindOf(KqMouseEvent::classInfo())) {
        const KqPoint at = static_cast<KqMouseEvent*>(event)->scenePos;
        const KqRectF dialog = m_dialog->sceneBoundingRect();
        if (at.x >= dialog.x && at.x < dialog.x + dialog.width && at.y >= dialog.y && at.y < dialog.y + dialog.height)
            return;
    }
    if (isFlashing())
        return;
    KqPropertyAnimation* animation = new KqPropertyAnimation;
    animation->setTargetObject(this);
    animation->setPropertyName(kFlash);
    animation->setStartValue(KqVariant(int32_t(1)));
    animation->setEndValue(KqVariant(int32_t(30)));
    animation->setDuration(1000);
    animation->start(KqAbstractAnimation::DeleteWhenStopped);
}

void skinPrompt(SorvaMessageBox* box)
{
    box->contentArea()->setGeometry(0, 33, SorvaMessageBox::kDialogWidth - 1,
                                    SorvaMessageBox::kDialogHeight - 33 - 44);
    box->setIcon(KqString(u"setup:question.png"));
    box->setTitleIcon(KqString(u"setup:anz_icon.png"));
    KqPushButton* close = box->button(2);
    close->setStateImage(KqGraphicsFrameItem::NormalImage, KqString(u"setup:normal_close.png"));
    close->setStateImage(KqGraphicsFrameItem::HoverImage, KqString(u"setup:hover_close.png"));
    close->setStateImage(KqGraphicsFrameItem::PressedImage, KqString(u"setup:press_close.png"));
    for (int i = 0; i < 2; ++i) {
        KqPushButton* b = box->button(i);
        b->setStateImage(KqGraphicsFrameItem::NormalImage, KqString(u"setup:button_normal.png"));
        b->setStateImage(KqGraphicsFrameItem::FocusImage, KqString(u"setup:button_foucs.png"));
        b->setStateImage(KqGraphicsFrameItem::HoverImage, KqString(u"setup:button_hover.png"));
        b->setStateImage(KqGraphicsFrameItem::PressedImage, KqString(u"setup:button_click.png"));
        b->setStateImage(KqGraphicsFrameItem::DisabledImage, KqString(u"setup:button_disable.png"));
    }
    box->button(0)->anchors()->setRightMargin(8);
    box->button(1)->anchors()->setRightMargin(13);
    box->button(1)->resize(70, 28);
}
