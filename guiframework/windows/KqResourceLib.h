// Resource bytes by URL: one mapping per scheme. "dll" serves tables of
// files compiled into the program, "file" reads files from disk.
#pragma once

#include "KqClassInfo.h"
#include "KqContainers.h"
#include "KqString.h"
#include "KqUrl.h"

#include <cstdint>

class KqResourceMapping : public KqRttiObject {
    KQ_DECLARE_CLASS(KqResourceMapping)
public:
    KqResourceMapping() = default;
    virtual bool contains(const KqUrl& url) const;
    virtual KqByteArray read(const KqUrl& url) const;
    virtual bool add(const KqUrl& url, const KqByteArray& bytes);
    // The caller makes sure the URL is present.
    virtual const KqByteArray& cachedData(const KqUrl& url) const;

protected:
    KqMap<KqString, KqByteArray> m_cache;
};

class KqResourceMappingDLL : public KqResourceMapping {
    KQ_DECLARE_CLASS(KqResourceMappingDLL)
public:
    KqResourceMappingDLL() = default;
};

class KqResourceMappingFile : public KqResourceMapping {
    KQ_DECLARE_CLASS(KqResourceMappingFile)
public:
    KqResourceMappingFile() = default;
    bool contains(const KqUrl& url) const override;
    KqByteArray read(const KqUrl& url) const override;
};

class KqResourceLib : public KqRttiObject {
    KQ_DECLARE_CLASS(KqResourceLib)
public:
    KqResourceLib();
    ~KqResourceLib() override;
    static KqResourceLib* instance();

    bool registerMapping(const KqString& scheme, const KqClassInfo* mappingClass);
    KqResourceMapping* mapping(const KqString& scheme) const { return m_mappings.value(scheme, nullptr); }
    KqByteArray read(const KqUrl& url) const;

private:
    KqMap<KqString, KqResourceMapping*> m_mappings;
};

// Adds a compiled table (names, files back to back, sizes) to "dll".
bool kqRegisterResourceData(int count, const char* const* names, const unsigned char* data, const int32_t* sizes);
// Reads a resource; the framework's own table is registered on first use.
KqByteArray kqReadResource(const KqString& url);
void kqRegisterFrameworkResources();
