#include "SevenZipArchive.h"

#include "DiskOutputer.h"
#include "SetupConstants.h"
#include "SetupLog.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" {
#include "7z/7z.h"
#include "7z/7zCrc.h"
}

namespace {

void* allocBlock(ISzAllocPtr, size_t size) { return size ? malloc(size) : nullptr; }
void freeBlock(ISzAllocPtr, void* address) { free(address); }
const ISzAlloc kAlloc = {allocBlock, freeBlock};

// Look-ahead stream straight over the archive's bytes: the decoder reads the
// mapped resource in place, nothing is copied into a buffer of ours.
struct MemoryLookStream {
    ILookInStream vt;
    const Byte* data;
    size_t size;
    size_t pos;
};

MemoryLookStream* self(ILookInStreamPtr p) { return reinterpret_cast<MemoryLookStream*>(const_cast<ILookInStream*>(p)); }

SRes memoryLook(ILookInStreamPtr p, const void** buf, size_t* size)
{
    MemoryLookStream* s = self(p);
    size_t left = s->size - s->pos;
    if (*size > left)
        *size = left;
    *buf = s->data + s->pos;
    return SZ_OK;
}

SRes memorySkip(ILookInStreamPtr p, size_t offset)
{
    MemoryLookStream* s = self(p);
    if (offset > s->size - s->pos)
        return SZ_ERROR_INPUT_EOF;
    s->pos += offset;
    return SZ_OK;
}

SRes memoryRead(ILookInStreamPtr p, void* buf, size_t* size)
{
    MemoryLookStream* s = self(p);
    size_t left = s->size - s->pos;
    if (*size > left)
        *size = left;
    if (*size)
        memcpy(buf, s->data + s->pos, *size);
    s->pos += *size;
    return SZ_OK;
}

SRes memorySeek(ILookInStreamPtr p, Int64* pos, ESzSeek origin)
{
    MemoryLookStream* s = self(p);
    Int64 base = origin == SZ_SEEK_SET ? 0 : origin == SZ_SEEK_CUR ? static_cast<Int64>(s->pos) : static_cast<Int64>(s->size);
    Int64 target = base + *pos;
    if (target < 0 || static_cast<UInt64>(target) > s->size)
        return SZ_ERROR_PARAM;
    s->pos = static_cast<size_t>(target);
    *pos = target;
    return SZ_OK;
}

BOOL CALLBACK generateCrcTable(PINIT_ONCE, PVOID, PVOID*)
{
    CrcGenerateTable();
    return TRUE;
}

void initCrcOnce()
{
    static INIT_ONCE once = INIT_ONCE_STATIC_INIT;
    InitOnceExecuteOnce(&once, generateCrcTable, nullptr, nullptr);
}

std::wstring entryName(const CSzArEx& db, UInt32 i, std::vector<UInt16>& buffer)
{
    static_assert(sizeof(wchar_t) == sizeof(UInt16), "entry names are UTF-16");
    size_t length = SzArEx_GetFileNameUtf16(&db, i, nullptr);
    if (length > buffer.size())
        buffer.resize(length);
    SzArEx_GetFileNameUtf16(&db, i, buffer.data());
    return std::wstring(reinterpret_cast<const wchar_t*>(buffer.data()), length ? length - 1 : 0);
}

// Refuses, before anything is decoded or written, an archive that announces
// more than the limit or holds a name the outputer would not write.
bool acceptableArchive(const CSzArEx& db, CDiskOutputer& outputer, const ArchiveExtractOptions& options,
                       std::vector<UInt16>& nameBuffer)
{
    if (options.maxUnpackedBytes) {
        unsigned long long total = 0;
        for (UInt32 f = 0; f < db.db.NumFolders; ++f)
            total += SzAr_GetFolderUnpackSize(&db.db, f);
        if (total > options.maxUnpackedBytes) {
            writeLog(L"extractArchive, archive unpacks to %I64u bytes, more than the %I64u allowed.", total,
                     options.maxUnpackedBytes);
            return false;
        }
    }
    if (options.checkMode)
        return true;  // only the filter is written, under a fixed name
    for (UInt32 i = 0; i < db.NumFiles; ++i) {
        const std::wstring name = entryName(db, i, nameBuffer);
        std::wstring target;
        bool skipped = false;
        if (!outputer.route(name, target, skipped)) {
            writeLog(L"extractArchive, refused entry name %s, nothing written.", name.c_str());
            return false;
        }
    }
    return true;
}

std::wstring afterLastSlash(const std::wstring& name)
{
    size_t slash = name.find_last_of(L"/\\");
    return slash == std::wstring::npos ? name : name.substr(slash + 1);
}

} // namespace

