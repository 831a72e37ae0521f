#include "KqResourceLib.h"

#include "KqFile.h"
#include "KqServices.h"

KQ_DEFINE_CLASS(KqResourceMapping, KqRttiObject, 'RMNG', &kqMakeInstance<KqResourceMapping>)
KQ_DEFINE_CLASS(KqResourceMappingDLL, KqResourceMapping, 'RMLL', &kqMakeInstance<KqResourceMappingDLL>)
KQ_DEFINE_CLASS(KqResourceMappingFile, KqResourceMapping, 'RMFE', &kqMakeInstance<KqResourceMappingFile>)
KQ_DEFINE_CLASS(KqResourceLib, KqRttiObject, 'RLIB', &kqMakeInstance<KqResourceLib>)

bool KqResourceMapping::contains(const KqUrl& url) const { return m_cache.contains(url.toString()); }

KqByteArray KqResourceMapping::read(const KqUrl& url) const { return m_cache.value(url.toString()); }

bool KqResourceMapping::add(const KqUrl& url, const KqByteArray& bytes)
{
    m_cache[url.toString()] = bytes;
    return true;
}

const KqByteArray& KqResourceMapping::cachedData(const KqUrl& url) const
{
    static const KqByteArray empty;
    auto it = m_cache.constFind(url.toString());
    return it == m_cache.constEnd() ? empty : it->second;
}

bool KqResourceMappingFile::contains(const KqUrl& url) const { return KqFile::exists(url.path()); }

KqByteArray KqResourceMappingFile::read(const KqUrl& url) const
{
    KqString key = url.toString();
    if (m_cache.contains(key))
        return m_cache.value(key);
    KqFile file(url.path());
    if (!file.open(KqIODevice::ReadOnly))
        return KqByteArray();
    KqByteArray bytes = file.readAll();
    file.close();
    return bytes;
}

KqResourceLib::KqResourceLib()
{
    registerMapping(KqString(u"dll"), KqResourceMappingDLL::classInfo());
    registerMapping(KqString(u"file"), KqResourceMappingFile::classInfo());
}

KqResourceLib::~KqResourceLib()
{
    for (auto it = m_mappings.constBegin(); it != m_mappings.constEnd(); ++it)
        delete it->second;
}

KqResourceLib* KqResourceLib::instance() { return KqSingleton<KqResourceLib>::instance(); }

bool KqResourceLib::registerMapping(const KqString& scheme, const KqClassInfo* mappingClass)
{
    if (m_mappings.contains(scheme) || !mappingClass || !mappingClass->inherits(KqResourceMapping::classInfo()))
        return false;
    KqResourceMapping* made = static_cast<KqResourceMapping*>(mappingClass->create());
    if (!made)
        return false;
    m_mappings[scheme] = made;
    return true;
}

KqByteArray KqResourceLib::read(const KqUrl& url) const
{
    KqResourceMapping* m = mapping(url.scheme());
    return m ? m->read(url) : KqByteArray();
}

bool kqRegisterResourceData(int count, const char* const* names, const unsigned char* data, const int32_t* sizes)
{
    KqResourceLib* lib = KqResourceLib::instance();
    KqString dll(u"dll");
    if (!lib->mapping(dll))
        lib->registerMapping(dll, KqResourceMappingDLL::classInfo());
    KqResourceMapping* mapping = kq_cast<KqResourceMappingDLL>(lib->mapping(dll));
    if (!mapping)
        return true;
    int64_t offset = 0;
    for (int i = 0; i < count; ++i) {
        if (sizes[i] > 0) {
            // Raw bytes: an icon or cursor starts with a zero byte.
            KqByteArray bytes = KqByteArray::fromBytes(data + offset, sizes[i]);
            mapping->add(KqUrl(KqString(u"dll:///") + KqString::fromAnsi(names[i])), bytes);
            offset += sizes[i];
        }
    }
    return true;
}

bool kqRegisterFrameworkResourceTable(); // compiled from the drawn skins

void kqRegisterFrameworkResources()
{
    static bool registered;
    if (!registered) {
        registered = true;
        kqRegisterFrameworkResourceTable();
    }
}

KqByteArray kqReadResource(const KqString& url)
{
    kqRegisterFrameworkResources();
    return KqResourceLib::instance()->read(KqUrl(url));
}
