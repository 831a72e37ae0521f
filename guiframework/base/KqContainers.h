// Pool-backed containers: a copy-on-write body and its handle, a growable
// pointer array, a copy-on-write vector and ordered map, and a chained hash
// table with prime bucket counts.
#pragma once

#include "MemPool.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <new>
#include <utility>

// Standard allocator over the memory pool, for nodes kept in standard trees.
template <class T> struct KqPoolAllocator {
    typedef T value_type;
    KqPoolAllocator() = default;
    template <class U> KqPoolAllocator(const KqPoolAllocator<U>&) {}
    T* allocate(size_t n)
    {
        uint64_t bytes = static_cast<uint64_t>(n) * sizeof(T);
        if (bytes > 0x7FFFFFFF)
            throw std::bad_alloc();
        void* p = mp_alloc(static_cast<unsigned>(bytes));
        if (!p)
            throw std::bad_alloc();
        return static_cast<T*>(p);
    }
    void deallocate(T* p, size_t) { mp_free(p); }
    template <class U> bool operator==(const KqPoolAllocator<U>&) const { return true; }
    template <class U> bool operator!=(const KqPoolAllocator<U>&) const { return false; }
};

class KqSharedData {
public:
    KqSharedData() : ref(0) {}
    KqSharedData(const KqSharedData&) : ref(0) {}
    virtual ~KqSharedData() {}
    static void* operator new(size_t size) { return mp_alloc(static_cast<unsigned>(size)); }
    static void operator delete(void* p) { mp_free(p); }
    int32_t ref;
};

template <class T> class KqSharedDataPointer {
public:
    KqSharedDataPointer() : d(nullptr) {}
    explicit KqSharedDataPointer(T* body) : d(body) { if (d) ++d->ref; }
    KqSharedDataPointer(const KqSharedDataPointer& o) : d(o.d) { if (d) ++d->ref; }
    KqSharedDataPointer& operator=(const KqSharedDataPointer& o) { attach(o.d); return *this; }
    ~KqSharedDataPointer() { release(); }
    void attach(T* body)
    {
        if (body)
            ++body->ref;
        release();
        d = body;
    }
    void release()
    {
        if (d && --d->ref == 0)
            delete d;
        d = nullptr;
    }
    void detach()
    {
        if (d && d->ref != 1)
            attach(new T(*d));
    }
    const T* constData() const { return d; }
    T* data() { detach(); return d; }
    bool isNull() const { return !d; }
    int32_t refCount() const { return d ? d->ref : 0; }

private:
    T* d;
};

// Elements are pointer-sized values (plain pointers or counted handles).
template <class T> class KqPointerArray {
public:
    KqPointerArray() : m_begin(nullptr), m_end(nullptr), m_capacity(nullptr) {}
    KqPointerArray(const KqPointerArray& o) : KqPointerArray()
    {
        reserve(o.count());
        for (const T* p = o.m_begin; p != o.m_end; ++p)
            new (m_end++) T(*p);
    }
    KqPointerArray& operator=(const KqPointerArray&) = delete;
    ~KqPointerArray()
    {
        clear();
        mp_free(m_begin);
    }
    int count() const { return static_cast<int>(m_end - m_begin); }
    int capacity() const { return static_cast<int>(m_capacity - m_begin); }
    const T* begin() const { return m_begin; }
    T& at(int i) { return m_begin[i]; }
    const T& at(int i) const { return m_begin[i]; }
    void append(const T& value) { insert(count(), value); }
    void insert(int position, const T& value)
    {
        if (position < 0 || position > count())
            position = count();
        T copy(value); // the value may live inside this array
        if (m_end == m_capacity)
            reserve(count() ? 2 * count() : 1);
        T* at = m_begin + position;
        if (at == m_end) {
            new (m_end) T(copy);
        } else {
            new (m_end) T(m_end[-1]);
            for (T* p = m_end - 1; p > at; --p)
                *p = p[-1];
            *at = copy;
        }
        ++m_end;
    }
    void removeAt(int index)
    {
        if (index < 0 || index >= count())
            return;
        for (T* p = m_begin + index; p + 1 < m_end; ++p)
            *p = p[1];
        (--m_end)->~T();
    }
    void clear()
    {
        while (m_end != m_begin)
            (--m_end)->~T();
    }

private:
    void reserve(int wanted)
    {
        if (wanted <= capacity())
            return;
        uint64_t bytes = static_cast<uint64_t>(wanted) * sizeof(T);
        if (bytes > 0x7FFFFFFF)
            throw std::bad_alloc();
        T* storage = static_cast<T*>(mp_alloc(static_cast<unsigned>(bytes)));
        int n = count();
        for (int i = 0; i < n; ++i) {
            new (storage + i) T(m_begin[i]);
            m_begin[i].~T();
        }
        mp_free(m_begin);
        m_begin = storage;
        m_end = storage + n;
        m_capacity = storage + wanted;
    }
    T* m_begin;
    T* m_end;
    T* m_capacity;
};

