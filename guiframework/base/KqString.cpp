#include "KqString.h"

#include "KqTextCodec.h"
#include "MemPool.h"

#include <cstring>

namespace {

const size_t kStringHeader = offsetof(KqString::Data, array);
const size_t kBytesHeader = offsetof(KqByteArray::Data, array);

// The shared null and empty blocks are never counted nor freed, so any
// thread may hand them out.
KqString::Data g_nullString = {-1, 0, 0, g_nullString.array, {0}};
KqString::Data g_emptyString = {-1, 0, 0, g_emptyString.array, {0}};
KqByteArray::Data g_nullBytes = {-1, 0, 0, g_nullBytes.array, {0}};
KqByteArray::Data g_emptyBytes = {-1, 0, 0, g_emptyBytes.array, {0}};

template <class D> void retain(D* d)
{
    if (d->ref >= 0)
        ++d->ref;
}

template <class D> void release(D* d)
{
    if (d->ref >= 0 && --d->ref == 0)
        mp_free(d);
}

// Lengths above these are refused before the growth rule could overflow.
const int kMaxUnits = 0x3FFF0000;
const int kMaxBytes = 0x7FFE0000;
// Capacities a block may be made with (the growth rule adds at most 4096 bytes).
bool stringCapacityOk(int capacity) { return capacity >= 0 && capacity <= kMaxUnits + 2048; }
bool bytesCapacityOk(int capacity) { return capacity >= 0 && capacity <= kMaxBytes + 4096; }

// One bit cleared, not rounding: the block sizes stay pool-friendly.
int grownBytes(int b)
{
    if (b < 64)
        return (b + 16) & ~16;
    if (b < 4096)
        return (b + 64) & ~64;
    return (b + 4096) & ~4096;
}

// Null when the block cannot be had (the pool has reported it).
KqString::Data* newString(int capacity)
{
    if (!stringCapacityOk(capacity))
        return nullptr;
    KqString::Data* d = static_cast<KqString::Data*>(mp_alloc(static_cast<unsigned>(kStringHeader + 2 * (static_cast<size_t>(capacity) + 1))));
    if (!d)
        return nullptr;
    d->ref = 1;
    d->alloc = capacity;
    d->size = 0;
    d->data = d->array;
    d->array[0] = 0;
    return d;
}

KqByteArray::Data* newBytes(int capacity)
{
    if (!bytesCapacityOk(capacity))
        return nullptr;
    KqByteArray::Data* d = static_cast<KqByteArray::Data*>(mp_alloc(static_cast<unsigned>(kBytesHeader + static_cast<size_t>(capacity) + 1)));
    if (!d)
        return nullptr;
    d->ref = 1;
    d->alloc = capacity;
    d->size = 0;
    d->data = d->array;
    d->array[0] = 0;
    return d;
}

int unitLength(const KqChar* text)
{
    int n = 0;
    while (text[n])
        ++n;
    return n;
}

} // namespace

int KqString::grownCapacity(int needed)
{
    return (grownBytes(2 * needed + 20) - 20) / 2;
}

int KqByteArray::grownCapacity(int needed)
{
    return grownBytes(needed + 20) - 20;
}

KqString::KqString() : d(&g_nullString) {}

KqString::KqString(const KqChar* text, int length)
{
    if (!text) {
        d = &g_nullString;
        return;
    }
    if (length < 0)
        length = unitLength(text);
    d = newString(length);
    if (!d) {
        d = &g_nullString; // no memory: the null string, never a half-made one
        return;
    }
    memcpy(d->array, text, 2 * static_cast<size_t>(length));
    d->size = length;
    d->array[length] = 0;
}

KqString::KqString(KqChar unit) : KqString(&unit, 1) {}

KqString::KqString(const char* ansi) : d(&g_nullString)
{
    *this = fromAnsi(ansi);
}

KqString::KqString(const KqString& other) : d(other.d) { retain(d); }

KqString& KqString::operator=(const KqString& other)
{
    retain(other.d);
    release(d);
    d = other.d;
    return *this;
}

KqString::~KqString() { release(d); }

KqString KqString::fromAnsi(const char* text, int length)
{
    if (!text)
        return KqString();
    if (length < 0)
        length = static_cast<int>(strlen(text));
    return KqTextCodec(KqTextCodec::Ansi).toUnicode(text, length);
}

