#include "KqItemChangeListener.h"

#include "KqGraphicsItem.h"

// A listener that dies while still registered would be called after its
// death: leave every watched item first.
KqItemChangeListener::~KqItemChangeListener() { unwatchAll(); }

void KqItemChangeListener::watch(KqGraphicsItem* item)
{
    if (!item)
        return;
    item->addChangeListener(this);
    m_items.append(item);
}

void KqItemChangeListener::unwatch(KqGraphicsItem* item)
{
    if (!item)
        return;
    item->removeChangeListener(this);
    m_items.removeOne(item);
}

void KqItemChangeListener::unwatchAll()
{
    // A shared copy: unwatch edits the vector while we walk.
    KqVector<KqGraphicsItem*> items = m_items;
    for (int i = 0; i < items.count(); ++i)
        unwatch(items.at(i));
}
