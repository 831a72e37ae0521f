// Tagged value: small kinds inline, geometry and strings in an owned heap copy.
#pragma once

#include "KqGeometry.h"
#include "KqString.h"

#include <cstdint>
#include <cstring>

class KqVariant {
public:
    enum Kind {
        None = 0, Bool, Char, UChar, Int, UInt, Double, Float, LongLong, ULongLong, Pointer,
        RectF, Rect, PointF, Point, SizeF, Size, String, Words
    };
    struct FourWords { uint32_t w[4]; };

    KqVariant() : m_payload(0), m_kindWord(kNullFlag) {}
    KqVariant(bool v) : KqVariant() { setInline(Bool, &v, 1); }
    KqVariant(char v) : KqVariant() { setInline(Char, &v, 1); }
    KqVariant(unsigned char v) : KqVariant() { setInline(UChar, &v, 1); }
    KqVariant(int32_t v) : KqVariant() { setInline(Int, &v, 4); }
    KqVariant(uint32_t v) : KqVariant() { setInline(UInt, &v, 4); }
    KqVariant(double v) : KqVariant() { setInline(Double, &v, 8); }
    KqVariant(float v) : KqVariant() { setInline(Float, &v, 4); }
    KqVariant(long long v) : KqVariant() { setInline(LongLong, &v, 8); }
    KqVariant(unsigned long long v) : KqVariant() { setInline(ULongLong, &v, 8); }
    KqVariant(void* v) : KqVariant() { setInline(Pointer, &v, sizeof v); }
    KqVariant(const KqRectF& v) : KqVariant() { setHeap(RectF, new KqRectF(v)); }
    KqVariant(const KqRect& v) : KqVariant() { setHeap(Rect, new KqRect(v)); }
    KqVariant(const KqPointF& v) : KqVariant() { setHeap(PointF, new KqPointF(v)); }
    KqVariant(const KqPoint& v) : KqVariant() { setHeap(Point, new KqPoint(v)); }
    KqVariant(const KqSizeF& v) : KqVariant() { setHeap(SizeF, new KqSizeF(v)); }
    KqVariant(const KqSize& v) : KqVariant() { setHeap(Size, new KqSize(v)); }
    static KqVariant fromString(const KqString& s);
    KqVariant(const KqVariant& o) : KqVariant() { *this = o; }
    KqVariant& operator=(const KqVariant& o);
    ~KqVariant() { clear(); }

    void clear();
    int kind() const { return static_cast<int>(m_kindWord & kKindMask); }
    bool isNull() const { return (m_kindWord & kNullFlag) != 0; }
    const void* heapCopy() const { return kind() >= RectF ? heap() : nullptr; }

    bool asBool(bool* ok = nullptr) const { return strict<bool>(Bool, ok); }
    char asChar(bool* ok = nullptr) const { return strict<char>(Char, ok); }
    unsigned char asUChar(bool* ok = nullptr) const { return strict<unsigned char>(UChar, ok); }
    int32_t asInt(bool* ok = nullptr) const { return strict<int32_t>(Int, ok); }
    uint32_t asUInt(bool* ok = nullptr) const { return strict<uint32_t>(UInt, ok); }
    double asDouble(bool* ok = nullptr) const { return strict<double>(Double, ok); }
    float asFloat(bool* ok = nullptr) const { return strict<float>(Float, ok); }
    long long asLongLong(bool* ok = nullptr) const { return strict<long long>(LongLong, ok); }
    unsigned long long asULongLong(bool* ok = nullptr) const { return strict<unsigned long long>(ULongLong, ok); }
    void* asPointer(bool* ok = nullptr) const { return strict<void*>(Pointer, ok); }
    KqRectF asRectF(bool* ok = nullptr) const { return strictHeap<KqRectF>(RectF, ok); }
    KqRect asRect(bool* ok = nullptr) const { return strictHeap<KqRect>(Rect, ok); }
    KqPointF asPointF(bool* ok = nullptr) const { return strictHeap<KqPointF>(PointF, ok); }
    KqPoint asPoint(bool* ok = nullptr) const { return strictHeap<KqPoint>(Point, ok); }
    KqSizeF asSizeF(bool* ok = nullptr) const { return strictHeap<KqSizeF>(SizeF, ok); }
    KqSize asSize(bool* ok = nullptr) const { return strictHeap<KqSize>(Size, ok); }
    KqString asString(bool* ok = nullptr) const { return strictHeap<KqString>(String, ok); }

    int32_t toInt(bool* ok = nullptr) const;
    uint32_t toUInt(bool* ok = nullptr) const;
    double toDouble(bool* ok = nullptr) const;
    float toFloat(bool* ok = nullptr) const;
    KqRectF toRectF(bool* ok = nullptr) const;
    KqRect toRect(bool* ok = nullptr) const;
    KqPointF toPointF(bool* ok = nullptr) const;
    KqPoint toPoint(bool* ok = nullptr) const;
    KqSizeF toSizeF(bool* ok = nullptr) const;
    KqSize toSize(bool* ok = nullptr) const;

private:
    static const uint32_t kKindMask = 0x3FFFFFFF;
    static const uint32_t kNullFlag = 0x80000000;

    void setKind(int kind) { m_kindWord = (m_kindWord & 0x40000000) | static_cast<uint32_t>(kind); }
    void setInline(int kind, const void* value, size_t bytes);
    template <class T> void setHeap(int kind, T* copy)
    {
        *reinterpret_cast<void**>(&m_payload) = copy;
        setKind(kind);
        m_kindWord &= ~kNullFlag;
    }
    void* heap() const { return *reinterpret_cast<void* const*>(&m_payload); }
    template <class T> T strict(int wanted, bool* ok) const;
    template <class T> T strictHeap(int wanted, bool* ok) const
    {
        bool match = kind() == wanted && heap();
        if (ok)
            *ok = match;
        return match ? *static_cast<const T*>(heap()) : T();
    }

    uint64_t m_payload;
    uint32_t m_kindWord;
};

template <class T> inline T KqVariant::strict(int wanted, bool* ok) const
{
    bool match = kind() == wanted;
    if (ok)
        *ok = match;
    T value = T();
    if (match)
        memcpy(&value, &m_payload, sizeof(T));
    return value;
}
