// The library's exports behind ShowMoreAuraeBox and NotifyBeforeProcessExit:
// one panel window at a time on the host's UI thread, rebuilt after it
// closed, and the engine stopped once before the host quits.
#pragma once

#include "BrowserWindow.h"

#include <functional>
#include <memory>

class PanelHost : public KqTrackable {
public:
    struct Services {
        BrowserWindow::Services window;
        // Makes the window that shows the panel (its logic given).
        std::function<std::unique_ptr<IBrowserWindowFrame>(BrowserWindow* logic)> createFrame;
        // Stops the engine the panel started; run at most once.
        std::function<void()> stopEngine;
        // The page to show.
        std::function<KqString()> pageUrl;
    };

    explicit PanelHost(Services services);
    ~PanelHost() override;

    void showMoreAuraeBox(AuraeDownloadCallback callback);
    void notifyBeforeProcessExit();

    BrowserWindow* window() { return m_window.get(); }
    IBrowserWindowFrame* frame() { return m_frame.get(); }
    UiThreadQueue* queue() { return m_queue.get(); }
    bool engineStopped() const { return m_engineStopped; }

private:
    void onWindowClosed();
    void deleteWindow();

    Services m_services;
    std::unique_ptr<UiThreadQueue> m_queue;
    std::unique_ptr<BrowserWindow> m_window;
    std::unique_ptr<IBrowserWindowFrame> m_frame;
    std::shared_ptr<bool> m_alive;
    bool m_engineStopped = false;
};
