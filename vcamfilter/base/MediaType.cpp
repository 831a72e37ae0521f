#include "MediaType.h"

#include <cstring>

void FreeMediaTypeContents(AM_MEDIA_TYPE& mt)
{
    if (mt.pbFormat)
        CoTaskMemFree(mt.pbFormat);
    if (mt.pUnk)
        mt.pUnk->Release();
    mt.pbFormat = nullptr;
    mt.cbFormat = 0;
    mt.pUnk = nullptr;
}

void DeleteMediaTypeCopy(AM_MEDIA_TYPE* mt)
{
    if (!mt)
        return;
    FreeMediaTypeContents(*mt);
    CoTaskMemFree(mt);
}

HRESULT CopyMediaTypeContents(AM_MEDIA_TYPE* dst, const AM_MEDIA_TYPE& src)
{
    *dst = src;
    dst->pbFormat = nullptr;
    dst->cbFormat = 0;
    if (src.cbFormat && src.pbFormat) {
        dst->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(src.cbFormat));
        if (!dst->pbFormat) {
            dst->pUnk = nullptr;
            return E_OUTOFMEMORY;
        }
        memcpy(dst->pbFormat, src.pbFormat, src.cbFormat);
        dst->cbFormat = src.cbFormat;
    }
    if (dst->pUnk)
        dst->pUnk->AddRef();
    return S_OK;
}

CMediaType::CMediaType()
{
    memset(static_cast<AM_MEDIA_TYPE*>(this), 0, sizeof(AM_MEDIA_TYPE));
    bFixedSizeSamples = TRUE;
    lSampleSize = 1;
}

CMediaType::CMediaType(const AM_MEDIA_TYPE& other) : CMediaType()
{
    Assign(other);
}

CMediaType::CMediaType(const CMediaType& other) : CMediaType()
{
    Assign(other);
}

CMediaType::~CMediaType()
{
    FreeMediaTypeContents(*this);
}

CMediaType& CMediaType::operator=(const CMediaType& other)
{
    if (this != &other)
        Assign(other);
    return *this;
}

CMediaType& CMediaType::operator=(const AM_MEDIA_TYPE& other)
{
    if (this != &other)
        Assign(other);
    return *this;
}

bool CMediaType::Assign(const AM_MEDIA_TYPE& other)
{
    Clear();
    if (FAILED(CopyMediaTypeContents(this, other))) {
        Clear();
        return false;
    }
    return true;
}

void CMediaType::Clear()
{
    FreeMediaTypeContents(*this);
    memset(static_cast<AM_MEDIA_TYPE*>(this), 0, sizeof(AM_MEDIA_TYPE));
}

BYTE* CMediaType::AllocFormat(ULONG size)
{
    if (pbFormat)
        CoTaskMemFree(pbFormat);
    pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(size));
    cbFormat = pbFormat ? size : 0;
    if (pbFormat)
        memset(pbFormat, 0, size);
    return pbFormat;
}

bool CMediaType::SameAs(const AM_MEDIA_TYPE& other) const
{
    return majortype == other.majortype && subtype == other.subtype && formattype == other.formattype &&
           cbFormat == other.cbFormat && (cbFormat == 0 || memcmp(pbFormat, other.pbFormat, cbFormat) == 0);
}

bool CMediaType::Matches(const AM_MEDIA_TYPE& partial) const
{
    if (partial.majortype != GUID_NULL && partial.majortype != majortype)
        return false;
    if (partial.subtype != GUID_NULL && partial.subtype != subtype)
        return false;
    if (partial.formattype != GUID_NULL && partial.formattype != FORMAT_None) {
        if (partial.formattype != formattype)
            return false;
        if (partial.cbFormat && partial.pbFormat &&
            (partial.cbFormat != cbFormat || memcmp(partial.pbFormat, pbFormat, cbFormat) != 0))
            return false;
    }
    return true;
}

HRESULT CMediaType::CopyTo(AM_MEDIA_TYPE* out) const
{
    if (!out)
        return E_POINTER;
    return CopyMediaTypeContents(out, *this);
}

AM_MEDIA_TYPE* CMediaType::CreateCopy() const
{
    auto* copy = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    if (copy && FAILED(CopyTo(copy))) {
        CoTaskMemFree(copy);
        copy = nullptr;
    }
    return copy;
}

const VIDEOINFOHEADER* CMediaType::VideoInfo() const
{
    if (formattype != FORMAT_VideoInfo || !pbFormat || cbFormat < sizeof(VIDEOINFOHEADER))
        return nullptr;
    return reinterpret_cast<const VIDEOINFOHEADER*>(pbFormat);
}
