// browser.dll's exports: the panel for the host's UI thread.
#include "ChromiumService.h"
#include "DevToolsEngine.h"
#include "KqUtilityDownload.h"
#include "BrowserFrameWindow.h"
#include "KqApplication.h"
#include "PanelHost.h"
#include "PanelSettings.h"
#include "PerfRecord.h"

namespace {

PanelHost& host()
{
    static PanelHost* instance = [] {
        PanelHost::Services services;
        services.window.createEngine = []() { return std::unique_ptr<IBrowserEngine>(new DevToolsEngine()); };
        services.window.createDownload = []() { return CreateDownloadHttpData(); };
        services.createFrame = [](BrowserWindow* logic) {
            // The framework's services start with the first window when the
            // host runs none of its own.
            if (!KqApplication::instance())
                new KqApplication;  // lives until the process ends
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
