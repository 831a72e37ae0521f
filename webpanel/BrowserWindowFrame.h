// What the panel's logic asks of the window that shows it: the framed
// window with the web view item and the loading overlay over it.
#pragma once

#include "KqString.h"

class IBrowserWindowFrame {
public:
    virtual ~IBrowserWindowFrame() = default;
    virtual void setTitle(const KqString& title) = 0;
    virtual void showWindow() = 0;
    // The window goes away for good (the close the logic accepted).
    virtual void closeWindow() = 0;
    virtual void setWebViewVisible(bool visible) = 0;
    virtual void setLoadingVisible(bool visible) = 0;
    virtual void setLoadingText(const KqString& text) = 0;
    // A new picture of the page is ready to paint.
    virtual void webViewChanged() = 0;
};
