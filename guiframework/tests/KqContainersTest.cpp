#include "KqContainers.h"
#include "KqString.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <unordered_map>
#include <vector>

namespace {

TEST(KqContainersTest, PointerArrayDoublesFromOne)
{
    KqPointerArray<void*> array;
    std::vector<int> capacities;
    for (int i = 0; i < 8; ++i) {
        array.append(&capacities);
        capacities.push_back(array.capacity());
    }
    EXPECT_EQ((std::vector<int>{1, 2, 4, 4, 8, 8, 8, 8}), capacities);
}

TEST(KqContainersTest, VectorCopiesOnWrite)
{
    KqVector<KqString> a;
    a.append(KqString(u"one"));
    a.append(KqString(u"three"));
    a.insert(1, KqString(u"two"));
    KqVector<KqString> b(a);
    EXPECT_TRUE(a.sharesBodyWith(b));
    b.append(KqString(u"four"));
    b.removeAt(0);
    EXPECT_EQ(3, a.count());
    EXPECT_TRUE(a.at(0) == KqString(u"one"));
    EXPECT_TRUE(a.at(1) == KqString(u"two"));
    EXPECT_EQ(3, b.count());
    EXPECT_TRUE(b.at(2) == KqString(u"four"));
    EXPECT_TRUE(b.removeOne(KqString(u"two")));
    EXPECT_FALSE(b.removeOne(KqString(u"two")));
    EXPECT_EQ(-1, b.indexOf(KqString(u"one")));
    EXPECT_EQ(1, a.indexOf(KqString(u"two")));
    a.insert(0, a.at(2)); // an element of the vector itself
    EXPECT_TRUE(a.at(0) == KqString(u"three"));
}

TEST(KqContainersTest, MapOrdersAndCopiesOnWrite)
{
    KqMap<KqString, int> map;
    const char16_t* keys[] = {u"m", u"b", u"z", u"a", u"q"};
    for (int i = 0; i < 5; ++i)
        map.insertUnique(KqString(keys[i]), i);
    auto again = map.insertUnique(KqString(u"b"), 99);
    EXPECT_FALSE(again.second);
    EXPECT_EQ(1, again.first->second);
    KqMap<KqString, int> copy(map);
    copy.erase(copy.find(KqString(u"m")));
    copy[KqString(u"new")] = 7;
    std::u16string order;
    for (auto it = map.constBegin(); it != map.constEnd(); ++it)
        order += std::u16string(it->first.data(), static_cast<size_t>(it->first.length()));
    EXPECT_EQ(u"abmqz", order);
    EXPECT_TRUE(map.contains(KqString(u"m")));
    EXPECT_FALSE(map.contains(KqString(u"new")));
    EXPECT_EQ(5, copy.count());
    EXPECT_EQ(0, copy[KqString(u"absent")]);
}

TEST(KqContainersTest, HashGrowsAlongThePrimeTable)
{
    KqHash<uintptr_t, uintptr_t> hash;
    EXPECT_EQ(1u, hash.bucketCount());
    EXPECT_EQ(0u, hash.nextResize());
    hash.insertUnique(10, 1);
    EXPECT_EQ(2u, hash.bucketCount());
    EXPECT_EQ(2u, hash.nextResize());
    struct Step { uintptr_t inserts; uint32_t buckets; };
    const Step steps[] = {{2, 2}, {3, 5}, {6, 11}, {12, 23}, {24, 47}};
    for (const Step& s : steps) {
        while (hash.count() < s.inserts)
            hash.insertUnique(hash.count() * 7 + 100, 0);
        EXPECT_EQ(s.buckets, hash.bucketCount()) << s.inserts;
    }
    auto existing = hash.insertUnique(10, 2);
    EXPECT_FALSE(existing.second);
    EXPECT_EQ(1u, existing.first.value());
    KqHash<uintptr_t, uintptr_t> hinted(100);
    EXPECT_EQ(103u, hinted.bucketCount()); // 101 is not in the table
    EXPECT_EQ(103u, hinted.nextResize());
    int count = 0;
    const uint32_t* primes = kqHashPrimes(&count);
    ASSERT_EQ(256, count);
    EXPECT_EQ(2u, primes[0]);
    EXPECT_EQ(4027u, primes[78]);
    EXPECT_EQ(3791104843u, primes[253]);
    EXPECT_EQ(4294967291u, primes[255]);
}

// Seeded random operations against the standard containers.
TEST(KqContainersTest, DifferentialAgainstStandardContainers)
{
    for (unsigned seed = 1; seed <= 4; ++seed) {
        std::mt19937 random(seed);
        KqMap<int, int> map;
        std::map<int, int> refMap;
        KqHash<uintptr_t, uintptr_t> hash;
        std::unordered_map<uintptr_t, uintptr_t> refHash;
        KqVector<void*> vector;
        std::vector<void*> refVector;
        KqMap<int, int> snapshot;
        std::map<int, int> refSnapshot;
        for (int step = 0; step < 4000; ++step) {
            int key = static_cast<int>(random() % 300);
            uintptr_t hashKey = static_cast<uintptr_t>(key) * 16;
            switch (random() % 7) {
            case 0:
                map[key] = step;
                refMap[key] = step;
                break;
            case 1: {
                auto it = map.find(key);
                if (it != map.end())
                    map.erase(it);
                refMap.erase(key);
                break;
            }
            case 2:
                EXPECT_EQ(hash.insertUnique(hashKey, step).second, refHash.emplace(hashKey, step).second);
                break;
            case 3: {
                auto it = hash.find(hashKey);
                EXPECT_EQ(it != hash.end(), refHash.erase(hashKey) != 0);
                hash.erase(it);
                break;
            }
            case 4: {
                int at = refVector.empty() ? 0 : static_cast<int>(random() % (refVector.size() + 1));
                vector.insert(at, reinterpret_cast<void*>(hashKey));
                refVector.insert(refVector.begin() + at, reinterpret_cast<void*>(hashKey));
                break;
            }
            case 5:
                if (!refVector.empty()) {
                    int at = static_cast<int>(random() % refVector.size());
                    vector.removeAt(at);
                    refVector.erase(refVector.begin() + at);
                }
                break;
            case 6:
                snapshot = map;
                refSnapshot = refMap;
                break;
            }
        }
        ASSERT_EQ(static_cast<int>(refMap.size()), map.count());
        std::map<int, int> seen(map.constBegin(), map.constEnd());
        EXPECT_EQ(refMap, seen);
        std::map<int, int> seenSnapshot(snapshot.constBegin(), snapshot.constEnd());
        EXPECT_EQ(refSnapshot, seenSnapshot);
        ASSERT_EQ(refHash.size(), hash.count());
        std::unordered_map<uintptr_t, uintptr_t> seenHash;
        for (auto it = hash.begin(); it != hash.end(); ++it)
            seenHash[it.key()] = it.value();
        EXPECT_EQ(refHash, seenHash);
        ASSERT_EQ(static_cast<int>(refVector.size()), vector.count());
        for (int i = 0; i < vector.count(); ++i)
            EXPECT_EQ(refVector[static_cast<size_t>(i)], vector.at(i));
    }
}

} // namespace
