#include "KqVariant.h"

#include <cstring>
#include <new>

void KqVariant::setInline(int kind, const void* value, size_t bytes)
{
    m_payload = 0;
    memcpy(&m_payload, value, bytes);
    setKind(kind);
    m_kindWord &= ~kNullFlag;
}

KqVariant KqVariant::fromString(const KqString& s)
{
    KqVariant v;
    v.setHeap(String, new KqString(s));
    v.m_kindWord &= ~kNullFlag;
    return v;
}

void KqVariant::clear()
{
    void* copy = heap();
    switch (kind()) {
    case RectF: delete static_cast<KqRectF*>(copy); break;
    case Rect: delete static_cast<KqRect*>(copy); break;
    case PointF: delete static_cast<KqPointF*>(copy); break;
    case Point: delete static_cast<KqPoint*>(copy); break;
    case SizeF: delete static_cast<KqSizeF*>(copy); break;
    case Size: delete static_cast<KqSize*>(copy); break;
    case String: delete static_cast<KqString*>(copy); break;
    case Words: delete static_cast<FourWords*>(copy); break;
    default: break;
    }
    m_payload = 0;
    m_kindWord = (m_kindWord & 0x40000000) | kNullFlag;
}

namespace {
template <class T> void* copyInto(void* target, const void* source)
{
    if (target) {
        *static_cast<T*>(target) = *static_cast<const T*>(source);
        return target;
    }
    return source ? new (std::nothrow) T(*static_cast<const T*>(source)) : nullptr;
}
}

KqVariant& KqVariant::operator=(const KqVariant& o)
{
    if (this == &o)
        return *this;
    if (kind() != o.kind())
        clear();
    int k = o.kind();
    if (k >= RectF && k <= Words) {
        void* target = kind() == k ? heap() : nullptr;
        void* copy = nullptr;
        switch (k) {
        case RectF: copy = copyInto<KqRectF>(target, o.heap()); break;
        case Rect: copy = copyInto<KqRect>(target, o.heap()); break;
        case PointF: copy = copyInto<KqPointF>(target, o.heap()); break;
        case Point: copy = copyInto<KqPoint>(target, o.heap()); break;
        case SizeF: copy = copyInto<KqSizeF>(target, o.heap()); break;
        case Size: copy = copyInto<KqSize>(target, o.heap()); break;
        case String: copy = copyInto<KqString>(target, o.heap()); break;
        default: copy = copyInto<FourWords>(target, o.heap()); break;
        }
        m_payload = 0;
        *reinterpret_cast<void**>(&m_payload) = copy;
    } else {
        m_payload = o.m_payload;
    }
    m_kindWord = (m_kindWord & 0x40000000) | (o.m_kindWord & ~0x40000000u);
    return *this;
}

int32_t KqVariant::toInt(bool* ok) const
{
    switch (kind()) {
    case Bool: return asBool(ok) ? 1 : 0;
    case Char: return static_cast<unsigned char>(asChar(ok));
    case UChar: return asUChar(ok);
    case UInt: return static_cast<int32_t>(asUInt(ok));
    case Double: return static_cast<int32_t>(static_cast<long long>(asDouble(ok)));
    case Float: return static_cast<int32_t>(static_cast<long long>(asFloat(ok)));
    case LongLong: return static_cast<int32_t>(static_cast<uint32_t>(asLongLong(ok)));
    case ULongLong: return static_cast<int32_t>(static_cast<uint32_t>(asULongLong(ok)));
    default: return asInt(ok);
    }
}

uint32_t KqVariant::toUInt(bool* ok) const
{
    switch (kind()) {
    case Bool: case Char: case UChar: case Double: case Float: case LongLong: case ULongLong: case Int:
        return static_cast<uint32_t>(kind() == Int ? asInt(ok) : toInt(ok));
    default: return asUInt(ok);
    }
}

double KqVariant::toDouble(bool* ok) const
{
    switch (kind()) {
    case Bool: return asBool(ok) ? 1 : 0;
    case Char: return static_cast<unsigned char>(asChar(ok));
    case UChar: return asUChar(ok);
    case Int: return asInt(ok);
    case UInt: return asUInt(ok);
    case Float: return asFloat(ok);
    case LongLong: return static_cast<double>(asLongLong(ok));
    case ULongLong: return static_cast<double>(asULongLong(ok));
    default: return asDouble(ok);
    }
}

float KqVariant::toFloat(bool* ok) const
{
    if (kind() == Float)
        return asFloat(ok);
    if (kind() >= Bool && kind() <= ULongLong)
        return static_cast<float>(toDouble(ok));
    return asFloat(ok);
}

KqRectF KqVariant::toRectF(bool* ok) const
{
    return kind() == Rect ? KqRectF(asRect(ok)) : asRectF(ok);
}

KqRect KqVariant::toRect(bool* ok) const
{
    if (kind() != RectF)
        return asRect(ok);
    KqRectF r = asRectF(ok);
    return r.toRect();
}

KqPointF KqVariant::toPointF(bool* ok) const
{
    if (kind() != Point)
        return asPointF(ok);
    KqPoint p = asPoint(ok);
    return KqPointF(p.x, p.y);
}

KqPoint KqVariant::toPoint(bool* ok) const
{
    if (kind() != PointF)
        return asPoint(ok);
    KqPointF p = asPointF(ok);
    return KqPoint(roundHalfUp(p.x), roundHalfUp(p.y));
}

KqSizeF KqVariant::toSizeF(bool* ok) const
{
    if (kind() != Size)
        return asSizeF(ok);
    KqSize s = asSize(ok);
    return KqSizeF{double(s.width), double(s.height)};
}

KqSize KqVariant::toSize(bool* ok) const
{
    if (kind() != SizeF)
        return asSize(ok);
    KqSizeF s = asSizeF(ok);
    return KqSize{roundHalfUp(s.width), roundHalfUp(s.height)};
}
