// Implicitly shared UTF-16 string and byte string whose blocks live in the
// memory pool. Copies share a block; a shared block is copied before a change.
#pragma once

#include <cstddef>
#include <cstdint>

typedef char16_t KqChar;

class KqByteArray;

class KqString {
public:
    struct Data {
        int32_t ref;   // handles sharing the block; -1 for the immortal shared blocks
        int32_t alloc; // capacity in units, not counting the terminator
        int32_t size;
        KqChar* data;
        KqChar array[1];
    };

    KqString();
    KqString(const KqChar* text, int length = -1);
    explicit KqString(KqChar unit);
    KqString(const char* ansi);
    KqString(const KqString& other);
    KqString& operator=(const KqString& other);
    ~KqString();

    static KqString fromAnsi(const char* text, int length = -1);
    static KqString fromUtf8(const char* bytes, int length = -1);
    static KqString fromInt(int value, int radix = 10);

    int length() const { return d->size; }
    const KqChar* data() const { return d->data; }
    bool isNull() const;
    bool isEmpty() const { return d->size == 0; }
    bool sharesBlockWith(const KqString& other) const { return d == other.d; }
    int capacity() const { return d->alloc; }

    KqString& append(const KqString& other);
    KqString& append(const KqChar* text);
    KqString& append(KqChar unit);
    void clear();
    // False, the string unchanged, when its block cannot grow (no memory).
    bool setLength(int n);
    void erase(int position, int count);
    KqString prefix(int n) const;
    KqString suffix(int n) const;
    KqString mid(int position, int count = -1) const;
    int indexOf(const KqString& needle, int start = 0) const;
    int indexOf(KqChar unit, int start = 0) const;
    int lastIndexOf(const KqString& needle, int start = -1) const;
    int lastIndexOf(KqChar unit, int start = -1) const;
    bool contains(const KqString& needle) const { return indexOf(needle, 0) != -1; }
    bool beginsWith(const KqString& prefix) const;
    int compare(const KqString& other) const;
    bool operator<(const KqString& other) const { return compare(other) < 0; }
    bool operator==(const KqString& other) const;
    bool operator!=(const KqString& other) const { return !(*this == other); }
    // 0 outside the string.
    KqChar unitAt(int index) const;
    KqString& replace(const KqString& before, const KqString& after);
    KqByteArray toUtf8() const;
    // False, still shared, when no block for the copy could be had.
    bool detach();

    static int grownCapacity(int needed);

private:
    explicit KqString(Data* block) : d(block) {}
    bool reallocate(int capacity);
    Data* d;
};

KqString operator+(const KqString& a, const KqString& b);

class KqByteArray {
public:
    struct Data {
        int32_t ref;
        int32_t alloc;
        int32_t size;
        char* data;
        char array[1];
    };

    KqByteArray();
    KqByteArray(const char* text);
    // Text rule: a first byte of zero gives the shared empty array.
    KqByteArray(const char* text, int length);
    KqByteArray(const KqByteArray& other);
    KqByteArray& operator=(const KqByteArray& other);
    ~KqByteArray();

    int size() const { return d->size; }
    const char* data() const { return d->data; }
    // Exactly `length` bytes, whatever they are (a zero first byte included).
    static KqByteArray fromBytes(const void* bytes, int length);

    // Null when the block is shared and no copy could be had.
    char* mutableData();
    bool isNull() const;
    bool isEmpty() const { return d->size == 0; }
    bool sharesBlockWith(const KqByteArray& other) const { return d == other.d; }
    int capacity() const { return d->alloc; }
    void clear();
    // False, the array unchanged, when its block cannot grow (no memory).
    bool setLength(int n);
    bool detach();
    KqByteArray toHex() const;
    bool operator==(const KqByteArray& other) const;

    static int grownCapacity(int needed);

private:
    bool reallocate(int capacity);
    void copyIn(const char* bytes, int length);
    Data* d;
};

struct KqStringPair {
    KqString first;
    KqString second;
};
