#include "KqPushButton.h"

#include "KqAnchors.h"
#include "KqBasicItems.h"
#include "KqEvent.h"
#include "KqGraphicsFrameItem.h"

KQ_DEFINE_CLASS(KqPushButton, KqWidgetItem, 'PBTN', &kqMakeInstance<KqPushButton>)
KQ_DEFINE_CLASS(KqCheckBox, KqPushButton, 'CBOX', &kqMakeInstance<KqCheckBox>)
KQ_DEFINE_CLASS(KqCheckBoxEventHandler, KqWidgetEventHandler, 'CBER', &kqMakeInstance<KqCheckBoxEventHandler>)

KqPushButton::KqPushButton(KqGraphicsItem* parentItem) : KqWidgetItem(parentItem)
{
    setObjectName(KqString(u"pushButton"));
    background()->setMargins(KqMargins{3, 3, 3, 3});
    setStateImage(KqGraphicsFrameItem::NormalImage, KqString(u"kqgui:btn_4word_normal.png"));
    setStateImage(KqGraphicsFrameItem::HoverImage, KqString(u"kqgui:btn_4word_hover.png"));
    setStateImage(KqGraphicsFrameItem::PressedImage, KqString(u"kqgui:btn_4word_pushed.png"));
    setImage(KqString(u"kqgui:btn_4word_normal.png"));

    m_content = new KqGraphicsItem(this);
    m_content->anchors()->setFill(this);
    layoutContent();
    if (KqEventSignalDispatch* dispatch = eventSignalDispatch()) {
        dispatch->connect(KqMouseDownEvent::classInfo(), this, &KqPushButton::onMouseDown);
        dispatch->connect(KqMouseUpEvent::classInfo(), this, &KqPushButton::onMouseUp);
    }
}

void KqPushButton::onMouseDown(KqGraphicsItem*, KqEvent*)
{
    // The icon and text shift while pressed.
    KqAnchors* a = m_content->anchors();
    a->setLeftMargin(m_pressedOffset.x);
    a->setRightMargin(-m_pressedOffset.x);
    a->setTopMargin(m_pressedOffset.y);
    a->setBottomMargin(-m_pressedOffset.y);
}

void KqPushButton::onMouseUp(KqGraphicsItem*, KqEvent*)
{
    KqAnchors* a = m_content->anchors();
    a->setLeftMargin(0);
    a->setRightMargin(0);
    a->setTopMargin(0);
    a->setBottomMargin(0);
}

void KqPushButton::setStateImage(int index, const KqString& url) { background()->setStateImageUrl(index, url); }

void KqPushButton::setImage(const KqString& url)
{
    KqImage image = KqImage::fromUrl(url);
    KqSize size = image.size();
    setRect(KqRectF(0, 0, size.width, size.height));
    setStateImage(KqGraphicsFrameItem::NormalImage, url);
}

void KqPushButton::setIcon(const KqString& url)
{
    if (!m_icon) {
        m_icon = new KqGraphicsPixmapItem(m_content);
        m_icon->setObjectName(KqString(u"icon"));
        m_icon->setVisible(false);
        layoutContent();
    }
    m_icon->setPixmap(KqImage::fromUrl(url));
    m_icon->setVisible(true);
}

void KqPushButton::ensureText()
{
    if (m_text)
        return;
    m_text = new KqGraphicsSimpleTextItem(m_content);
    m_text->setObjectName(KqString(u"text"));
    m_text->setVisible(false);
    layoutContent();
}

void KqPushButton::setText(const KqString& text)
{
    ensureText();
    m_text->setText(text);
    m_text->setVisible(true);
}

void KqPushButton::clearIcon()
{
    delete m_icon;
    m_icon = nullptr;
    ensureText();
    layoutContent();
}

void KqPushButton::setIconBesideText(bool beside)
{
    m_iconBesideText = beside;
    layoutContent();
}

void KqPushButton::layoutContent()
{
    if (m_icon) {
        m_icon->removeAnchors();
        KqAnchors* a = m_icon->anchors();
        if (m_iconBesideText) {
            a->setLeft(KqAnchorLine(m_content, KqAnchorLine::Left));
            a->setVerticalCenter(KqAnchorLine(m_content, KqAnchorLine::VCenter));
        } else {
            a->setTop(KqAnchorLine(m_content, KqAnchorLine::Top));
            a->setHorizontalCenter(KqAnchorLine(m_content, KqAnchorLine::HCenter));
        }
    }
    if (!m_text)
        return;
    m_text->removeAnchors();
    KqAnchors* a = m_text->anchors();
    if (!m_icon) {
        // Text alone sits in the middle of the button.
        a->setCenterIn(m_content);
        return;
    }
    if (m_iconBesideText) {
        a->setLeft(KqAnchorLine(m_icon, KqAnchorLine::Right));
        a->setVerticalCenter(KqAnchorLine(m_content, KqAnchorLine::VCenter));
    } else {
        a->setTop(KqAnchorLine(m_icon, KqAnchorLine::Bottom));
        a->setHorizontalCenter(KqAnchorLine(m_content, KqAnchorLine::HCenter));
    }
}

