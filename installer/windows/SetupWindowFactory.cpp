// Gives the bridge the installer's windows: one factory made on first use.
#include "SetupWindows.h"

#include "SorvaCheckWindow.h"
#include "SorvaMainWindow.h"
#include "SorvaSetupUI.h"

#include <map>

namespace {

class Factory : public SorvaSetupWindowFactory {
public:
    HWND createCheckWindow(SorvaSetupCommands* control) override
    {
        return remember(new SorvaCheckWindow(SorvaSetupUI::instance(), control));
    }
    HWND createMainWindow(const std::wstring& path, SorvaSetupCommands* control) override
    {
        return remember(new SorvaMainWindow(path, control));
    }
    void destroyWindow(HWND window) override
    {
        auto found = m_windows.find(window);
        if (found == m_windows.end())
            return;
        KqFrameWindow* frame = static_cast<KqFrameWindow*>(static_cast<KqGraphicsItem*>(found->second.get()));
        m_windows.erase(found);
        if (frame && IsWindow(window))
            frame->close();
    }

private:
    // The native window exists once shown.
    HWND remember(KqFrameWindow* frame)
    {
        frame->showWindow(SW_SHOW);
        HWND window = frame->winId();
        m_windows[window] = KqWeakPointer(frame);
        return window;
    }
public:
    KqFrameWindow* find(HWND window) const
    {
        auto found = m_windows.find(window);
        return found == m_windows.end() ? nullptr
                                        : static_cast<KqFrameWindow*>(static_cast<KqGraphicsItem*>(found->second.get()));
    }

private:
    std::map<HWND, KqWeakPointer> m_windows;
};

Factory& factory()
{
    static Factory instance;
    return instance;
}

} // namespace

void installSetupWindows() { SorvaSetupUI::setWindowFactory(&factory()); }

KqFrameWindow* setupWindowFor(HWND window) { return factory().find(window); }
