// Named properties: per declaring class, a table from name to an accessor
// that converts a variant to the property's type and back.
#pragma once

#include "KqContainers.h"
#include "KqServices.h"
#include "KqString.h"
#include "KqVariant.h"

#include <functional>

class KqGraphicsItem;

class KqPropertyAccessor {
public:
    virtual ~KqPropertyAccessor() {}
    static void* operator new(size_t size) { return mp_alloc(static_cast<unsigned>(size)); }
    static void operator delete(void* p) { mp_free(p); }
    virtual void set(void* object, const KqVariant& value) = 0;
    virtual KqVariant get(void* object) = 0;
};

template <class Object, class T> class KqPropertyAccessorOf : public KqPropertyAccessor {
public:
    KqPropertyAccessorOf(std::function<void(Object*, T)> setter, std::function<T(Object*)> getter,
                         T (*convert)(const KqVariant&))
        : m_setter(setter), m_getter(getter), m_convert(convert) {}
    void set(void* object, const KqVariant& value) override { m_setter(static_cast<Object*>(object), m_convert(value)); }
    KqVariant get(void* object) override { return KqVariant(m_getter(static_cast<Object*>(object))); }

private:
    std::function<void(Object*, T)> m_setter;
    std::function<T(Object*)> m_getter;
    T (*m_convert)(const KqVariant&);
};

class KqPropertyRegistry {
public:
    ~KqPropertyRegistry()
    {
        for (auto it = m_accessors.constBegin(); it != m_accessors.constEnd(); ++it)
            delete it->second;
    }
    // The registry of a declaring class.
    template <class Class> static KqPropertyRegistry* of();

    bool registerProperty(const KqString& name, KqPropertyAccessor* accessor)
    {
        KqPropertyAccessor* old = m_accessors.value(name, nullptr);
        m_accessors[name] = accessor;
        delete old;
        return true;
    }
    bool contains(const KqString& name) const { return m_accessors.contains(name); }
    KqVariant property(void* object, const KqString& name) const
    {
        KqPropertyAccessor* accessor = m_accessors.value(name, nullptr);
        return accessor ? accessor->get(object) : KqVariant();
    }
    bool setProperty(void* object, const KqString& name, const KqVariant& value) const
    {
        KqPropertyAccessor* accessor = m_accessors.value(name, nullptr);
        if (!accessor)
            return false;
        accessor->set(object, value);
        return true;
    }

private:
    KqMap<KqString, KqPropertyAccessor*> m_accessors;
};

template <class Class> struct KqPropertyRegistryOf : KqPropertyRegistry {};

template <class Class> KqPropertyRegistry* KqPropertyRegistry::of()
{
    return KqSingleton<KqPropertyRegistryOf<Class>>::instance();
}
