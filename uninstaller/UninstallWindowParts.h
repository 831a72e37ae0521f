// Pieces both uninstaller windows are built from: the picture table, the
// skinned buttons and the title bar.
#pragma once

#include "KqColor.h"
#include "KqString.h"

#include <string>

class KqFrameWindow;
class KqGraphicsItem;
class KqGraphicsMarginsPixmapItem;
class KqGraphicsPixmapItem;
class KqGraphicsSimpleTextItem;
class KqPushButton;

namespace uninstallwindow {

// The grey of every text in the windows.
inline KqColor textColor() { return KqColor(102, 102, 102, 255); }

// Registers the pictures ("uninstall:" + name) and sets the font size the
// windows' texts are made with.
void prepareResources();

KqString toKq(const std::wstring& text);
std::wstring fromKq(const KqString& text);
// The path with a single backslash between its parts (a network path keeps
// its two leading ones): the cleaner joins a folder that already ends in a
// backslash with another one.
std::wstring onceSeparated(const std::wstring& path);

KqGraphicsPixmapItem* picture(KqGraphicsItem* parent, const char16_t* url);
KqGraphicsSimpleTextItem* text(KqGraphicsItem* parent, const KqString& text);
// A button without icon in the grey text on the "button_*" pictures.
KqPushButton* textButton(KqGraphicsItem* parent, const KqString& caption);

struct TitleBar {
    KqGraphicsMarginsPixmapItem* bar;
    KqGraphicsPixmapItem* icon;
    KqGraphicsPixmapItem* title;
    KqPushButton* close;
    KqPushButton* minimize;
};
// The title bar in parent (34 high along its top) with the icon at the
// given margins; the close and minimise buttons on the window's top right.
TitleBar makeTitleBar(KqFrameWindow* window, KqGraphicsItem* parent, int iconLeft, int iconTop);

} // namespace uninstallwindow
