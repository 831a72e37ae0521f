#include "KqTextCodec.h"

namespace {
const unsigned kUtf8Page = 65001;
const unsigned kAnsiPage = 0; // the system's ANSI page
}

int KqTextCodec::codePage() const
{
    if (m_kind == Utf8)
        return static_cast<int>(kUtf8Page);
    if (m_kind == Ansi)
        return static_cast<int>(kAnsiPage);
    return -1;
}

KqString KqTextCodec::toUnicode(const char* bytes, int length) const
{
    if (codePage() < 0)
        return KqString();
    return toUnicode(static_cast<unsigned>(codePage()), bytes, length);
}

KqByteArray KqTextCodec::fromUnicode(const KqChar* units, int length) const
{
    if (codePage() < 0)
        return KqByteArray();
    return fromUnicode(static_cast<unsigned>(codePage()), units, length);
}

int KqTextCodec::incompleteTail(const char* bytes, int length) const
{
    if (codePage() < 0)
        return 0;
    return incompleteTail(static_cast<unsigned>(codePage()), bytes, length);
}

int KqTextCodec::utf8IncompleteTail(const char* bytes, int length)
{
    if (!bytes || length <= 0)
        return 0;
    const unsigned char* b = reinterpret_cast<const unsigned char*>(bytes);
    // Walk back over continuation bytes to the last lead byte.
    int back = 0;
    while (back < 3 && back < length && (b[length - 1 - back] & 0xC0) == 0x80)
        ++back;
    int leadAt = length - 1 - back;
    if (leadAt < 0)
        return 0;
    unsigned char lead = b[leadAt];
    int needed = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 && lead < 0xF0 ? 3 : lead >= 0xC2 && lead < 0xE0 ? 2 : 1;
    int have = back + 1;
    return needed > have ? have : 0;
}
