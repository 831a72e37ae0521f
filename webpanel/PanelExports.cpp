// browser.dll's exports: the panel for the host's UI thread.
#include "ChromiumService.h"
#include "DevToolsEngine.h"
#include "KqUtilityDownload.h"
#include "BrowserFrameWindow.h"
#include "KqApplication.h"
#include "platform/KqNativeWindowBase.h"
#include "PanelHost.h"
#include "PanelSettings.h"
#include "PerfRecord.h"

namespace {

// Counted by the framework's application as an open window that never
// closes: the application ends the message loop when its last window goes,
// and the loop browser.dll runs in is the host's.
class HostLoopKeeper : public KqNativeWindowBase {
protected:
    bool processMessage(UINT, WPARAM, LPARAM, LRESULT&) override { return false; }
};

void startFrameworkForHost()
{
    if (KqApplication::instance())
        return;  // the host runs the framework itself
    static HostLoopKeeper keeper;
    KqApplication* app = new KqApplication;  // lives until the process ends
    app->addWindow(&keeper);
}

PanelHost& host()
{
    static PanelHost* instance = [] {
        PanelHost::Services services;
        services.window.createEngine = []() { return std::unique_ptr<IBrowserEngine>(new DevToolsEngine()); };
        services.window.createDownload = []() { return CreateDownloadHttpData(); };
        services.createFrame = [](BrowserWindow* logic) {
            startFrameworkForHost();
            return std::unique_ptr<IBrowserWindowFrame>(BrowserFrameWindow::create(logic));
        };
        services.stopEngine = []() { ChromiumService::stop(); };
        services.pageUrl = []() { return PanelSettings::effectDepotUrl(); };
        return new PanelHost(services);  // lives until the process ends
    }();
    return *instance;
}

}  // namespace

extern "C" __declspec(dllexport) void __cdecl ShowMoreAuraeBox(void* /*ignored*/, AuraeDownloadCallback callback)
{
    host().showMoreAuraeBox(callback);
}

extern "C" __declspec(dllexport) void __cdecl NotifyBeforeProcessExit()
{
    host().notifyBeforeProcessExit();
}