KqString KqString::fromUtf8(const char* bytes, int length)
{
    if (!bytes)
        return KqString();
    if (length < 0)
        length = static_cast<int>(strlen(bytes));
    return KqTextCodec(KqTextCodec::Utf8).toUnicode(bytes, length);
}

KqString KqString::fromInt(int value, int radix)
{
    if (radix < 2 || radix > 36)
        radix = 10;
    KqChar buffer[34]; // sign plus 32 binary digits, then the terminator
    int pos = 34;
    buffer[--pos] = 0;
    unsigned magnitude = value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
    do {
        unsigned digit = magnitude % static_cast<unsigned>(radix);
        buffer[--pos] = static_cast<KqChar>(digit < 10 ? u'0' + digit : u'a' + digit - 10);
        magnitude /= static_cast<unsigned>(radix);
    } while (magnitude);
    if (value < 0)
        buffer[--pos] = u'-';
    return KqString(buffer + pos);
}

bool KqString::isNull() const { return d == &g_nullString; }

bool KqString::reallocate(int capacity)
{
    if (d->ref == 1 && d->data == d->array) {
        if (!stringCapacityOk(capacity))
            return false;
        Data* grown = static_cast<Data*>(mp_realloc(d, static_cast<unsigned>(kStringHeader + 2 * (static_cast<size_t>(capacity) + 1))));
        if (!grown)
            return false; // the old block is untouched
        d = grown;
        d->data = d->array;
        d->alloc = capacity;
        if (d->size > capacity)
            d->size = capacity;
        d->array[d->size] = 0;
        return true;
    }
    Data* fresh = newString(capacity);
    if (!fresh)
        return false;
    int keep = d->size < capacity ? d->size : capacity;
    memcpy(fresh->array, d->data, 2 * static_cast<size_t>(keep));
    fresh->size = keep;
    fresh->array[keep] = 0;
    release(d);
    d = fresh;
    return true;
}

bool KqString::detach()
{
    if (d->ref != 1 || d->data != d->array)
        return reallocate(d->alloc > d->size ? d->alloc : d->size);
    return true;
}

KqString& KqString::append(const KqString& other)
{
    if (other.isNull())
        return *this;
    if (isNull()) {
        *this = other;
        return *this;
    }
    if (other.d->size > kMaxUnits - d->size)
        return *this; // the sum would not fit: unchanged
    int total = d->size + other.d->size;
    KqString keep(other); // the other may be this very string
    if ((d->ref != 1 || d->data != d->array || d->alloc < total) && !reallocate(grownCapacity(total)))
        return *this; // no memory: unchanged
    memcpy(d->data + d->size, keep.d->data, 2 * static_cast<size_t>(keep.d->size));
    d->size = total;
    d->data[total] = 0;
    return *this;
}

KqString& KqString::append(const KqChar* text)
{
    return append(KqString(text));
}

KqString& KqString::append(KqChar unit)
{
    if (d->size >= kMaxUnits)
        return *this;
    int total = d->size + 1;
    if ((d->ref != 1 || d->data != d->array || d->alloc < total) && !reallocate(grownCapacity(total)))
        return *this;
    d->data[d->size] = unit;
    d->size = total;
    d->data[total] = 0;
    return *this;
}

KqString operator+(const KqString& a, const KqString& b)
{
    KqString result(a);
    result.append(b);
    return result;
}

void KqString::clear() { *this = KqString(); }

bool KqString::setLength(int n)
{
    if (n <= 0) {
        *this = KqString(&g_emptyString);
        return true;
    }
    if (n > kMaxUnits)
        return false;
    if ((d->ref != 1 || d->data != d->array || d->alloc < n) && !reallocate(grownCapacity(n)))
        return false;
    d->size = n;
    d->data[n] = 0;
    return true;
}

void KqString::erase(int position, int count)
{
    if (position < 0)
        position += d->size;
    if (position < 0 || position >= d->size || count <= 0)
        return;
    if (count >= d->size - position) {
        setLength(position);
        return;
    }
    if (!detach())
        return; // the shared block must not change under its other holders
    memmove(d->data + position, d->data + position + count, 2 * static_cast<size_t>(d->size - position - count + 1));
    d->size -= count;
}

