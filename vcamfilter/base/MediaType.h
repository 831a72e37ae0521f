// Media-type helpers: an owning AM_MEDIA_TYPE whose format block comes from
// CoTaskMemAlloc, deep copies handed to callers, and partial matching.
#pragma once

#include <windows.h>
#include <dshow.h>

class CMediaType : public AM_MEDIA_TYPE {
public:
    CMediaType();
    explicit CMediaType(const AM_MEDIA_TYPE& other);
    CMediaType(const CMediaType& other);
    ~CMediaType();
    CMediaType& operator=(const CMediaType& other);
    CMediaType& operator=(const AM_MEDIA_TYPE& other);

    // Drops the format block and the sample-pointer reference; the type is then empty.
    void Clear();
    // Replaces the format block with size zero-filled bytes; null when out of memory.
    BYTE* AllocFormat(ULONG size);
    bool SameAs(const AM_MEDIA_TYPE& other) const;
    // True when every field that partial specifies (non-null GUIDs, a format
    // block) equals this type's.
    bool Matches(const AM_MEDIA_TYPE& partial) const;
    // Deep copy into caller-owned storage (format block from CoTaskMemAlloc).
    HRESULT CopyTo(AM_MEDIA_TYPE* out) const;
    // New CoTaskMemAlloc'ed copy, as IEnumMediaTypes and IAMStreamConfig hand out.
    AM_MEDIA_TYPE* CreateCopy() const;
    bool IsValid() const { return majortype != GUID_NULL; }

    const VIDEOINFOHEADER* VideoInfo() const;

private:
    bool Assign(const AM_MEDIA_TYPE& other);
};

// Copies src into dst field by field with its own format block.
HRESULT CopyMediaTypeContents(AM_MEDIA_TYPE* dst, const AM_MEDIA_TYPE& src);
// Frees what an AM_MEDIA_TYPE owns, leaving the struct itself.
void FreeMediaTypeContents(AM_MEDIA_TYPE& mt);
// Frees a media type handed out by CreateCopy (or any DirectShow interface).
void DeleteMediaTypeCopy(AM_MEDIA_TYPE* mt);
