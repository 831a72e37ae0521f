#include "MemPool.h"

#include <windows.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <malloc.h>

namespace {

const unsigned kClassCount = 13;
const unsigned kMaxChunks = 1024;
const uint32_t kMinChunk = 0x20000;
const uint32_t kMaxChunk = 0x100000;
const uint16_t kGuard = 0xCDAB;
const uint16_t kFreeBit = 1;
// Data is aligned for any fundamental type; the 16-bit header sits just
// before the data, the 16-bit guard just after it.
const size_t kAlign = sizeof(void*) == 8 ? 16 : 8;

const uint32_t kBlockSizes[kClassCount] = {8, 16, 24, 32, 48, 64, 80, 96, 128, 160, 192, 224, 256};

struct ClassRecord {
    uint32_t lastChunkSize;
    unsigned char* freeHead; // data address of the first free block
};

struct ChunkRecord {
    unsigned char* base;
    uint32_t size;
    ClassRecord* sizeClass;
    uint32_t blockSize;
};

ClassRecord g_classes[kClassCount];
ChunkRecord g_chunks[kMaxChunks];
unsigned g_sortedChunks[kMaxChunks]; // chunk indices ordered by base address
volatile LONG g_chunkCount;
bool g_disabled;
bool g_initialised;
size_t g_bytesInUse; // block bytes handed out from the chunks
CRITICAL_SECTION g_lock;
MpReportHook g_hook;
MpAllocHook g_allocHook;

struct Lock {
    Lock() { EnterCriticalSection(&g_lock); }
    ~Lock() { LeaveCriticalSection(&g_lock); }
};

size_t strideOf(uint32_t blockSize)
{
    return (blockSize + 4 + kAlign - 1) / kAlign * kAlign;
}

uint16_t& headerOf(unsigned char* data) { return *reinterpret_cast<uint16_t*>(data - 2); }

uint16_t& guardOf(unsigned char* data, uint32_t blockSize)
{
    return *reinterpret_cast<uint16_t*>(data + blockSize);
}

unsigned char*& nextOf(unsigned char* data) { return *reinterpret_cast<unsigned char**>(data); }

unsigned chunkIndexOf(uint16_t header) { return header >> 6; }

void report(const char* format, const void* address)
{
    char text[4096];
    snprintf(text, sizeof text, format, reinterpret_cast<uintptr_t>(address));
    OutputDebugStringA(text);
    if (g_hook)
        g_hook(text);
    // Stops only in an attached debugger; a silent install carries on.
    if (IsDebuggerPresent())
        DebugBreak();
}

const char kCorruptAlloc[] = "mp_alloc - detect block 0x%08" PRIXPTR " corrupt!";
const char kNotInPool[] = "mp_free - block 0x%08" PRIXPTR " not in mem pool!";
const char kRepeatFree[] = "mp_free - repeat free block 0x%08" PRIXPTR "!";
const char kCorruptFree[] = "mp_free - detect block 0x%08" PRIXPTR " corrupt!";
const char kOutOfMemory[] = "mp_alloc - no memory for %u bytes!";

// A failed allocation is told like misuse, without stopping in a debugger:
// the caller gets null and copes.
void reportNoMemory(unsigned size)
{
    char text[128];
    snprintf(text, sizeof text, kOutOfMemory, size);
    OutputDebugStringA(text);
    if (g_hook)
        g_hook(text);
}

// True, reported, when the allocation hook refuses the request.
bool allocationRefused(unsigned size)
{
    if (!g_allocHook || g_allocHook(size))
        return false;
    reportNoMemory(size);
    return true;
}

void* reportIfNull(void* p, unsigned size)
{
    if (!p)
        reportNoMemory(size);
    return p;
}

// Chunk holding `p` as a block's data, or -1. Decided from the chunk table's
// address ranges alone, so foreign pointers are never dereferenced.
int owningChunk(const void* p)
{
    if (!p || reinterpret_cast<uintptr_t>(p) % kAlign != 0)
        return -1;
    const unsigned char* q = static_cast<const unsigned char*>(p);
    unsigned lo = 0, hi = static_cast<unsigned>(g_chunkCount);
    while (lo < hi) {
        unsigned mid = (lo + hi) / 2;
        if (g_chunks[g_sortedChunks[mid]].base <= q)
            lo = mid + 1;
        else
            hi = mid;
    }
    if (lo == 0)
        return -1;
    unsigned index = g_sortedChunks[lo - 1];
    const ChunkRecord& chunk = g_chunks[index];
    if (q < chunk.base + kAlign)
        return -1;
    size_t offset = static_cast<size_t>(q - chunk.base) - kAlign;
    size_t stride = strideOf(chunk.blockSize);
    if (offset % stride != 0 || offset + chunk.blockSize + 2 >= chunk.size)
        return -1;
    return static_cast<int>(index);
}

bool makeChunk(unsigned cls)
{
    unsigned index = static_cast<unsigned>(g_chunkCount);
    if (index >= kMaxChunks)
        return false;
    ClassRecord& record = g_classes[cls];
    uint32_t size = record.lastChunkSize * 2;
    if (size < kMinChunk)
        size = kMinChunk;
    if (size > kMaxChunk)
        size = kMaxChunk;
    unsigned char* base = static_cast<unsigned char*>(
        VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    if (!base)
        return false; // the caller falls back to the runtime heap
    uint32_t blockSize = kBlockSizes[cls];
    size_t stride = strideOf(blockSize);
    unsigned char* first = nullptr;
    unsigned char* previous = nullptr;
    for (size_t offset = kAlign; offset + blockSize + 2 < size; offset += stride) {
        unsigned char* data = base + offset;
        headerOf(data) = static_cast<uint16_t>((index << 6) | kFreeBit);
        guardOf(data, blockSize) = kGuard;
        nextOf(data) = nullptr;
        if (previous)
            nextOf(previous) = data;
        else
            first = data;
        previous = data;
    }
    g_chunks[index] = ChunkRecord{base, size, &record, blockSize};
    unsigned position = index;
    while (position > 0 && g_chunks[g_sortedChunks[position - 1]].base > base) {
        g_sortedChunks[position] = g_sortedChunks[position - 1];
        --position;
    }
    g_sortedChunks[position] = index;
    record.lastChunkSize = size;
    record.freeHead = first;
    InterlockedIncrement(&g_chunkCount);
    return true;
}

} // namespace

void mp_init()
{
    if (g_initialised)
        return;
    InitializeCriticalSection(&g_lock);
    wchar_t line[260];
    const wchar_t* commandLine = GetCommandLineW();
    size_t length = 0;
    for (; commandLine && commandLine[length] && length < 259; ++length) {
        wchar_t c = commandLine[length];
        line[length] = (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c;
    }
    line[length] = 0;
    g_disabled = wcsstr(line, L"/disablemempool") != nullptr;
    g_initialised = true;
}

int mp_size_class(unsigned size)
{
    if (size == 0)
        size = 1;
    if (size <= 32)
        return static_cast<int>((size - 1) / 8);
    if (size <= 96)
        return static_cast<int>(4 + (size - 33) / 16);
    if (size <= 256)
        return static_cast<int>(8 + (size - 97) / 32);
    return -1;
}

void* mp_alloc(unsigned size)
{
    mp_init();
    if (allocationRefused(size))
        return nullptr;
    if (g_disabled)
        return reportIfNull(malloc(size ? size : 1), size);
    int cls = mp_size_class(size);
    if (cls < 0)
        return reportIfNull(malloc(size), size);
    unsigned char* data = nullptr;
    {
        Lock lock;
        ClassRecord& record = g_classes[cls];
        if (!record.freeHead)
            makeChunk(static_cast<unsigned>(cls));
        data = record.freeHead;
        if (data) {
            record.freeHead = nextOf(data);
            if (!(headerOf(data) & kFreeBit) || guardOf(data, kBlockSizes[cls]) != kGuard)
                report(kCorruptAlloc, data);
            headerOf(data) &= static_cast<uint16_t>(~kFreeBit);
            guardOf(data, kBlockSizes[cls]) = kGuard;
            g_bytesInUse += kBlockSizes[cls];
        }
    }
    return data ? data : reportIfNull(malloc(size ? size : 1), size);
}

bool mp_owns(const void* p)
{
    mp_init();
    if (g_disabled || !p)
        return false;
    Lock lock;
    return owningChunk(p) >= 0;
}

void mp_free(void* p)
{
    if (!p)
        return;
    mp_init();
    if (g_disabled) {
        free(p);
        return;
    }
    unsigned char* data = static_cast<unsigned char*>(p);
    {
        Lock lock;
        int index = owningChunk(p);
        if (index >= 0) {
            const ChunkRecord& chunk = g_chunks[index];
            uint16_t& header = headerOf(data);
            if (chunkIndexOf(header) != static_cast<unsigned>(index)) {
                report(kNotInPool, data);
            } else if (header & kFreeBit) {
                report(kRepeatFree, data);
            } else {
                if (guardOf(data, chunk.blockSize) != kGuard)
                    report(kCorruptFree, data);
                header |= kFreeBit;
                guardOf(data, chunk.blockSize) = kGuard;
                g_bytesInUse -= chunk.blockSize;
                nextOf(data) = chunk.sizeClass->freeHead;
                chunk.sizeClass->freeHead = data;
            }
            return;
        }
    }
    free(p);
}

size_t mp_size(void* p)
{
    if (!p)
        return 0;
    mp_init();
    if (!g_disabled) {
        Lock lock;
        int index = owningChunk(p);
        if (index >= 0) {
            if (chunkIndexOf(headerOf(static_cast<unsigned char*>(p))) == static_cast<unsigned>(index))
                return g_chunks[index].blockSize;
            report(kNotInPool, p);
            return 0;
        }
    }
    return _msize(p);
}

void* mp_realloc(void* p, unsigned size)
{
    mp_init();
    if (!p)
        return mp_alloc(size);
    if (g_disabled)
        return allocationRefused(size) ? nullptr : reportIfNull(realloc(p, size ? size : 1), size);
    unsigned char* data = static_cast<unsigned char*>(p);
    size_t oldSize = 0;
    {
        Lock lock;
        int index = owningChunk(p);
        if (index < 0)
            return allocationRefused(size) ? nullptr : reportIfNull(realloc(p, size ? size : 1), size);
        const ChunkRecord& chunk = g_chunks[index];
        uint16_t& header = headerOf(data);
        if (chunkIndexOf(header) != static_cast<unsigned>(index)) {
            report(kNotInPool, data);
            return nullptr;
        }
        if (header & kFreeBit) {
            // Handing a freed block out again would give it two owners.
            report(kRepeatFree, data);
            return nullptr;
        }
        if (guardOf(data, chunk.blockSize) != kGuard)
            report(kCorruptFree, data);
        if (chunk.blockSize >= (size ? size : 1)) {
            guardOf(data, chunk.blockSize) = kGuard;
            return data;
        }
        oldSize = chunk.blockSize;
    }
    void* fresh = mp_alloc(size);
    if (!fresh)
        return nullptr;
    memcpy(fresh, data, oldSize < size ? oldSize : size);
    mp_free(data);
    return fresh;
}

void mp_set_report_hook(MpReportHook hook)
{
    mp_init();
    g_hook = hook;
}

void mp_set_alloc_hook(MpAllocHook hook)
{
    mp_init();
    g_allocHook = hook;
}

bool mp_disabled()
{
    mp_init();
    return g_disabled;
}

size_t mp_bytes_in_use()
{
    mp_init();
    Lock lock;
    return g_bytesInUse;
}

unsigned mp_chunk_count()
{
    mp_init();
    return static_cast<unsigned>(g_chunkCount);
}

bool mp_chunk_info(unsigned index, uint32_t* size, uint32_t* blockSize)
{
    mp_init();
    Lock lock;
    if (index >= static_cast<unsigned>(g_chunkCount))
        return false;
    *size = g_chunks[index].size;
    *blockSize = g_chunks[index].blockSize;
    return true;
}