KqString KqString::prefix(int n) const
{
    if (n < 0 || n >= d->size)
        return *this;
    return KqString(d->data, n);
}

KqString KqString::suffix(int n) const
{
    if (n < 0 || n >= d->size)
        return *this;
    return KqString(d->data + d->size - n, n);
}

KqString KqString::mid(int position, int count) const
{
    if (isNull() || position >= d->size)
        return KqString();
    if (count < 0)
        count = d->size - position;
    if (position < 0) {
        count += position;
        position = 0;
    }
    if (count > d->size - position)
        count = d->size - position;
    if (position == 0 && count == d->size)
        return *this;
    if (count <= 0)
        return KqString(&g_emptyString);
    return KqString(d->data + position, count);
}

int KqString::indexOf(const KqString& needle, int start) const
{
    if (start < 0)
        start = 0;
    if (d->size == 0 || start >= d->size)
        return -1;
    int n = needle.d->size;
    if (n == 0)
        return start;
    for (int i = start; i + n <= d->size; ++i) {
        if (memcmp(d->data + i, needle.d->data, 2 * static_cast<size_t>(n)) == 0)
            return i;
    }
    return -1;
}

int KqString::indexOf(KqChar unit, int start) const
{
    if (start < 0)
        start = 0;
    for (int i = start; i < d->size; ++i) {
        if (d->data[i] == unit)
            return i;
    }
    return -1;
}

int KqString::lastIndexOf(KqChar unit, int start) const
{
    if (d->size == 0)
        return -1;
    if (start < 0)
        start += d->size;
    if (start >= d->size)
        start = d->size - 1;
    for (int i = start; i >= 0; --i) {
        if (d->data[i] == unit)
            return i;
    }
    return -1;
}

int KqString::lastIndexOf(const KqString& needle, int start) const
{
    int n = needle.d->size;
    if (n == 1)
        return lastIndexOf(needle.d->data[0], start);
    if (start < 0)
        start += d->size;
    if (start == d->size && n == 0)
        return start;
    if (start < 0 || start >= d->size || n > d->size)
        return -1;
    int i = d->size - n < start ? d->size - n : start;
    for (; i >= 0; --i) {
        if (memcmp(d->data + i, needle.d->data, 2 * static_cast<size_t>(n)) == 0)
            return i;
    }
    return -1;
}

bool KqString::beginsWith(const KqString& prefix) const
{
    if (isNull())
        return prefix.isNull();
    if (d->size == 0)
        return prefix.d->size == 0;
    return prefix.d->size <= d->size && memcmp(d->data, prefix.d->data, 2 * static_cast<size_t>(prefix.d->size)) == 0;
}

int KqString::compare(const KqString& other) const
{
    if (d == other.d)
        return 0;
    int n = d->size < other.d->size ? d->size : other.d->size;
    for (int i = 0; i < n; ++i) {
        if (d->data[i] != other.d->data[i])
            return static_cast<int>(d->data[i]) - static_cast<int>(other.d->data[i]);
    }
    return d->size - other.d->size;
}

bool KqString::operator==(const KqString& other) const
{
    return d->size == other.d->size && memcmp(d->data, other.d->data, 2 * static_cast<size_t>(d->size)) == 0;
}

KqChar KqString::unitAt(int index) const
{
    return index >= 0 && index < d->size ? d->data[index] : KqChar(0);
}

KqString& KqString::replace(const KqString& before, const KqString& after)
{
    if (before.d->size == 0)
        return *this; // nothing to find; an empty needle would never advance
    KqString result(&g_emptyString);
    int from = 0;
    int expected = 0;
    for (int at = indexOf(before, 0); at >= 0; at = indexOf(before, from)) {
        result.append(KqString(d->data + from, at - from));
        result.append(after);
        expected += at - from + after.d->size;
        from = at + before.d->size;
    }
    result.append(KqString(d->data + from, d->size - from));
    expected += d->size - from;
    if (result.d->size != expected)
        return *this; // a piece could not be had: unchanged
    *this = result;
    return *this;
}

KqByteArray KqString::toUtf8() const
{
    return KqTextCodec(KqTextCodec::Utf8).fromUnicode(d->data, d->size);
}

