// The program's one application object: starts and stops the framework's
// process-wide services, runs the message loop and ends it when the last
// native window is destroyed.
#pragma once

#include "KqObject.h"

#include <cstdint>
#include <set>

class KqNativeWindowBase;

class KqApplication : public KqObject {
public:
    KqApplication();
    ~KqApplication() override;

    static KqApplication* instance();
    int exec();
    static void quit();

    // Called by native windows on WM_CREATE and WM_DESTROY.
    void addWindow(KqNativeWindowBase* window);
    void removeWindow(KqNativeWindowBase* window);
    int windowCount() const { return static_cast<int>(m_windows.size()); }

private:
    std::set<KqNativeWindowBase*> m_windows;
    uintptr_t m_gdiplusToken = 0;
};
