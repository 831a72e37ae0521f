#include "KqApplication.h"

#include "KqAssignLib.h"
#include "KqImage.h"
#include "platform/KqModule.h"
#include "platform/KqNativeWindowBase.h"

#include <windows.h>
#include <gdiplus.h>

namespace {
KqApplication* g_application;
}

KqApplication::KqApplication()
{
    g_application = this;
    KqModule::instance()->init(GetModuleHandleW(nullptr));
    KqAssignLib::instance()->loadDefaults();
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartup(&token, &input, nullptr);
    m_gdiplusToken = token;
    KqDeferredDeleter::instance();
}

KqApplication::~KqApplication()
{
    KqModule::instance()->term();
    while (!m_windows.empty()) {
        KqNativeWindowBase* window = *m_windows.begin();
        HWND handle = window->hwnd();
        // A window whose native part is already gone leaves the set here.
        if (!handle || !DestroyWindow(handle))
            m_windows.erase(window);
    }
    KqDeferredDeleter::instance()->flushAll();
    KqImageCache::instance()->clear(); // no picture may outlive GDI+
    if (m_gdiplusToken)
        Gdiplus::GdiplusShutdown(m_gdiplusToken);
    m_gdiplusToken = 0;
    KqAssignLib::instance()->clear();
    if (g_application == this)
        g_application = nullptr;
}

KqApplication* KqApplication::instance() { return g_application; }

int KqApplication::exec()
{
    KqMessageLoop loop;
    KqModule::instance()->addMessageLoop(&loop);
    int code = loop.run();
    KqModule::instance()->removeMessageLoop();
    return code;
}

void KqApplication::quit() { PostQuitMessage(0); }

void KqApplication::addWindow(KqNativeWindowBase* window) { m_windows.insert(window); }

void KqApplication::removeWindow(KqNativeWindowBase* window)
{
    if (m_windows.erase(window) && m_windows.empty())
        PostQuitMessage(0);
}
