#include "UninstallWindowParts.h"

#include "KqAnchors.h"
#include "KqAssignLib.h"
#include "KqBasicItems.h"
#include "KqFont.h"
#include "KqFrameWindow.h"
#include "KqGraphicsFrameItem.h"
#include "KqPushButton.h"

bool registerUninstallResourceTable(); // compiled from the drawn pictures

namespace uninstallwindow {

void prepareResources()
{
    KqFont::setDefaultPixelSize(12);
    registerUninstallResourceTable();
    KqAssignLib::instance()->setAssign({KqString(u"uninstall"), KqString(u"dll:///res")});
}

KqString toKq(const std::wstring& text)
{
    return KqString(reinterpret_cast<const KqChar*>(text.c_str()), static_cast<int>(text.size()));
}

std::wstring fromKq(const KqString& text)
{
    return std::wstring(reinterpret_cast<const wchar_t*>(text.data()), static_cast<size_t>(text.length()));
}

std::wstring onceSeparated(const std::wstring& path)
{
    std::wstring out;
    out.reserve(path.size());
    for (size_t i = 0; i < path.size(); ++i) {
        if (path[i] == L'\\' && i >= 2 && !out.empty() && out.back() == L'\\')
            continue;
        out += path[i];
    }
    return out;
}

KqGraphicsPixmapItem* picture(KqGraphicsItem* parent, const char16_t* url)
{
    KqGraphicsPixmapItem* item = new KqGraphicsPixmapItem(parent);
    item->setPixmap(KqImage::fromUrl(KqString(url)));
    return item;
}

KqGraphicsSimpleTextItem* text(KqGraphicsItem* parent, const KqString& text)
{
    KqGraphicsSimpleTextItem* item = new KqGraphicsSimpleTextItem(parent);
    item->setColor(textColor());
    item->setText(text);
    return item;
}

KqPushButton* textButton(KqGraphicsItem* parent, const KqString& caption)
{
    KqPushButton* button = new KqPushButton(parent);
    button->clearIcon();
    button->setImage(KqString(u"uninstall:button_normal.png"));
    button->setStateImage(KqGraphicsFrameItem::HoverImage, KqString(u"uninstall:button_hover.png"));
    button->setStateImage(KqGraphicsFrameItem::PressedImage, KqString(u"uninstall:button_click.png"));
    button->text()->setColor(textColor());
    button->setText(caption);
    return button;
}

TitleBar makeTitleBar(KqFrameWindow* window, KqGraphicsItem* parent, int iconLeft, int iconTop)
{
    TitleBar t;
    t.bar = new KqGraphicsMarginsPixmapItem(parent);
    t.bar->setHeight(34);
    t.bar->setMargins(KqMargins());
    t.bar->setPixmapUrl(KqString(u"uninstall:title_bg.png"));
    KqAnchors* a = t.bar->anchors();
    a->setTop(KqAnchorLine(parent, KqAnchorLine::Top));
    a->setLeft(KqAnchorLine(parent, KqAnchorLine::Left));
    a->setRight(KqAnchorLine(parent, KqAnchorLine::Right));

    t.icon = picture(t.bar, u"uninstall:xiezai_icon.png");
    t.icon->anchors()->setLeft(KqAnchorLine(t.bar, KqAnchorLine::Left));
    t.icon->anchors()->setLeftMargin(iconLeft);
    t.icon->anchors()->setTop(KqAnchorLine(t.bar, KqAnchorLine::Top));
    t.icon->anchors()->setTopMargin(iconTop);
    t.title = picture(t.bar, u"uninstall:xiezai_txt.png");

    t.close = new KqPushButton(window);
    t.close->clearIcon();
    t.close->setImage(KqString(u"uninstall:normal_close.png"));
    t.close->setStateImage(KqGraphicsFrameItem::HoverImage, KqString(u"uninstall:hover_close.png"));
    t.close->setStateImage(KqGraphicsFrameItem::PressedImage, KqString(u"uninstall:press_close.png"));
    t.close->setZValue(1);
    t.close->anchors()->setTop(KqAnchorLine(window, KqAnchorLine::Top));
    t.close->anchors()->setTopMargin(2);
    t.close->anchors()->setRight(KqAnchorLine(window, KqAnchorLine::Right));

    t.minimize = new KqPushButton(window);
    t.minimize->clearIcon();
    t.minimize->setImage(KqString(u"uninstall:min_normal.png"));
    t.minimize->setStateImage(KqGraphicsFrameItem::PressedImage, KqString(u"uninstall:min_press.png"));
    t.minimize->setStateImage(KqGraphicsFrameItem::HoverImage, KqString(u"uninstall:min_hover.png"));
    t.minimize->setZValue(1);
    t.minimize->anchors()->setRight(KqAnchorLine(t.close, KqAnchorLine::Left));
    t.minimize->anchors()->setRightMargin(-2);
    t.minimize->anchors()->setTop(KqAnchorLine(window, KqAnchorLine::Top));
    t.minimize->anchors()->setTopMargin(2);
    return t;
}

} // namespace uninstallwindow