template <class T> class KqVector {
    struct Body : KqSharedData {
        KqPointerArray<T> items;
    };

public:
    KqVector() {}
    int count() const { return d.isNull() ? 0 : d.constData()->items.count(); }
    int capacity() const { return d.isNull() ? 0 : d.constData()->items.capacity(); }
    const T& at(int i) const { return d.constData()->items.at(i); }
    // The elements in one block (null when empty).
    const T* constData() const { return d.isNull() ? nullptr : d.constData()->items.begin(); }
    const T& operator[](int i) const { return at(i); }
    T& operator[](int i) { return body().items.at(i); }
    void append(const T& value) { body().items.append(value); }
    void insert(int position, const T& value) { body().items.insert(position, value); }
    void removeAt(int index)
    {
        if (index >= 0 && index < count())
            body().items.removeAt(index);
    }
    bool removeOne(const T& value)
    {
        int i = indexOf(value);
        if (i < 0)
            return false;
        removeAt(i);
        return true;
    }
    int indexOf(const T& value) const
    {
        for (int i = 0; i < count(); ++i) {
            if (at(i) == value)
                return i;
        }
        return -1;
    }
    bool contains(const T& value) const { return indexOf(value) >= 0; }
    void clear()
    {
        if (count())
            body().items.clear();
    }
    bool sharesBodyWith(const KqVector& o) const { return d.constData() == o.d.constData(); }

private:
    Body& body()
    {
        if (d.isNull())
            d.attach(new Body);
        return *d.data();
    }
    KqSharedDataPointer<Body> d;
};

// Ordered map with a copy-on-write body; the tree itself is a standard one.
template <class K, class V> class KqMap {
    typedef std::map<K, V, std::less<K>, KqPoolAllocator<std::pair<const K, V>>> Tree;
    struct Body : KqSharedData {
        Tree tree;
    };

public:
    typedef typename Tree::iterator iterator;
    typedef typename Tree::const_iterator const_iterator;

    KqMap() {}
    int count() const { return d.isNull() ? 0 : static_cast<int>(d.constData()->tree.size()); }
    bool contains(const K& key) const { return !d.isNull() && d.constData()->tree.count(key) != 0; }
    // Read-only lookups do not detach.
    const_iterator constFind(const K& key) const { return d.isNull() ? empty().end() : d.constData()->tree.find(key); }
    const_iterator constBegin() const { return d.isNull() ? empty().begin() : d.constData()->tree.begin(); }
    const_iterator constEnd() const { return d.isNull() ? empty().end() : d.constData()->tree.end(); }
    V value(const K& key, const V& fallback = V()) const
    {
        const_iterator it = constFind(key);
        return it == constEnd() ? fallback : it->second;
    }
    iterator find(const K& key) { return tree().find(key); }
    iterator lowerBound(const K& key) { return tree().lower_bound(key); }
    iterator begin() { return tree().begin(); }
    iterator end() { return tree().end(); }
    std::pair<iterator, bool> insertUnique(const K& key, const V& value) { return tree().insert(std::make_pair(key, value)); }
    iterator insert(iterator hint, const K& key, const V& value) { return tree().insert(hint, std::make_pair(key, value)); }
    V& operator[](const K& key) { return tree()[key]; }
    iterator erase(iterator it) { return tree().erase(it); }
    bool remove(const K& key) { return contains(key) && tree().erase(key) != 0; }
    void clear()
    {
        if (count())
            tree().clear();
    }
    bool sharesBodyWith(const KqMap& o) const { return d.constData() == o.d.constData(); }

private:
    static const Tree& empty()
    {
        static const Tree tree;
        return tree;
    }
    Tree& tree()
    {
        if (d.isNull())
            d.attach(new Body);
        return d.data()->tree;
    }
    KqSharedDataPointer<Body> d;
};

