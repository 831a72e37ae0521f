// MD5 digest (RFC 1321) over the system's hash provider, with lower-case
// hexadecimal output.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

class CMD5 {
public:
    CMD5();
    ~CMD5();
    CMD5(const CMD5&) = delete;
    CMD5& operator=(const CMD5&) = delete;

    // Starts a new digest (also after a finished one).
    void init();
    // Adds bytes; ignored once the digest is finished.
    void update(const void* bytes, size_t count);
    // Pads, counts and finishes; later calls change nothing.
    void finalize();
    bool isFinished() const { return m_finished; }
    // 32 lower-case hex characters; empty until finished.
    std::string hexDigest() const;
    // The 16 digest bytes (zero until finished).
    const uint8_t* digest() const { return m_digest; }

private:
    void release();

    void* m_algorithm = nullptr;  // BCRYPT_ALG_HANDLE
    void* m_hash = nullptr;       // BCRYPT_HASH_HANDLE
    uint8_t m_digest[16] = {};
    bool m_finished = false;
    bool m_failed = false;
};

// Digest text of a buffer; empty for a null or empty buffer.
std::string md5Hex(const void* bytes, size_t count);
