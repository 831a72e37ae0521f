#include "KqCryptoHash.h"

#include <windows.h>
#include <bcrypt.h>

#include <cstdint>

struct KqCryptoHash::Private {
    int algorithm;
    BCRYPT_ALG_HANDLE provider = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    KqByteArray result;
};

namespace {
const wchar_t* algorithmName(int algorithm)
{
    switch (algorithm) {
    case KqCryptoHash::Md4: return BCRYPT_MD4_ALGORITHM;
    case KqCryptoHash::Sha1: return BCRYPT_SHA1_ALGORITHM;
    default: return BCRYPT_MD5_ALGORITHM;
    }
}
}

KqCryptoHash::KqCryptoHash(int algorithm) : d(new Private)
{
    d->algorithm = algorithm;
    if (BCryptOpenAlgorithmProvider(&d->provider, algorithmName(algorithm), nullptr, 0) != 0)
        d->provider = nullptr;
    reset();
}

KqCryptoHash::~KqCryptoHash()
{
    if (d->hash)
        BCryptDestroyHash(d->hash);
    if (d->provider)
        BCryptCloseAlgorithmProvider(d->provider, 0);
    delete d;
}

void KqCryptoHash::reset()
{
    if (d->hash)
        BCryptDestroyHash(d->hash);
    d->hash = nullptr;
    if (d->provider && BCryptCreateHash(d->provider, &d->hash, nullptr, 0, nullptr, 0, 0) != 0)
        d->hash = nullptr;
    d->result = KqByteArray();
}

void KqCryptoHash::addData(const char* bytes, int length)
{
    if (d->hash && bytes && length > 0)
        BCryptHashData(d->hash, reinterpret_cast<PUCHAR>(const_cast<char*>(bytes)), static_cast<ULONG>(length), 0);
    d->result = KqByteArray();
}

KqByteArray KqCryptoHash::result()
{
    if (!d->result.isNull() || !d->hash)
        return d->result;
    // Finish a copy so the running digest can take more data.
    BCRYPT_HASH_HANDLE copy = nullptr;
    if (BCryptDuplicateHash(d->hash, &copy, nullptr, 0, 0) != 0)
        return d->result;
    int length = d->algorithm == Sha1 ? 20 : 16;
    KqByteArray digest;
    digest.setLength(length);
    if (BCryptFinishHash(copy, reinterpret_cast<PUCHAR>(digest.mutableData()), static_cast<ULONG>(length), 0) == 0)
        d->result = digest;
    BCryptDestroyHash(copy);
    return d->result;
}

bool KqCryptoHash::fileMd5(const KqString& path, KqByteArray& hex)
{
    HANDLE file = CreateFileW(reinterpret_cast<const wchar_t*>(path.data()), GENERIC_READ, FILE_SHARE_READ, nullptr,
        OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size)) {
        CloseHandle(file);
        return false;
    }
    KqCryptoHash md5(Md5);
    bool ok = true;
    // An empty file cannot be mapped; its digest is that of no data.
    if (size.QuadPart > 0) {
        HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
        if (!mapping) {
            CloseHandle(file);
            return false;
        }
        const uint64_t total = static_cast<uint64_t>(size.QuadPart);
        for (uint64_t offset = 0; offset < total;) {
            uint64_t left = total - offset;
            DWORD view = static_cast<DWORD>(left < 65536 ? left : 65536);
            const void* data = MapViewOfFile(mapping, FILE_MAP_READ, static_cast<DWORD>(offset >> 32), static_cast<DWORD>(offset), view);
            if (!data) {
                ok = false;
                break;
            }
            md5.addData(static_cast<const char*>(data), static_cast<int>(view));
            UnmapViewOfFile(data);
            offset += view;
        }
        CloseHandle(mapping);
    }
    CloseHandle(file);
    if (!ok)
        return false; // no partial digest
    KqByteArray digest = md5.result();
    if (digest.size() != 16)
        return false;
    hex = digest.toHex();
    return true;
}
