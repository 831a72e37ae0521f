// Message digests (0 MD4, 1 MD5, 2 SHA-1) over the system's own hash
// provider, and the MD5 of a whole file as lower-case hexadecimal text.
#pragma once

#include "KqString.h"

class KqCryptoHash {
public:
    enum Algorithm { Md4 = 0, Md5 = 1, Sha1 = 2 };
    explicit KqCryptoHash(int algorithm);
    KqCryptoHash(const KqCryptoHash&) = delete;
    KqCryptoHash& operator=(const KqCryptoHash&) = delete;
    ~KqCryptoHash();
    void reset();
    void addData(const char* bytes, int length);
    // The digest of everything added so far; more data may follow.
    KqByteArray result();
    // False (and `hex` untouched) when the file cannot be read whole.
    static bool fileMd5(const KqString& path, KqByteArray& hex);

private:
    struct Private;
    Private* d;
};