void KqPushButton::setIconTextSpacing(double a, double b, double c)
{
    if (!m_icon || !m_text)
        return;
    if (m_iconBesideText) {
        m_icon->anchors()->setLeftMargin(a);
        m_text->anchors()->setLeftMargin(b);
    } else {
        m_icon->anchors()->setTopMargin(a);
        m_text->anchors()->setTopMargin(b);
    }
    m_text->anchors()->setRightMargin(c);
}

void KqPushButton::adjustSize()
{
    if (!m_icon || !m_text)
        return;
    KqAnchors* i = m_icon->anchors();
    KqAnchors* t = m_text->anchors();
    if (m_iconBesideText)
        setWidth(m_icon->width() + m_text->width() + i->leftMargin() + t->leftMargin() + t->rightMargin());
    else
        setHeight(m_icon->height() + m_text->height() + i->topMargin() + t->topMargin() + t->bottomMargin());
}

// ---- check box

KqCheckBox::KqCheckBox(KqGraphicsItem* parentItem) : KqPushButton(parentItem)
{
    setFlag(Focusable, false);
    background()->setVisible(false);
    setEventHandler(new KqCheckBoxEventHandler(this));
    updateIcon();
    setText(KqString());
    setIconTextSpacing(2, 2, 2);
}

KqString KqCheckBox::iconUrl(bool checked, int stateIndex)
{
    static const char16_t* const kUnchecked[] = {u"kqgui:checkbox_default_normal.png", u"kqgui:checkbox_default_hover.png",
                                                 u"kqgui:checkbox_default_pressdown.png", u"kqgui:checkbox_default_pressdown.png",
                                                 u"kqgui:checkbox_default_disable.png"};
    static const char16_t* const kChecked[] = {u"kqgui:checkbox_selected_normal.png", u"kqgui:checkbox_selected_hover.png",
                                               u"kqgui:checkbox_selected_pressdown.png", u"kqgui:checkbox_selected_pressdown.png",
                                               u"kqgui:checkbox_selected_disable.png"};
    if (stateIndex < 0 || stateIndex > 4)
        stateIndex = 0;
    return KqString(checked ? kChecked[stateIndex] : kUnchecked[stateIndex]);
}

void KqCheckBox::updateIcon()
{
    const KqGraphicsFrameItem* b = background();
    int state = KqGraphicsFrameItem::NormalImage;
    if (b->isPressed())
        state = KqGraphicsFrameItem::PressedImage;
    else if (b->isFocused())
        state = KqGraphicsFrameItem::FocusImage;
    else if (b->isHovered())
        state = KqGraphicsFrameItem::HoverImage;
    setIcon(iconUrl(isChecked(), state));
}

void KqCheckBox::setIcon(const KqString& url)
{
    KqPushButton::setIcon(url);
    adjustSize();
}

void KqCheckBox::setText(const KqString& text)
{
    KqPushButton::setText(text);
    adjustSize();
}

void KqCheckBox::setChecked(bool checked)
{
    if (int32_t(checked ? 1 : 0) == m_checked)
        return;
    m_checked = checked ? 1 : 0;
    updateIcon();
    KqCheckBoxEvent event;
    event.checked = checked;
    sendEvent(&event);
}

void KqCheckBoxEventHandler::refresh()
{
    if (m_box)
        m_box->updateIcon();
}

void KqCheckBoxEventHandler::mouseDown(KqMouseEvent* event)
{
    KqWidgetEventHandler::mouseDown(event);
    refresh();
}

void KqCheckBoxEventHandler::mouseUp(KqMouseEvent* event)
{
    KqWidgetEventHandler::mouseUp(event);
    refresh();
}

void KqCheckBoxEventHandler::hoverEnter(KqHoverEvent* event)
{
    KqWidgetEventHandler::hoverEnter(event);
    refresh();
}

void KqCheckBoxEventHandler::hoverLeave(KqHoverEvent* event)
{
    KqWidgetEventHandler::hoverLeave(event);
    refresh();
}

void KqCheckBoxEventHandler::focusIn(KqFocusEvent* event)
{
    KqWidgetEventHandler::focusIn(event);
    refresh();
}

void KqCheckBoxEventHandler::focusOut(KqFocusEvent* event)
{
    KqWidgetEventHandler::focusOut(event);
    refresh();
}

void KqCheckBoxEventHandler::mouseClicked(KqMouseEvent* event)
{
    if (m_box)
        m_box->setChecked(!m_box->isChecked());
    event->setAccepted(true);
}
