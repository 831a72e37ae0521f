#include "KqCryptoHash.h"

#include "KqPlatform.h"

struct KqCryptoHash::Private {
    int algorithm;
    KqDigest* digest = nullptr;
    KqByteArray result; // null while no digest is cached
};

KqCryptoHash::KqCryptoHash(int algorithm) : d(new Private)
{
    d->algorithm = algorithm;
    reset();
}

KqCryptoHash::~KqCryptoHash()
{
    delete d->digest;
    delete d;
}

void KqCryptoHash::reset()
{
    delete d->digest;
    d->digest = kqCreateDigest(d->algorithm);
    d->result = KqByteArray();
}

void KqCryptoHash::addData(const char* bytes, int length)
{
    if (d->digest && bytes && length > 0)
        d->digest->add(bytes, length);
    d->result = KqByteArray();
}

KqByteArray KqCryptoHash::result()
{
    if (!d->result.isNull() || !d->digest)
        return d->result;
    int length = d->algorithm == Sha1 ? 20 : 16;
    KqByteArray digest;
    if (!digest.setLength(length))
        return d->result;
    if (d->digest->peek(digest.mutableData(), length))
        d->result = digest;
    return d->result;
}
