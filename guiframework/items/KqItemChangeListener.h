// Observer of item changes: a mask of change bits (geometry 1, visibility 4,
// destruction 16, position 32) and the items it watches.
#pragma once

#include "KqContainers.h"
#include "KqVariant.h"

#include <cstdint>

class KqGraphicsItem;

class KqItemChangeListener {
public:
    explicit KqItemChangeListener(uint32_t mask = 0) : m_mask(mask) {}
    KqItemChangeListener(const KqItemChangeListener&) = delete;
    KqItemChangeListener& operator=(const KqItemChangeListener&) = delete;
    virtual ~KqItemChangeListener();

    uint32_t changeMask() const { return m_mask; }
    void setChangeMask(uint32_t mask) { m_mask = mask; }
    const KqVector<KqGraphicsItem*>& watchedItems() const { return m_items; }

    void watch(KqGraphicsItem* item);
    void unwatch(KqGraphicsItem* item);
    void unwatchAll();

    // A watched item changed (bit is one of the mask's bits).
    virtual void itemChanged(uint32_t bit, KqGraphicsItem* item, const KqVariant& newValue, const KqVariant& oldValue) = 0;
    // The item is going away and has already dropped this listener.
    virtual void forgetItem(KqGraphicsItem* item) { m_items.removeOne(item); }

private:
    uint32_t m_mask;
    KqVector<KqGraphicsItem*> m_items;
};
