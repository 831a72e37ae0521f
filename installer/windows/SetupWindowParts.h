// Pieces both setup windows build: the skinned buttons, picture items and
// the "setup:" pictures' registration.
#pragma once

#include "KqBasicItems.h"
#include "KqPushButton.h"

class KqFrameWindow;

// Registers the built-in pictures and texts once and points the "setup"
// assign at them.
void useSetupResources();
// Generated from the drawn pictures at build time.
bool registerSetupResources();

// A push button with normal, hover and pressed pictures, sized to the normal one.
KqPushButton* makeSkinnedButton(KqGraphicsItem* parent, const char16_t* normal, const char16_t* hover,
                                const char16_t* pressed, const KqString& caption = KqString());
void setButtonPictures(KqPushButton* button, const char16_t* normal, const char16_t* hover, const char16_t* pressed);
KqGraphicsPixmapItem* makePicture(KqGraphicsItem* parent, const char16_t* url, double x, double y);
KqGraphicsSimpleTextItem* makeText(KqGraphicsItem* parent, const KqString& text, const KqColor& color, int pixelSize,
                                   double x, double y);
// The title bar both windows share: background, icon, white text, close button.
KqPushButton* makeCloseButton(KqGraphicsItem* parent);
