// The layout loader: a file names a frame window class (root element
// <window class="...">) or holds items for a given parent (root <widget>);
// each <item class="..."> is made by the factory registered for its class
// name and placed by its attributes (name, x, y, width, height, text).
// Relative paths are resolved against the folder of the module holding this
// code.
#pragma once

#include "DuiFrameWindow.h"
#include "KqString.h"

class KqGraphicsItem;
class KqObject;

class DuiXmlUI {
public:
    typedef DuiFrameWindow* (*FrameFactory)(KqObject* parent);
    typedef KqGraphicsItem* (*ItemFactory)(KqGraphicsItem* parent);

    static void registerFrameWindow(const KqString& className, FrameFactory factory);
    static void registerItem(const KqString& className, ItemFactory factory);

    // The window the file describes, its items built and setupContent run;
    // null when the file is missing, malformed or names no registered class.
    static DuiFrameWindow* createFromFile(const KqString& path, KqObject* parent = nullptr);
    // Builds the file's items as children of parent; false (and nothing
    // built) when the file cannot be read or names an unknown class.
    static bool createFromFile(const KqString& path, KqGraphicsItem* parent);

    // The item named so in parent's subtree, or null.
    static KqGraphicsItem* findChild(KqGraphicsItem* parent, const KqString& name);
    static std::wstring resolvePath(const KqString& path);
};
