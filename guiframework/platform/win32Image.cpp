#include "KqImage.h"

#include "KqResourceLib.h"
#include "KqServices.h"
#include "win32Gdiplus.h"

KqImageData::~KqImageData() { delete bitmap; }

void kqReleaseImageData(KqImageData* data)
{
    if (data && --data->refCount == 0)
        delete data;
}

KqImage::KqImage(KqImageData* data) : d(data)
{
    if (d)
        ++d->refCount;
}

KqImage::KqImage(const KqImage& other) : KqImage(other.d) {}

KqImage& KqImage::operator=(const KqImage& other)
{
    if (other.d)
        ++other.d->refCount;
    kqReleaseImageData(d);
    d = other.d;
    return *this;
}

KqImage::~KqImage() { kqReleaseImageData(d); }

KqImageCache* KqImageCache::instance() { return KqSingleton<KqImageCache>::instance(); }

void KqImageCache::insert(KqImageData* data)
{
    ++data->refCount;
    m_images[data->name] = data;
}

void KqImageCache::clear()
{
    KqMap<KqString, KqImageData*> images = m_images;
    m_images = KqMap<KqString, KqImageData*>();
    for (auto it = images.constBegin(); it != images.constEnd(); ++it)
        kqReleaseImageData(it->second);
}

KqImage KqImage::fromUrl(const KqUrl& url)
{
    kqRegisterFrameworkResources();
    KqString key = url.toString();
    KqImageCache* cache = KqImageCache::instance();
    if (KqImageData* cached = cache->find(key))
        return KqImage(cached);
    KqByteArray bytes = KqResourceLib::instance()->read(url);
    if (bytes.isEmpty())
        return KqImage();
    KqImageData* data = decode(bytes, key);
    cache->insert(data); // a picture that fails to decode is cached too
    return KqImage(data);
}

KqImage KqImage::fromBytes(const KqByteArray& bytes, const KqString& name)
{
    if (bytes.isEmpty())
        return KqImage();
    return KqImage(decode(bytes, name));
}

KqImageData* KqImage::decode(const KqByteArray& bytes, const KqString& name)
{
    KqImageData* data = new KqImageData;
    data->name = name;
    HGLOBAL block = GlobalAlloc(GMEM_FIXED, static_cast<SIZE_T>(bytes.size()));
    if (block) {
        memcpy(block, bytes.data(), static_cast<size_t>(bytes.size()));
        IStream* stream = nullptr;
        if (SUCCEEDED(CreateStreamOnHGlobal(block, TRUE, &stream)) && stream) {
            Gdiplus::Bitmap* bitmap = Gdiplus::Bitmap::FromStream(stream, FALSE);
            stream->Release();
            if (bitmap && bitmap->GetLastStatus() == Gdiplus::Ok)
                data->bitmap = bitmap;
            else
                delete bitmap;
        } else {
            GlobalFree(block);
        }
    }
    initFrames(data);
    return data;
}

void KqImage::initFrames(KqImageData* data)
{
    data->frameDelays.clear();
    data->frameCount = 0;
    data->activeFrame = 0;
    if (!data->bitmap)
        return;
    UINT dimensions = data->bitmap->GetFrameDimensionsCount();
    if (dimensions == 0)
        return;
    std::vector<GUID> ids(dimensions);
    Gdiplus::Status status = data->bitmap->GetFrameDimensionsList(ids.data(), dimensions);
    if (status != Gdiplus::Ok)
        KqDebugStream() << "KqImage::initFrames" << static_cast<int>(status);
    data->frameCount = static_cast<int32_t>(data->bitmap->GetFrameCount(&ids[0]));
    if (data->frameCount < 2)
        return;
    UINT size = data->bitmap->GetPropertyItemSize(0x5100);
    if (size < sizeof(Gdiplus::PropertyItem))
        return;
    std::vector<uint64_t> buffer((size + 7) / 8);
    Gdiplus::PropertyItem* item = reinterpret_cast<Gdiplus::PropertyItem*>(buffer.data());
    if (data->bitmap->GetPropertyItem(0x5100, size, item) != Gdiplus::Ok || !item->value)
        return;
    const uint32_t* values = static_cast<const uint32_t*>(item->value);
    data->frameDelays.assign(values, values + item->length / 4);
}

KqSize KqImage::size() const
{
    KqSize s;
    if (!isNull()) {
        s.width = static_cast<int32_t>(d->bitmap->GetWidth());
        s.height = static_cast<int32_t>(d->bitmap->GetHeight());
    }
    return s;
}

void KqImage::setActiveFrame(int32_t frame)
{
    if (!d || !d->bitmap || d->frameCount < 2 || frame < 0)
        return;
    d->activeFrame = frame % d->frameCount;
    static const GUID time = {0x6aedbd6d, 0x3fb5, 0x418a, {0x83, 0xa6, 0x7f, 0x45, 0x22, 0x9d, 0xc8, 0x72}};
    Gdiplus::Status status = d->bitmap->SelectActiveFrame(&time, static_cast<UINT>(d->activeFrame));
    if (status != Gdiplus::Ok)
        KqDebugStream() << "KqImage::setActiveFrame" << static_cast<int>(status);
}

int32_t KqImage::frameDelay() const
{
    // Fewer delays than frames: the missing ones count as 0.
    if (!d || d->frameCount < 2 || d->activeFrame < 0 || size_t(d->activeFrame) >= d->frameDelays.size())
        return 0;
    return static_cast<int32_t>(d->frameDelays[size_t(d->activeFrame)] * 10);
}
