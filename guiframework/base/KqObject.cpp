#include "KqObject.h"


#include "KqServices.h"

namespace {

struct GuardRegistry {
    ~GuardRegistry()
    {
        for (auto it = slots.begin(); it != slots.end(); ++it)
            delete reinterpret_cast<KqPointerArray<KqObject**>*>(it.value());
    }
    KqHash<uintptr_t, uintptr_t> slots; // object address -> slot list
};

KqPointerArray<KqObject**>* slotList(KqObject* object, bool create)
{
    GuardRegistry* registry = KqSingleton<GuardRegistry>::instance();
    auto it = registry->slots.find(reinterpret_cast<uintptr_t>(object));
    if (it != registry->slots.end())
        return reinterpret_cast<KqPointerArray<KqObject**>*>(it.value());
    if (!create)
        return nullptr;
    auto* list = new KqPointerArray<KqObject**>;
    registry->slots.insertUnique(reinterpret_cast<uintptr_t>(object), reinterpret_cast<uintptr_t>(list));
    return list;
}

struct WeakRegistry {
    ~WeakRegistry()
    {
        for (auto it = records.begin(); it != records.end(); ++it)
            it->second->object = nullptr;
        for (int i = 0; i < recycled.count(); ++i) {
            if (recycled.at(i)->count == 0)
                delete recycled.at(i);
        }
    }
    KqMap<const KqRttiObject*, KqWeakRecord*> records;
    KqVector<KqWeakRecord*> recycled;
    int32_t purgeThreshold = 1000;

    void purge()
    {
        if (recycled.count() <= purgeThreshold)
            return;
        bool deleted = false;
        for (int i = recycled.count() - 1; i >= 0; --i) {
            if (recycled.at(i)->count == 0) {
                delete recycled.at(i);
                recycled.removeAt(i);
                deleted = true;
            }
        }
        if (deleted)
            purgeThreshold = recycled.count() > 1000 ? recycled.count() : 1000;
        else
            purgeThreshold *= 2;
    }
    void detach(const KqRttiObject* object)
    {
        auto it = records.find(object);
        if (it == records.end())
            return;
        KqWeakRecord* record = it->second;
        records.erase(it);
        record->object = nullptr;
        recycled.append(record);
        purge();
    }
    KqWeakRecord* recordFor(KqRttiObject* object)
    {
        auto it = records.find(object);
        if (it != records.end())
            return it->second;
        KqWeakRecord* record = nullptr;
        for (int i = recycled.count() - 1; i >= 0; --i) {
            if (recycled.at(i)->count == 0) {
                record = recycled.at(i);
                recycled.removeAt(i);
                break;
            }
        }
        if (!record)
            record = new KqWeakRecord{nullptr, 0};
        record->object = object;
        records[object] = record;
        return record;
    }
};

WeakRegistry* weakRegistry() { return KqSingleton<WeakRegistry>::instance(); }

} // namespace

KqObject::KqObject(KqObject* parent) : m_parent(nullptr)
{
    KqSingleton<GuardRegistry>::instance();
    setParent(parent);
}

void KqObject::setParent(KqObject* parent)
{
    if (parent == this || parent == m_parent)
        return;
    if (m_parent)
        m_parent->m_children.removeOne(this);
    m_parent = parent;
    if (m_parent)
        m_parent->m_children.append(this);
}

KqObject::~KqObject()
{
    GuardRegistry* registry = KqSingleton<GuardRegistry>::instance();
    auto it = registry->slots.find(reinterpret_cast<uintptr_t>(this));
    if (it != registry->slots.end()) {
        auto* list = reinterpret_cast<KqPointerArray<KqObject**>*>(it.value());
        for (int i = 0; i < list->count(); ++i) {
            if (list->at(i))
                *list->at(i) = nullptr;
        }
        delete list;
        registry->slots.erase(it);
    }
    for (int i = 0; i < m_children.count(); ++i) {
        KqObject* child = m_children.at(i);
        if (!child)
            continue;
        child->m_parent = nullptr;
        m_children[i] = nullptr;
        delete child;
    }
    m_children.clear();
    setParent(nullptr);
}

void KqPointer::registerSlot(KqObject** slot)
{
    if (!*slot)
        return;
    KqPointerArray<KqObject**>* list = slotList(*slot, true);
    for (int i = 0; i < list->count(); ++i) {
        if (!list->at(i)) {
            list->at(i) = slot;
            return;
        }
    }
    list->append(slot);
}

void KqPointer::unregisterSlot(KqObject** slot)
{
    if (!*slot)
        return;
    KqPointerArray<KqObject**>* list = slotList(*slot, false);
    if (!list)
        return;
    for (int i = 0; i < list->count(); ++i) {
        if (list->at(i) == slot) {
            list->at(i) = nullptr;
            return;
        }
    }
}

KqWeakPointer::KqWeakPointer(KqRttiObject* object) : m_record(nullptr)
{
    if (object) {
        m_record = weakRegistry()->recordFor(object);
        ++m_record->count;
    }
}

KqWeakPointer::KqWeakPointer(const KqWeakPointer& other) : m_record(nullptr) { *this = other; }

KqWeakPointer& KqWeakPointer::operator=(const KqWeakPointer& other)
{
    if (this == &other)
        return *this;
    KqWeakRecord* record = other.m_record && other.m_record->object ? other.m_record : nullptr;
    if (record)
        ++record->count;
    reset();
    m_record = record;
    return *this;
}

void KqWeakPointer::reset()
{
    if (!m_record)
        return;
    KqWeakRecord* record = m_record;
    m_record = nullptr;
    if (--record->count == 0 && record->object)
        weakRegistry()->detach(record->object);
}

void kqWeakObjectGone(const KqRttiObject* object) { weakRegistry()->detach(object); }

int kqWeakRecycledCount() { return weakRegistry()->recycled.count(); }

KqDeferredDeleter* KqDeferredDeleter::instance() { return KqSingleton<KqDeferredDeleter>::instance(); }

void KqDeferredDeleter::append(KqRttiObject* object)
{
    m_queue.append(KqWeakPointer(object));
    if (!m_wantsTicks)
        setTicking(true);
}

void KqDeferredDeleter::flush()
{
    KqVector<KqWeakPointer> batch(m_queue);
    m_queue = KqVector<KqWeakPointer>();
    for (int i = 0; i < batch.count(); ++i) {
        KqRttiObject* object = batch.at(i).get();
        if (object)
            delete object;
    }
    if (m_queue.count() == 0)
        setTicking(false);
}

void KqDeferredDeleter::flushAll()
{
    setTicking(false);
    while (m_queue.count())
        flush();
}
