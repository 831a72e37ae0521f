// The framework's own run-time type information: one descriptor per class,
// a process-wide registry by name and code, pool allocation at the recorded
// instance size, and type tests along the base chain.
#pragma once

#include "KqContainers.h"
#include "KqString.h"

#include <cstdint>

class KqRttiObject;

class KqClassInfo {
public:
    typedef KqRttiObject* (*Factory)();
    KqClassInfo(const char* name, int32_t code, Factory factory, const KqClassInfo* base, int32_t size);

    KqString name;
    const KqClassInfo* base;
    int32_t code;
    Factory factory;
    int32_t size;

    KqRttiObject* create() const { return factory ? factory() : nullptr; }
    bool inherits(const KqClassInfo* other) const;
    // At the recorded size; a subclass that declares no descriptor of its
    // own asks for more, and gets it.
    void* allocate(size_t requested = 0) const
    {
        size_t bytes = requested > static_cast<size_t>(size) ? requested : static_cast<size_t>(size);
        return mp_alloc(static_cast<unsigned>(bytes));
    }
    void free(void* p) const { mp_free(p); }
};

class KqClassRegistry {
public:
    static KqClassRegistry* instance();
    const KqClassInfo* find(const KqString& name) const { return m_byName.value(name, nullptr); }
    const KqClassInfo* findId(int32_t code) const { return m_byCode.value(code, nullptr); }
    bool contains(const KqString& name) const { return m_byName.contains(name); }
    bool containsId(int32_t code) const { return m_byCode.contains(code); }
    void registerClass(const KqClassInfo* info, const KqString& name, int32_t code);

private:
    KqMap<KqString, const KqClassInfo*> m_byName;
    KqMap<int32_t, const KqClassInfo*> m_byCode;
};

// Inside a class body: the descriptor getter, its dynamic form, and
// allocation through the descriptor.
#define KQ_DECLARE_CLASS(Class)                                                   \
public:                                                                           \
    static const KqClassInfo* classInfo();                                        \
    const KqClassInfo* dynamicClassInfo() const override { return classInfo(); } \
    static void* operator new(size_t size) { return classInfo()->allocate(size); } \
    static void operator delete(void* p) { classInfo()->free(p); }               \
                                                                                  \
private:

// In one source file. Factory: a function making a default instance, or null.
#define KQ_DEFINE_CLASS(Class, Base, code, factory)                                                          \
    const KqClassInfo* Class::classInfo()                                                                    \
    {                                                                                                        \
        static const KqClassInfo* info;                                                                      \
        if (!info)                                                                                           \
            info = new (std::nothrow) KqClassInfo(#Class, code, factory, Base::classInfo(), sizeof(Class)); \
        return info;                                                                                         \
    }

// Factory for a default-constructible class.
template <class T> KqRttiObject* kqMakeInstance()
{
    void* memory = T::classInfo()->allocate();
    return memory ? ::new (memory) T : nullptr;
}

class KqRttiObject {
public:
    KqRttiObject() = default;
    KqRttiObject(const KqRttiObject&) = delete;
    KqRttiObject& operator=(const KqRttiObject&) = delete;
    static const KqClassInfo* classInfo();
    virtual const KqClassInfo* dynamicClassInfo() const { return classInfo(); }
    virtual ~KqRttiObject();
    static void* operator new(size_t size) { return classInfo()->allocate(size); }
    static void operator delete(void* p) { classInfo()->free(p); }

    bool isKindOf(const KqClassInfo* info) const { return dynamicClassInfo()->inherits(info); }
    bool isKindOf(const KqString& className) const;
};

template <class T> T* kq_cast(KqRttiObject* object)
{
    return object && object->isKindOf(T::classInfo()) ? static_cast<T*>(object) : nullptr;
}

template <class T> const T* kq_cast(const KqRttiObject* object)
{
    return object && object->isKindOf(T::classInfo()) ? static_cast<const T*>(object) : nullptr;
}

// Registers the framework's classes in their fixed order (event numbers
// follow it); run once at start-up before other threads exist.
void kqRegisterFrameworkClasses();
// One step of it: builds the class's descriptor unless its name is known.
void kqRegisterClass(const char* name, const KqClassInfo* (*classInfo)(), int32_t code);
