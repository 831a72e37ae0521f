// Which item is on top: comparisons by stacking value, by insertion and by
// tree order, and a stable merge sort over them. The stacking comparison is
// fuzzy (equal z within a relative tolerance), which is not a strict weak
// order, so std::sort must not be used with it.
#pragma once

#include "KqContainers.h"

#include <cstdint>

class KqGraphicsItem;

enum class KqStackKey { ZValue, Insertion, Tree };

// Insertion order: sibling index, then creation serial (top-level items).
bool kqInsertionLess(const KqGraphicsItem* a, const KqGraphicsItem* b);
// Stacking value ascending; nearly equal values fall back to insertion.
bool kqZLess(const KqGraphicsItem* a, const KqGraphicsItem* b);
// Painting order over the whole tree: an ancestor before its descendants,
// items of different parents through their ancestors that are siblings.
bool kqTreeLess(const KqGraphicsItem* a, const KqGraphicsItem* b);

bool kqStackLess(KqStackKey key, const KqGraphicsItem* a, const KqGraphicsItem* b);

// Stable merge sort of the list, ascending or descending.
void kqSortItems(KqVector<KqGraphicsItem*>& items, KqStackKey key, bool ascending);

// The first item of the list with any bit of mask in its flags; else the
// first such ancestor of the list's first item; else null.
KqGraphicsItem* kqFindItemWithFlags(const KqVector<KqGraphicsItem*>& items, uint32_t mask);
