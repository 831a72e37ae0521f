#include "KqSignal.h"

void KqSignalBase::removeDeadConnections()
{
    if (m_list.isNull())
        return;
    auto& list = m_list.data()->connections;
    for (size_t i = 0; i < list.size();) {
        if (list[i]->isDead()) {
            delete list[i];
            list.erase(list.begin() + static_cast<ptrdiff_t>(i));
        } else {
            ++i;
        }
    }
}

void KqSignalBase::removeConnectionsTo(const KqTrackable* receiver)
{
    if (m_list.isNull())
        return;
    auto& list = m_list.data()->connections;
    for (size_t i = 0; i < list.size();) {
        if (list[i]->bindsTo(receiver)) {
            delete list[i];
            list.erase(list.begin() + static_cast<ptrdiff_t>(i));
        } else {
            ++i;
        }
    }
}

void KqSignalBase::clear()
{
    m_list.release();
}

void KqSignalBase::append(const KqSlotConnection& temporary)
{
    if (m_list.isNull())
        m_list.attach(new List);
    m_list.data()->connections.push_back(temporary.clone());
}
