// Signals: ordered connections to member functions of receivers that derive
// from KqTrackable. A receiver's destruction makes its connections inert;
// the connection list is copy-on-write, so an emission walks a stable list
// while slots connect more receivers.
#pragma once

#include "KqContainers.h"

#include <atomic>
#include <cstdint>
#include <vector>

struct KqTrackControl {
    class KqTrackable* target;
    std::atomic<int32_t> refCount;
    static void* operator new(size_t size) { return mp_alloc(static_cast<unsigned>(size)); }
    static void operator delete(void* p) { mp_free(p); }
    void retain() { ++refCount; }
    void release()
    {
        if (--refCount == 0)
            delete this;
    }
};

class KqTrackable {
public:
    KqTrackable() : m_control(new KqTrackControl{this, {1}}) {}
    KqTrackable(const KqTrackable&) : KqTrackable() {}
    KqTrackable& operator=(const KqTrackable&) { return *this; }
    virtual ~KqTrackable()
    {
        m_control->target = nullptr;
        m_control->release();
    }
    KqTrackControl* trackControl() const { return m_control; }

private:
    KqTrackControl* m_control;
};

class KqSlotConnection {
public:
    explicit KqSlotConnection(KqTrackControl* control) : m_control(control) { m_control->retain(); }
    KqSlotConnection(const KqSlotConnection& o) : m_control(o.m_control) { m_control->retain(); }
    KqSlotConnection& operator=(const KqSlotConnection&) = delete;
    virtual ~KqSlotConnection() { m_control->release(); }
    virtual KqSlotConnection* clone() const = 0;
    virtual bool equals(const KqSlotConnection& other) const = 0;
    bool isDead() const { return m_control->target == nullptr; }
    bool bindsTo(const KqTrackable* receiver) const { return m_control == receiver->trackControl(); }
    static void* operator new(size_t size) { return mp_alloc(static_cast<unsigned>(size)); }
    static void operator delete(void* p) { mp_free(p); }

protected:
    KqTrackControl* m_control;
};

template <class... Args> class KqSlotConnectionOf : public KqSlotConnection {
public:
    using KqSlotConnection::KqSlotConnection;
    // Calls the slot unless the receiver is gone.
    virtual void invoke(Args... args) const = 0;
};

template <class R, class... Args> class KqMemberConnection final : public KqSlotConnectionOf<Args...> {
public:
    typedef void (R::*Member)(Args...);
    KqMemberConnection(R* receiver, Member member)
        : KqSlotConnectionOf<Args...>(receiver->trackControl()), m_receiver(receiver), m_member(member) {}
    KqSlotConnection* clone() const override { return new KqMemberConnection(*this); }
    bool equals(const KqSlotConnection& other) const override
    {
        const KqMemberConnection* o = dynamic_cast<const KqMemberConnection*>(&other);
        return o && o->m_receiver == m_receiver && o->m_member == m_member;
    }
    void invoke(Args... args) const override
    {
        if (!this->isDead())
            (m_receiver->*m_member)(args...);
    }

private:
    R* m_receiver;
    Member m_member;
};

class KqSignalBase {
public:
    KqSignalBase() = default;
    KqSignalBase(const KqSignalBase&) = delete;
    KqSignalBase& operator=(const KqSignalBase&) = delete;
    virtual ~KqSignalBase() { clear(); }
    void removeDeadConnections();
    void removeConnectionsTo(const KqTrackable* receiver);
    void clear();
    int connectionCount() const { return m_list.isNull() ? 0 : static_cast<int>(m_list.constData()->connections.size()); }

protected:
    struct List : KqSharedData {
        List() = default;
        List(const List& o) : KqSharedData(o)
        {
            for (KqSlotConnection* c : o.connections)
                connections.push_back(c->clone());
        }
        ~List() override
        {
            for (KqSlotConnection* c : connections)
                delete c;
        }
        std::vector<KqSlotConnection*, KqPoolAllocator<KqSlotConnection*>> connections;
    };
    void append(const KqSlotConnection& temporary);
    KqSharedDataPointer<List> m_list;
};

template <class... Args> class KqSignalOf : public KqSignalBase {
public:
    template <class R> void connect(R* receiver, void (R::*member)(Args...))
    {
        removeDeadConnections();
        KqMemberConnection<R, Args...> temporary(receiver, member);
        append(temporary);
    }
    void emit(Args... args) const
    {
        if (m_list.isNull())
            return;
        // Holding the body makes changes during the emission copy it first.
        KqSharedDataPointer<List> snapshot(m_list);
        for (KqSlotConnection* c : snapshot.constData()->connections)
            static_cast<KqSlotConnectionOf<Args...>*>(c)->invoke(args...);
    }
};

class KqGraphicsItem;
class KqEvent;
typedef KqSignalOf<> KqSignal0;
typedef KqSignalOf<KqGraphicsItem*, KqEvent*> KqSignal2;