// Ascending primes for hash bucket counts (from 2 up to 4294967291).
const uint32_t* kqHashPrimes(int* count);
uint32_t kqHashNextPrime(uint32_t atLeast);

// Chained hash of pointer-sized keys to pointer-sized values; a key is its
// own hash. Not shared: copying is not offered.
template <class K, class V> class KqHash {
    struct Node {
        K key;
        V value;
        Node* next;
    };

public:
    class iterator {
    public:
        iterator() : m_hash(nullptr), m_bucket(0), m_node(nullptr) {}
        K key() const { return m_node->key; }
        V& value() const { return m_node->value; }
        iterator& operator++()
        {
            m_node = m_node->next;
            if (!m_node)
                seek(m_bucket + 1);
            return *this;
        }
        bool operator==(const iterator& o) const { return m_node == o.m_node; }
        bool operator!=(const iterator& o) const { return m_node != o.m_node; }

    private:
        friend class KqHash;
        iterator(const KqHash* hash, uint32_t bucket, Node* node) : m_hash(hash), m_bucket(bucket), m_node(node) {}
        void seek(uint32_t bucket)
        {
            m_node = nullptr;
            for (m_bucket = bucket; m_bucket < m_hash->m_bucketCount; ++m_bucket) {
                if ((m_node = m_hash->m_buckets[m_bucket]) != nullptr)
                    return;
            }
        }
        const KqHash* m_hash;
        uint32_t m_bucket;
        Node* m_node;
    };

    explicit KqHash(uint32_t sizeHint = 0)
        : m_bucketCount(1), m_buckets(emptyBuckets()), m_maxLoadFactor(1.0f), m_growthFactor(2.0f), m_nextResize(0), m_count(0)
    {
        if (sizeHint > 1) {
            uint32_t buckets = kqHashNextPrime(sizeHint);
            m_buckets = newBuckets(buckets);
            m_bucketCount = buckets;
            m_nextResize = ceilCount(buckets);
        }
    }
    KqHash(const KqHash&) = delete;
    KqHash& operator=(const KqHash&) = delete;
    ~KqHash()
    {
        clear();
        if (m_buckets != emptyBuckets())
            mp_free(m_buckets);
    }

    uint32_t count() const { return m_count; }
    uint32_t bucketCount() const { return m_bucketCount; }
    uint32_t nextResize() const { return m_nextResize; }
    iterator begin() const
    {
        iterator it(this, 0, nullptr);
        it.seek(0);
        return it;
    }
    iterator end() const { return iterator(this, m_bucketCount, nullptr); }
    iterator find(K key) const
    {
        uint32_t b = bucketOf(key, m_bucketCount);
        for (Node* n = m_buckets[b]; n; n = n->next) {
            if (n->key == key)
                return iterator(this, b, n);
        }
        return end();
    }
    bool contains(K key) const { return find(key) != end(); }
    std::pair<iterator, bool> insertUnique(K key, V value)
    {
        iterator found = find(key);
        if (found != end())
            return std::make_pair(found, false);
        grow();
        uint32_t b = bucketOf(key, m_bucketCount);
        Node* n = static_cast<Node*>(mp_alloc(sizeof(Node)));
        n->key = key;
        n->value = value;
        n->next = m_buckets[b];
        m_buckets[b] = n;
        ++m_count;
        return std::make_pair(iterator(this, b, n), true);
    }
    V& operator[](K key) { return insertUnique(key, V()).first.value(); }
    iterator erase(iterator it)
    {
        if (it == end())
            return it;
        iterator next = it;
        ++next;
        Node** link = &m_buckets[it.m_bucket];
        while (*link != it.m_node)
            link = &(*link)->next;
        *link = it.m_node->next;
        mp_free(it.m_node);
        --m_count;
        return next;
    }
    bool remove(K key)
    {
        iterator it = find(key);
        if (it == end())
            return false;
        erase(it);
        return true;
    }
    void clear()
    {
        if (m_buckets == emptyBuckets())
            return;
        for (uint32_t b = 0; b < m_bucketCount; ++b) {
            for (Node* n = m_buckets[b]; n;) {
                Node* next = n->next;
                mp_free(n);
                n = next;
            }
            m_buckets[b] = nullptr;
        }
        m_count = 0;
    }

private:
    static Node** emptyBuckets()
    {
        static Node* shared[2] = {nullptr, reinterpret_cast<Node*>(~uintptr_t(0))};
        return shared;
    }
    static uint32_t bucketOf(K key, uint32_t buckets) { return static_cast<uint32_t>(static_cast<uint64_t>((uintptr_t)key) % buckets); }
    uint32_t ceilCount(uint32_t buckets) const
    {
        double wanted = std::ceil(static_cast<double>(buckets) * m_maxLoadFactor);
        return wanted >= 4294967295.0 ? 0xFFFFFFFFu : static_cast<uint32_t>(wanted);
    }
    static Node** newBuckets(uint32_t buckets)
    {
        uint64_t bytes = (static_cast<uint64_t>(buckets) + 1) * sizeof(Node*);
        if (bytes > 0x7FFFFFFF)
            throw std::bad_alloc();
        Node** array = static_cast<Node**>(mp_alloc(static_cast<unsigned>(bytes)));
        memset(array, 0, static_cast<size_t>(bytes));
        array[buckets] = reinterpret_cast<Node*>(~uintptr_t(0));
        return array;
    }
    void grow()
    {
        if (m_nextResize >= m_count + 1)
            return;
        double current = m_bucketCount == 1 ? 0.0 : static_cast<double>(m_bucketCount);
        double minimum = static_cast<double>(m_count + 1) / m_maxLoadFactor;
        if (minimum <= current) {
            m_nextResize = ceilCount(m_bucketCount);
            return;
        }
        double wanted = current * m_growthFactor > minimum ? current * m_growthFactor : minimum;
        uint32_t buckets = kqHashNextPrime(wanted >= 4294967291.0 ? 4294967291u : static_cast<uint32_t>(std::ceil(wanted)));
        Node** array = newBuckets(buckets);
        for (uint32_t b = 0; b < m_bucketCount; ++b) {
            for (Node* n = m_buckets[b]; n;) {
                Node* next = n->next;
                uint32_t to = bucketOf(n->key, buckets);
                n->next = array[to];
                array[to] = n;
                n = next;
            }
        }
        if (m_buckets != emptyBuckets())
            mp_free(m_buckets);
        m_buckets = array;
        m_bucketCount = buckets;
        m_nextResize = ceilCount(buckets);
    }

    uint32_t m_bucketCount;
    Node** m_buckets;
    float m_maxLoadFactor;
    float m_growthFactor;
    uint32_t m_nextResize;
    uint32_t m_count;
};
