#include "PanelHost.h"

#include "KqServices.h"

PanelHost::PanelHost(Services services) : m_services(std::move(services)), m_alive(std::make_shared<bool>(true)) {}

PanelHost::~PanelHost()
{
    *m_alive = false;
    deleteWindow();
}

void PanelHost::showMoreAuraeBox(AuraeDownloadCallback callback)
{
    if (m_engineStopped)
        return;  // the host is quitting
    if (!m_queue)
        m_queue.reset(new UiThreadQueue());
    if (!m_window) {
        m_window.reset(new BrowserWindow(nullptr, m_queue.get(), m_services.window));
        m_frame = m_services.createFrame(m_window.get());
        if (!m_frame) {
            // The layout gave no panel window: there is nothing to show.
            KqDebugStream() << KqString("ShowMoreAuraeBox: the layout built no BrowserWindow");
            m_window.reset();
            return;
        }
        m_window->setFrame(m_frame.get());
        m_window->setupContent(m_services.pageUrl());
        m_window->setCallback(callback);
        m_window->closed.connect(this, &PanelHost::onWindowClosed);
    }
    m_frame->showWindow();
}

void PanelHost::onWindowClosed()
{
    // Deleted once the closing call has returned.
    std::shared_ptr<bool> alive = m_alive;
    m_queue->post([this, alive]() { if (*alive) deleteWindow(); });
}

void PanelHost::deleteWindow()
{
    m_window.reset();
    m_frame.reset();
}

void PanelHost::notifyBeforeProcessExit()
{
    deleteWindow();
    if (!m_engineStopped) {
        m_engineStopped = true;
        if (m_services.stopEngine)
            m_services.stopEngine();
    }
}
