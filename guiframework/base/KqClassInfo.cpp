#include "KqClassInfo.h"

#include "KqObject.h"
#include "KqServices.h"

namespace {
int32_t g_descriptorCounter;
}

KqClassInfo::KqClassInfo(const char* name_, int32_t code_, Factory factory_, const KqClassInfo* base_, int32_t size_)
    : base(base_), code(code_), factory(factory_), size(size_)
{
    if (code == 0)
        code = ++g_descriptorCounter;
    name = KqString::fromAnsi(name_);
    if (code_ != 0 && !KqClassRegistry::instance()->containsId(code))
        KqClassRegistry::instance()->registerClass(this, name, code);
}

bool KqClassInfo::inherits(const KqClassInfo* other) const
{
    for (const KqClassInfo* info = this; info; info = info->base) {
        if (info == other)
            return true;
    }
    return false;
}

KqClassRegistry* KqClassRegistry::instance() { return KqSingleton<KqClassRegistry>::instance(); }

void KqClassRegistry::registerClass(const KqClassInfo* info, const KqString& name, int32_t code)
{
    if (m_byName.contains(name) || m_byCode.contains(code))
        return;
    m_byName[name] = info;
    m_byCode[code] = info;
}

const KqClassInfo* KqRttiObject::classInfo()
{
    static const KqClassInfo* info;
    if (!info)
        info = new (std::nothrow) KqClassInfo("KqRttiObject", 'KROT', nullptr, nullptr, sizeof(KqRttiObject));
    return info;
}

KqRttiObject::~KqRttiObject() { kqWeakObjectGone(this); }

bool KqRttiObject::isKindOf(const KqString& className) const
{
    const KqClassInfo* info = KqClassRegistry::instance()->find(className);
    return info && isKindOf(info);
}

void kqRegisterClass(const char* name, const KqClassInfo* (*classInfo)(), int32_t code)
{
    KqString className = KqString::fromAnsi(name);
    if (KqClassRegistry::instance()->contains(className))
        return;
    const KqClassInfo* info = classInfo();
    if (info)
        KqClassRegistry::instance()->registerClass(info, className, code);
}

