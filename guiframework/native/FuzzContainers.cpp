// Differential fuzz of the framework's containers: every input is a script of
// operations applied both to KqVector, KqMap and KqHash and to the standard
// containers, with copies taken along the way; after every step the two sides
// and every copy must agree.
#include "KqContainers.h"
#include "KqString.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

void fail(const char* what, size_t step)
{
    fprintf(stderr, "containers differ after step %zu: %s\n", step, what);
    abort();
}

std::u16string text(const KqString& s) { return std::u16string(s.data(), static_cast<size_t>(s.length())); }

KqString keyText(unsigned key)
{
    return KqString::fromInt(static_cast<int>(key)).append(KqString(u"-key"));
}

bool sameVector(const KqVector<KqString>& vector, const std::vector<std::u16string>& ref)
{
    if (vector.count() != static_cast<int>(ref.size()))
        return false;
    for (int i = 0; i < vector.count(); ++i) {
        if (text(vector.at(i)) != ref[static_cast<size_t>(i)])
            return false;
    }
    return true;
}

bool sameMap(const KqMap<int, int>& map, const std::map<int, int>& ref)
{
    if (map.count() != static_cast<int>(ref.size()))
        return false;
    auto it = map.constBegin();
    for (const auto& entry : ref) {
        if (it == map.constEnd() || it->first != entry.first || it->second != entry.second)
            return false;
        ++it;
    }
    return it == map.constEnd();
}

bool sameHash(const KqHash<uintptr_t, uintptr_t>& hash, const std::unordered_map<uintptr_t, uintptr_t>& ref)
{
    if (hash.count() != ref.size())
        return false;
    size_t walked = 0;
    for (auto it = hash.begin(); it != hash.end(); ++it, ++walked) {
        auto found = ref.find(it.key());
        if (found == ref.end() || found->second != it.value())
            return false;
    }
    for (const auto& entry : ref) {
        auto it = hash.find(entry.first);
        if (it == hash.end() || it.value() != entry.second)
            return false;
    }
    return walked == ref.size() && hash.count() <= hash.nextResize();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    KqVector<KqString> vector, vectorCopy;
    std::vector<std::u16string> refVector, refVectorCopy;
    KqMap<int, int> map, mapCopy;
    std::map<int, int> refMap, refMapCopy;
    KqHash<uintptr_t, uintptr_t> hash;
    std::unordered_map<uintptr_t, uintptr_t> refHash;

    for (size_t i = 0, step = 0; i + 1 < size; i += 2, ++step) {
        unsigned op = data[i] % 16;
        unsigned arg = data[i + 1];
        int key = static_cast<int>(arg % 64);
        // Keys that are addresses: multiples of 8, as the framework keeps them.
        uintptr_t address = static_cast<uintptr_t>(arg) * 8;
        size_t at = refVector.empty() ? 0 : arg % (refVector.size() + 1);
        switch (op) {
        case 0:
            vector.insert(static_cast<int>(at), keyText(arg));
            refVector.insert(refVector.begin() + static_cast<long>(at), text(keyText(arg)));
            break;
        case 1:
            vector.removeAt(static_cast<int>(at));
            if (at < refVector.size())
                refVector.erase(refVector.begin() + static_cast<long>(at));
            break;
        case 2: {
            bool removed = vector.removeOne(keyText(arg));
            auto it = std::find(refVector.begin(), refVector.end(), text(keyText(arg)));
            if (removed != (it != refVector.end()))
                fail("vector removeOne", step);
            if (it != refVector.end())
                refVector.erase(it);
            break;
        }
        case 3:
            vectorCopy = vector;
            refVectorCopy = refVector;
            break;
        case 4:
            if (at < refVector.size()) {
                // An element written from another element of the same vector.
                size_t from = (at * 7) % refVector.size();
                vector[static_cast<int>(at)] = vector.at(static_cast<int>(from));
                refVector[at] = refVector[from];
            } else {
                vector.append(vector.count() ? vector.at(0) : keyText(arg));
                refVector.push_back(refVector.empty() ? text(keyText(arg)) : refVector[0]);
            }
            break;
        case 5:
            map[key] = static_cast<int>(step);
            refMap[key] = static_cast<int>(step);
            break;
        case 6:
            if (map.remove(key) != (refMap.erase(key) != 0))
                fail("map remove", step);
            break;
        case 7:
            if (map.insertUnique(key, -key).second != refMap.emplace(key, -key).second)
                fail("map insertUnique", step);
            break;
        case 8: {
            auto it = map.lowerBound(key);
            auto refIt = refMap.lower_bound(key);
            if ((it == map.end()) != (refIt == refMap.end()))
                fail("map lowerBound", step);
            if (it != map.end()) {
                map.erase(it);
                refMap.erase(refIt);
            }
            break;
        }
        case 9:
            mapCopy = map;
            refMapCopy = refMap;
            break;
        case 10:
            if (arg % 8 == 0) {
                map.clear();
                refMap.clear();
            } else if (map.value(key, -1000) != (refMap.count(key) ? refMap[key] : -1000)) {
                fail("map value", step);
            }
            break;
        case 11:
            if (hash.insertUnique(address, step).second != refHash.emplace(address, step).second)
                fail("hash insertUnique", step);
            break;
        case 12:
            if (hash.remove(address) != (refHash.erase(address) != 0))
                fail("hash remove", step);
            break;
        case 13:
            hash[address] += 1;
            refHash[address] += 1;
            break;
        case 14:
            if (arg % 16 == 0) {
                hash.clear();
                refHash.clear();
            } else {
                // Erase through an iterator walk: every other entry goes.
                bool drop = true;
                for (auto it = hash.begin(); it != hash.end();) {
                    if (drop) {
                        refHash.erase(it.key());
                        it = hash.erase(it);
                    } else {
                        ++it;
                    }
                    drop = !drop;
                }
            }
            break;
        case 15:
            if (arg % 4 == 0) {
                vector.clear();
                refVector.clear();
            }
            break;
        }
        if (!sameVector(vector, refVector))
            fail("vector", step);
        if (!sameVector(vectorCopy, refVectorCopy))
            fail("vector copy", step);
        if (!sameMap(map, refMap))
            fail("map", step);
        if (!sameMap(mapCopy, refMapCopy))
            fail("map copy", step);
        if (!sameHash(hash, refHash))
            fail("hash", step);
    }
    return 0;
}
