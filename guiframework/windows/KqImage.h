// Decoded pictures shared by URL: a process-wide cache holds every picture
// decoded once; handles share its data. Animated GIF frames and delays.
#pragma once

#include "KqContainers.h"
#include "KqGeometry.h"
#include "KqString.h"
#include "KqUrl.h"

#include <cstdint>
#include <vector>

namespace Gdiplus {
class Bitmap;
}

struct KqImageData {
    int32_t refCount = 0;
    KqString name;
    Gdiplus::Bitmap* bitmap = nullptr;
    std::vector<uint32_t> frameDelays; // hundredths of a second
    int32_t frameCount = 0;
    int32_t activeFrame = 0;
    static void* operator new(size_t size) { return mp_alloc(static_cast<unsigned>(size)); }
    static void operator delete(void* p) { mp_free(p); }
    ~KqImageData();
};

class KqImage {
public:
    KqImage() = default;
    KqImage(const KqImage& other);
    KqImage& operator=(const KqImage& other);
    ~KqImage();

    static KqImage fromUrl(const KqUrl& url);
    static KqImage fromUrl(const KqString& url) { return fromUrl(KqUrl(url)); }
    // Decodes bytes without the cache (tests, generated pictures).
    static KqImage fromBytes(const KqByteArray& bytes, const KqString& name = KqString());

    bool isNull() const { return !d || !d->bitmap; }
    KqSize size() const;
    int32_t frameCount() const { return d ? d->frameCount : 0; }
    int32_t activeFrame() const { return d ? d->activeFrame : 0; }
    void setActiveFrame(int32_t frame);
    // Milliseconds of the active frame; 0 for still pictures.
    int32_t frameDelay() const;
    Gdiplus::Bitmap* bitmap() const { return d ? d->bitmap : nullptr; }
    bool sharesDataWith(const KqImage& o) const { return d == o.d; }
    int32_t refCount() const { return d ? d->refCount : 0; }

private:
    explicit KqImage(KqImageData* data);
    static KqImageData* decode(const KqByteArray& bytes, const KqString& name);
    static void initFrames(KqImageData* data);
    KqImageData* d = nullptr;
};

class KqImageCache {
public:
    static KqImageCache* instance();
    KqImageData* find(const KqString& name) const { return m_images.value(name, nullptr); }
    void insert(KqImageData* data);
    // Drops the cache's references (GDI+ shut-down).
    void clear();
    int count() const { return m_images.count(); }

private:
    KqMap<KqString, KqImageData*> m_images;
};

void kqReleaseImageData(KqImageData* data);
