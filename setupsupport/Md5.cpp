#include "Md5.h"

#include <bcrypt.h>


CMD5::CMD5()
{
    init();
}

CMD5::~CMD5()
{
    release();
}

void CMD5::release()
{
    if (m_hash)
        BCryptDestroyHash(static_cast<BCRYPT_HASH_HANDLE>(m_hash));
    if (m_algorithm)
        BCryptCloseAlgorithmProvider(static_cast<BCRYPT_ALG_HANDLE>(m_algorithm), 0);
    m_hash = nullptr;
    m_algorithm = nullptr;
}

void CMD5::init()
{
    release();
    memset(m_digest, 0, sizeof m_digest);
    m_finished = false;
    m_failed = true;
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_MD5_ALGORITHM, nullptr, 0) < 0)
        return;
    m_algorithm = algorithm;
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) < 0)
        return;
    m_hash = hash;
    m_failed = false;
}

void CMD5::update(const void* bytes, size_t count)
{
    if (m_finished || m_failed || !bytes)
        return;
    auto* p = static_cast<const uint8_t*>(const_cast<void*>(bytes));
    // The provider takes 32-bit counts.
    while (count > 0) {
        ULONG piece = count > 0x40000000u ? 0x40000000u : static_cast<ULONG>(count);
        if (BCryptHashData(static_cast<BCRYPT_HASH_HANDLE>(m_hash), const_cast<PUCHAR>(p), piece, 0) < 0) {
            m_failed = true;
            return;
        }
        p += piece;
        count -= piece;
    }
}

void CMD5::finalize()
{
    if (m_finished)
        return;
    m_finished = true;
    if (m_failed
        || BCryptFinishHash(static_cast<BCRYPT_HASH_HANDLE>(m_hash), m_digest, sizeof m_digest, 0) < 0) {
        m_failed = true;
        memset(m_digest, 0, sizeof m_digest);
    }
}

std::string CMD5::hexDigest() const
{
    // A digest the provider could not compute has no text either.
    if (!m_finished || m_failed)
        return std::string();
    static const char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(32);
    for (uint8_t b : m_digest) {
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

std::string md5Hex(const void* bytes, size_t count)
{
    if (!bytes || count == 0)
        return std::string();
    CMD5 md5;
    md5.update(bytes, count);
    md5.finalize();
    return md5.hexDigest();
}
