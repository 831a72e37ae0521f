#include "KqStackingOrder.h"

#include "KqGraphicsItem.h"
#include "KqTransform.h"

#include <vector>

bool kqInsertionLess(const KqGraphicsItem* a, const KqGraphicsItem* b)
{
    if (a->siblingIndex() != b->siblingIndex())
        return a->siblingIndex() < b->siblingIndex();
    return a->serial() < b->serial();
}

bool kqZLess(const KqGraphicsItem* a, const KqGraphicsItem* b)
{
    if (nearlyEqual(a->zValue(), b->zValue()))
        return kqInsertionLess(a, b);
    return a->zValue() < b->zValue();
}

bool kqTreeLess(const KqGraphicsItem* a, const KqGraphicsItem* b)
{
    if (a == b)
        return false;
    int depthA = a->depth();
    int depthB = b->depth();
    while (depthA > depthB) {
        a = a->parentItem();
        --depthA;
        if (a == b)
            return false; // b is an ancestor of the original a: a comes after it
    }
    while (depthB > depthA) {
        b = b->parentItem();
        --depthB;
        if (b == a)
            return true; // a is an ancestor of the original b
    }
    while (a->parentItem() != b->parentItem()) {
        a = a->parentItem();
        b = b->parentItem();
    }
    return kqZLess(a, b);
}

bool kqStackLess(KqStackKey key, const KqGraphicsItem* a, const KqGraphicsItem* b)
{
    switch (key) {
    case KqStackKey::ZValue:
        return kqZLess(a, b);
    case KqStackKey::Insertion:
        return kqInsertionLess(a, b);
    case KqStackKey::Tree:
        return kqTreeLess(a, b);
    }
    return false;
}

namespace {

// Top-down merge sort; takes the left element unless the right one is
// strictly before it, so equal elements keep their order.
void mergeSort(KqGraphicsItem** items, KqGraphicsItem** scratch, int count, KqStackKey key, bool ascending)
{
    if (count < 2)
        return;
    int half = count / 2;
    mergeSort(items, scratch, half, key, ascending);
    mergeSort(items + half, scratch, count - half, key, ascending);
    int left = 0, right = half, out = 0;
    while (left < half && right < count) {
        bool rightFirst = ascending ? kqStackLess(key, items[right], items[left])
                                    : kqStackLess(key, items[left], items[right]);
        scratch[out++] = rightFirst ? items[right++] : items[left++];
    }
    while (left < half)
        scratch[out++] = items[left++];
    while (right < count)
        scratch[out++] = items[right++];
    for (int i = 0; i < count; ++i)
        items[i] = scratch[i];
}

} // namespace

void kqSortItems(KqVector<KqGraphicsItem*>& items, KqStackKey key, bool ascending)
{
    int count = items.count();
    if (count < 2)
        return;
    std::vector<KqGraphicsItem*> work(static_cast<size_t>(count)), scratch(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        work[static_cast<size_t>(i)] = items.at(i);
    mergeSort(work.data(), scratch.data(), count, key, ascending);
    for (int i = 0; i < count; ++i) {
        if (items.at(i) != work[static_cast<size_t>(i)])
            items[i] = work[static_cast<size_t>(i)];
    }
}

KqGraphicsItem* kqFindItemWithFlags(const KqVector<KqGraphicsItem*>& items, uint32_t mask)
{
    for (int i = 0; i < items.count(); ++i) {
        if (items.at(i)->flags() & mask)
            return items.at(i);
    }
    if (items.count() == 0)
        return nullptr;
    for (KqGraphicsItem* a = items.at(0)->parentItem(); a; a = a->parentItem()) {
        if (a->flags() & mask)
            return a;
    }
    return nullptr;
}
