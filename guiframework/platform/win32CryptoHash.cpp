#include "KqCryptoHash.h"
#include "KqPlatform.h"

#include <windows.h>
#include <bcrypt.h>

#include <cstdint>

namespace {

class BcryptDigest : public KqDigest {
public:
    ~BcryptDigest() override
    {
        if (hash)
            BCryptDestroyHash(hash);
        if (provider)
            BCryptCloseAlgorithmProvider(provider, 0);
    }
    void add(const char* bytes, int length) override
    {
        BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(bytes)), static_cast<ULONG>(length), 0);
    }
    bool peek(char* out, int length) override
    {
        // Finish a copy so the running digest can take more data.
        BCRYPT_HASH_HANDLE copy = nullptr;
        if (BCryptDuplicateHash(hash, &copy, nullptr, 0, 0) != 0)
            return false;
        bool ok = BCryptFinishHash(copy, reinterpret_cast<PUCHAR>(out), static_cast<ULONG>(length), 0) == 0;
        BCryptDestroyHash(copy);
        return ok;
    }
    BCRYPT_ALG_HANDLE provider = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
};

const wchar_t* algorithmName(int algorithm)
{
    switch (algorithm) {
    case KqCryptoHash::Md4: return BCRYPT_MD4_ALGORITHM;
    case KqCryptoHash::Sha1: return BCRYPT_SHA1_ALGORITHM;
    default: return BCRYPT_MD5_ALGORITHM;
    }
}

} // namespace

KqDigest* kqCreateDigest(int algorithm)
{
    BcryptDigest* digest = new BcryptDigest;
    if (BCryptOpenAlgorithmProvider(&digest->provider, algorithmName(algorithm), nullptr, 0) != 0) {
        digest->provider = nullptr;
        delete digest;
        return nullptr;
    }
    if (BCryptCreateHash(digest->provider, &digest->hash, nullptr, 0, nullptr, 0, 0) != 0) {
        digest->hash = nullptr;
        delete digest;
        return nullptr;
    }
    return digest;
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
