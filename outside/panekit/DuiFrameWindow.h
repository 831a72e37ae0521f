// A frame window built from a layout file: the loader runs setupContent once
// the file's items are in place, so a window class adds what the file
// cannot describe.
#pragma once

#include "KqFrameWindow.h"

class DuiFrameWindow : public KqFrameWindow {
public:
    explicit DuiFrameWindow(KqObject* parent = nullptr) : KqFrameWindow(parent) {}
    virtual void setupContent() {}
};
