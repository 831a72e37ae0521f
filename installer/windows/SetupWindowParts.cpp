#include "SetupWindowParts.h"

#include "KqAssignLib.h"
#include "KqGraphicsFrameItem.h"
#include "KqImage.h"

void useSetupResources()
{
    static bool registered;
    if (!registered)
        registered = registerSetupResources();
    KqAssignLib::instance()->setAssign({KqString(u"setup"), KqString(u"dll:///res")});
}

void setButtonPictures(KqPushButton* button, const char16_t* normal, const char16_t* hover, const char16_t* pressed)
{
    button->setStateImage(KqGraphicsFrameItem::NormalImage, KqString(normal));
    button->setStateImage(KqGraphicsFrameItem::HoverImage, KqString(hover));
    button->setStateImage(KqGraphicsFrameItem::PressedImage, KqString(pressed));
}

KqPushButton* makeSkinnedButton(KqGraphicsItem* parent, const char16_t* normal, const char16_t* hover,
                                const char16_t* pressed, const KqString& caption)
{
    KqPushButton* button = new KqPushButton(parent);
    setButtonPictures(button, normal, hover, pressed);
    KqImage picture = KqImage::fromUrl(KqString(normal));
    button->resize(picture.size().width, picture.size().height);
    if (!caption.isEmpty())
        button->setText(caption);
    return button;
}

KqGraphicsPixmapItem* makePicture(KqGraphicsItem* parent, const char16_t* url, double x, double y)
{
    KqGraphicsPixmapItem* item = new KqGraphicsPixmapItem(parent);
    KqImage picture = KqImage::fromUrl(KqString(url));
    item->setPixmap(picture);
    item->setGeometry(x, y, picture.size().width, picture.size().height);
    return item;
}

KqGraphicsSimpleTextItem* makeText(KqGraphicsItem* parent, const KqString& text, const KqColor& color, int pixelSize,
                                   double x, double y)
{
    KqGraphicsSimpleTextItem* item = new KqGraphicsSimpleTextItem(parent);
    item->setPixelSize(pixelSize);
    item->setColor(color);
    item->setText(text);
    item->setPos(x, y);
    return item;
}

KqPushButton* makeCloseButton(KqGraphicsItem* parent)
{
    return makeSkinnedButton(parent, u"setup:normal_close.png", u"setup:hover_close.png", u"setup:press_close.png");
}
