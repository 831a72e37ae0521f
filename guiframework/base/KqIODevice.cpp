#include "KqIODevice.h"

namespace {
// Byte arrays count in 32 bits and their growth adds slack: keep requests
// well below that range (a 32-bit process could not hold more anyway).
const int64_t kMaxRead = int64_t(1) << 30;
}

KqIODevice::~KqIODevice() {}

bool KqIODevice::atEnd() { return bytesAvailable() <= 0; }

bool KqIODevice::open(int32_t mode)
{
    m_openMode = mode;
    return true;
}

void KqIODevice::close() { m_openMode = 0; }

int64_t KqIODevice::bytesAvailable() { return 0; }

int64_t KqIODevice::pos() { return 0; }

bool KqIODevice::seek(int64_t) { return true; }

int64_t KqIODevice::size() { return 0; }

int64_t KqIODevice::write(const char* data, int64_t length)
{
    if (!data || length < 0)
        return -1;
    if (length == 0)
        return 0;
    return writeData(data, length);
}

int64_t KqIODevice::write(const KqByteArray& bytes) { return write(bytes.data(), bytes.size()); }

KqByteArray KqIODevice::read(int64_t n)
{
    if (n <= 0 || n > kMaxRead)
        return KqByteArray("", 0);
    KqByteArray bytes;
    if (!bytes.setLength(static_cast<int>(n)))
        return KqByteArray("", 0);
    int64_t got = readData(bytes.mutableData(), n);
    // A short read leaves only what arrived, never stale bytes after it.
    bytes.setLength(got > 0 ? static_cast<int>(got < n ? got : n) : 0);
    return bytes;
}

KqByteArray KqIODevice::readAll() { return read(bytesAvailable()); }