bool extractArchive(const void* data, size_t size, CDiskOutputer& outputer, const ArchiveExtractOptions& options)
{
    if (!data || size == 0)
        return false;
    initCrcOnce();

    MemoryLookStream stream = {{memoryLook, memorySkip, memoryRead, memorySeek}, static_cast<const Byte*>(data), size, 0};
    CSzArEx db;
    SzArEx_Init(&db);
    SRes opened = SzArEx_Open(&db, &stream.vt, &kAlloc, &kAlloc);
    if (opened != SZ_OK) {
        writeLog(L"extractArchive, open archive fail, error %d.", opened);
        SzArEx_Free(&db, &kAlloc);
        return false;
    }

    // The decoder's output cache: one solid block decoded once for all of its entries.
    UInt32 blockIndex = 0xFFFFFFFF;
    Byte* outBuffer = nullptr;
    size_t outBufferSize = 0;
    std::vector<UInt16> nameBuffer;
    bool ok = acceptableArchive(db, outputer, options, nameBuffer);

    for (UInt32 i = 0; i < db.NumFiles && ok; ++i) {
        if (!outputer.shouldContinue())
            break;
        std::wstring name = entryName(db, i, nameBuffer);

        if (options.checkMode) {
            // The part after the last "/" must be the filter itself.
            size_t slash = name.find_last_of(L'/');
            if ((slash == std::wstring::npos ? name : name.substr(slash + 1)) != setup::kFilterName)
                continue;
            name = std::wstring(L"InstallDir/") + setup::kFilterName;
        }

        if (outputer.accept(name)) {
            const bool isDirectory = SzArEx_IsDir(&db, i) != 0;
            const Byte* bytes = nullptr;
            size_t count = 0;
            if (!isDirectory) {
                size_t offset = 0;
                SRes res = SzArEx_Extract(&db, &stream.vt, i, &blockIndex, &outBuffer, &outBufferSize, &offset, &count,
                                          &kAlloc, &kAlloc);
                if (res != SZ_OK) {
                    writeLog(L"extractArchive, extract entry %s fail, error %d.", name.c_str(), res);
                    ok = false;
                    break;
                }
                bytes = outBuffer + offset;
            }
            if (!outputer.output(name, isDirectory, bytes, count)) {
                ok = false;
                break;
            }
            outputer.progress(i, db.NumFiles, afterLastSlash(name));
        }
        if (options.cancelled && options.cancelled()) {
            writeLog(L"extractArchive, cancelled after entry %s.", name.c_str());
            ok = false;
        }
    }

    kAlloc.Free(&kAlloc, outBuffer);
    SzArEx_Free(&db, &kAlloc);
    return ok;
}

bool extractArchiveFile(const std::wstring& path, CDiskOutputer& outputer, const ArchiveExtractOptions& options)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER size = {};
    bool ok = false;
    if (GetFileSizeEx(file, &size) && size.QuadPart > 0 && static_cast<unsigned long long>(size.QuadPart) <= SIZE_MAX) {
        HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
        if (mapping) {
            const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
            if (view) {
                ok = extractArchive(view, static_cast<size_t>(size.QuadPart), outputer, options);
                UnmapViewOfFile(view);
            }
            CloseHandle(mapping);
        }
    }
    CloseHandle(file);
    return ok;
}
