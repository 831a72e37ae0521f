// The deferred deleter's 16 ms tick runs on a window timer, so it lives with
// the platform code; the host build of the portable parts has its own.
#include "KqObject.h"
#include "KqTimer.h"

KqDeferredDeleter::~KqDeferredDeleter()
{
    if (m_queue.count())
        flush();
    delete m_timer; // stops it and cuts its connection
    m_timer = nullptr;
}

void KqDeferredDeleter::setTicking(bool on)
{
    m_wantsTicks = on;
    if (on && !m_timer) {
        m_timer = new KqTimer;
        m_timer->timeout.connect(this, &KqDeferredDeleter::flush);
    }
    if (m_timer) {
        if (on)
            m_timer->start(16);
        else
            m_timer->stop();
    }
}
