// Ownership tree, guarded pointers that the object's destruction nulls,
// weak pointers through recycled records, and deferred deletion.
#pragma once

#include "KqClassInfo.h"
#include "KqContainers.h"
#include "KqSignal.h"
#include "KqString.h"

class KqObject {
public:
    explicit KqObject(KqObject* parent = nullptr);
    KqObject(const KqObject&) = delete;
    KqObject& operator=(const KqObject&) = delete;
    virtual ~KqObject();
    static void* operator new(size_t size) { return mp_alloc(static_cast<unsigned>(size)); }
    static void operator delete(void* p) { mp_free(p); }

    KqObject* parent() const { return m_parent; }
    void setParent(KqObject* parent);
    const KqVector<KqObject*>& children() const { return m_children; }
    KqString objectName() const { return m_objectName; }
    void setObjectName(const KqString& name) { m_objectName = name; }

private:
    KqObject* m_parent;
    KqString m_objectName;
    KqVector<KqObject*> m_children;
};

// A pointer slot that is nulled when its object is destroyed. Registration
// is explicit: register while the slot points at the object, unregister
// before it is dropped or repointed.
class KqPointer {
public:
    explicit KqPointer(KqObject* object = nullptr) : m_object(object) {}
    static void registerSlot(KqObject** slot);
    static void unregisterSlot(KqObject** slot);
    KqObject*& slot() { return m_object; }
    KqObject* get() const { return m_object; }

private:
    KqObject* m_object;
};

// Stack guard: registered for its lifetime; tells whether the object died
// during a call-out.
class KqObjectGuard {
public:
    explicit KqObjectGuard(KqObject* object) : m_pointer(object) { KqPointer::registerSlot(&m_pointer.slot()); }
    ~KqObjectGuard() { KqPointer::unregisterSlot(&m_pointer.slot()); }
    bool alive() const { return m_pointer.get() != nullptr; }

private:
    KqPointer m_pointer;
};

struct KqWeakRecord {
    KqRttiObject* object;
    int32_t count;
};

class KqWeakPointer {
public:
    KqWeakPointer() : m_record(nullptr) {}
    explicit KqWeakPointer(KqRttiObject* object);
    KqWeakPointer(const KqWeakPointer& other);
    KqWeakPointer& operator=(const KqWeakPointer& other);
    ~KqWeakPointer() { reset(); }
    void reset();
    KqRttiObject* get() const { return m_record ? m_record->object : nullptr; }
    bool operator==(const KqWeakPointer& o) const { return m_record == o.m_record; }

private:
    KqWeakRecord* m_record;
};

// Called by KqRttiObject's destructor.
void kqWeakObjectGone(const KqRttiObject* object);
// Records kept for reuse (diagnostics and tests).
int kqWeakRecycledCount();

class KqDeferredDeleter : public KqTrackable {
public:
    static KqDeferredDeleter* instance();
    ~KqDeferredDeleter() override;
    void append(KqRttiObject* object);
    // Deletes every queued object that is still alive; objects queued by
    // those deletions wait for the next flush.
    void flush();
    void flushAll();
    int pending() const { return m_queue.count(); }
    // The 16 ms tick that drives flush while objects wait.
    bool wantsTicks() const { return m_wantsTicks; }

private:
    void setTicking(bool on);

    KqVector<KqWeakPointer> m_queue;
    bool m_wantsTicks = false;
    class KqTimer* m_timer = nullptr;
};