// ---- KqByteArray

KqByteArray::KqByteArray() : d(&g_nullBytes) {}

KqByteArray::KqByteArray(const char* text) : KqByteArray(text, text ? static_cast<int>(strlen(text)) : 0) {}

KqByteArray::KqByteArray(const char* text, int length)
{
    if (!text) {
        d = &g_nullBytes;
    } else if (!text[0] || length <= 0) {
        d = &g_emptyBytes;
    } else {
        copyIn(text, length);
    }
}

KqByteArray KqByteArray::fromBytes(const void* bytes, int length)
{
    KqByteArray result;
    if (!bytes)
        return result;
    if (length <= 0)
        return KqByteArray("", 0);
    result.copyIn(static_cast<const char*>(bytes), length);
    return result;
}

void KqByteArray::copyIn(const char* bytes, int length)
{
    d = newBytes(length);
    if (!d) {
        d = &g_nullBytes; // no memory: the null array, never a half-made one
        return;
    }
    memcpy(d->array, bytes, static_cast<size_t>(length));
    d->size = length;
    d->array[length] = 0;
}

KqByteArray::KqByteArray(const KqByteArray& other) : d(other.d) { retain(d); }

KqByteArray& KqByteArray::operator=(const KqByteArray& other)
{
    retain(other.d);
    release(d);
    d = other.d;
    return *this;
}

KqByteArray::~KqByteArray() { release(d); }

bool KqByteArray::isNull() const { return d == &g_nullBytes; }

void KqByteArray::clear() { *this = KqByteArray(); }

bool KqByteArray::reallocate(int capacity)
{
    if (d->ref == 1 && d->data == d->array) {
        if (!bytesCapacityOk(capacity))
            return false;
        Data* grown = static_cast<Data*>(mp_realloc(d, static_cast<unsigned>(kBytesHeader + static_cast<size_t>(capacity) + 1)));
        if (!grown)
            return false;
        d = grown;
        d->data = d->array;
        d->alloc = capacity;
        if (d->size > capacity)
            d->size = capacity;
        d->array[d->size] = 0;
        return true;
    }
    Data* fresh = newBytes(capacity);
    if (!fresh)
        return false;
    int keep = d->size < capacity ? d->size : capacity;
    memcpy(fresh->array, d->data, static_cast<size_t>(keep));
    fresh->size = keep;
    fresh->array[keep] = 0;
    release(d);
    d = fresh;
    return true;
}

bool KqByteArray::detach()
{
    if (d->ref != 1 || d->data != d->array)
        return reallocate(d->alloc > d->size ? d->alloc : d->size);
    return true;
}

char* KqByteArray::mutableData()
{
    // Never the bytes of a block others still hold.
    return detach() ? d->data : nullptr;
}

bool KqByteArray::setLength(int n)
{
    if (n <= 0) {
        release(d);
        d = &g_emptyBytes;
        return true;
    }
    if (n > kMaxBytes)
        return false;
    if (isNull()) {
        Data* fresh = newBytes(n);
        if (!fresh)
            return false;
        d = fresh;
    } else if (d->ref != 1 || d->data != d->array || n > d->alloc || (n < d->size && n < d->alloc / 2)) {
        if (!reallocate(grownCapacity(n))) {
            if (n > d->alloc || d->ref != 1 || d->data != d->array)
                return false;
            // Only the shrink to a smaller block failed: keep the larger one.
        }
    }
    d->size = n;
    d->data[n] = 0;
    return true;
}

KqByteArray KqByteArray::toHex() const
{
    static const char digits[] = "0123456789abcdef";
    KqByteArray hex;
    if (d->size > kMaxBytes / 2 || !hex.setLength(2 * d->size))
        return KqByteArray();
    for (int i = 0; i < d->size; ++i) {
        unsigned char byte = static_cast<unsigned char>(d->data[i]);
        hex.d->data[2 * i] = digits[byte >> 4];
        hex.d->data[2 * i + 1] = digits[byte & 15];
    }
    return hex;
}

bool KqByteArray::operator==(const KqByteArray& other) const
{
    return d->size == other.d->size && memcmp(d->data, other.d->data, static_cast<size_t>(d->size)) == 0;
}
