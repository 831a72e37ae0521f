#include "VcamParaWatcher.h"
#include "ShareHandle.h"

CVcamParaWatcher::CVcamParaWatcher(IReopenSources* manager) : m_manager(manager)
{
    tq::GetVcamParaShareMemory().ResetVcamPara();
    m_timerId = tq::SetThreadTimer(kPollMs, this);
}

CVcamParaWatcher::~CVcamParaWatcher()
{
    if (m_timerId) {
        tq::KillThreadTimer(m_timerId);
        m_timerId = 0;
    }
}

void CVcamParaWatcher::OnTimer(UINT_PTR)
{
    // Presets that fail the range checks when the record cannot be read.
    uint32_t width = 0, height = 0, frameTime = 2000000;
    tq::GetVcamParaShareMemory().ReadVcamPara(width, height, frameTime);
    if (width < 360 || width > 800 || height < 180 || height > 600 || frameTime < 333333 || frameTime > 1000000)
        return;
    bool changed = false;
    if (int(width) > m_width) {
        m_width = int(width);
        changed = true;
    }
    if (int(height) > m_height) {
        m_height = int(height);
        changed = true;
    }
    if (int(frameTime) < m_frameTime) {
        m_frameTime = int(frameTime);
        changed = true;
    }
    if (changed && m_manager)
        m_manager->ReopenSources(m_width, m_height, m_frameTime);
}
