// Prints milliseconds for each pair and the ratio ours / reference.
#include "KqContainers.h"
#include "KqString.h"
#include "MemPool.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

template <class F> double millis(F f)
{
    auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

volatile size_t g_sink;

void report(const char* name, double ours, double reference)
{
    printf("%-28s ours %8.2f ms  reference %8.2f ms  ratio %.2fx\n", name, ours, reference, ours / reference);
}

} // namespace

int main()
{
    const int kBlocks = 4096, kRounds = 200;
    std::vector<unsigned> sizes(kBlocks);
    std::mt19937 random(7);
    for (unsigned& s : sizes)
        s = 8 + random() % 249;
    std::vector<void*> blocks(kBlocks);
    double pool = millis([&] {
        for (int r = 0; r < kRounds; ++r) {
            for (int i = 0; i < kBlocks; ++i)
                blocks[i] = mp_alloc(sizes[i]);
            for (int i = 0; i < kBlocks; ++i)
                mp_free(blocks[(i * 7) % kBlocks]);
        }
    });
    double heap = millis([&] {
        for (int r = 0; r < kRounds; ++r) {
            for (int i = 0; i < kBlocks; ++i)
                blocks[i] = malloc(sizes[i]);
            for (int i = 0; i < kBlocks; ++i)
                free(blocks[(i * 7) % kBlocks]);
        }
    });
    report("mp_alloc/mp_free vs heap", pool, heap);

    const int kStrings = 20000;
    double ours = millis([&] {
        size_t total = 0;
        for (int i = 0; i < kStrings; ++i) {
            KqString s(u"prefix-");
            for (int j = 0; j < 8; ++j)
                s.append(u"part");
            KqString copy(s);
            total += static_cast<size_t>(copy.compare(s) == 0) + static_cast<size_t>(copy.length());
        }
        g_sink = total;
    });
    double standard = millis([&] {
        size_t total = 0;
        for (int i = 0; i < kStrings; ++i) {
            std::wstring s(L"prefix-");
            for (int j = 0; j < 8; ++j)
                s.append(L"part");
            std::wstring copy(s);
            total += static_cast<size_t>(copy.compare(s) == 0) + copy.size();
        }
        g_sink = total;
    });
    report("KqString vs std::wstring", ours, standard);

    const int kKeys = 50000;
    std::vector<int> keys(kKeys);
    for (int& k : keys)
        k = static_cast<int>(random() % 1000000);
    ours = millis([&] {
        KqMap<int, int> map;
        for (int k : keys)
            map[k] = k;
        size_t found = 0;
        for (int k : keys)
            found += map.contains(k);
        g_sink = found;
    });
    standard = millis([&] {
        std::map<int, int> map;
        for (int k : keys)
            map[k] = k;
        size_t found = 0;
        for (int k : keys)
            found += map.count(k);
        g_sink = found;
    });
    report("KqMap vs std::map", ours, standard);
    ours = millis([&] {
        KqHash<uintptr_t, uintptr_t> hash;
        for (int k : keys)
            hash.insertUnique(static_cast<uintptr_t>(k), 1);
        size_t found = 0;
        for (int k : keys)
            found += hash.contains(static_cast<uintptr_t>(k));
        g_sink = found;
    });
    standard = millis([&] {
        std::unordered_map<uintptr_t, uintptr_t> hash;
        for (int k : keys)
            hash.emplace(static_cast<uintptr_t>(k), 1);
        size_t found = 0;
        for (int k : keys)
            found += hash.count(static_cast<uintptr_t>(k));
        g_sink = found;
    });
    report("KqHash vs std::unordered_map", ours, standard);
    return 0;
}
