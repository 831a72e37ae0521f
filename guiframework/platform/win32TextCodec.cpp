#include "KqTextCodec.h"

#include "KqServices.h"

#include <windows.h>

#include <cstdlib>
#include <vector>

int KqTextCodec::incompleteTail(unsigned codePage, const char* bytes, int length)
{
    if (!bytes || length <= 0)
        return 0;
    if (codePage == CP_UTF8)
        return utf8IncompleteTail(bytes, length);
    const unsigned char* b = reinterpret_cast<const unsigned char*>(bytes);
    // Double-byte pages: a lead byte left alone at the end. Lead bytes may
    // also be trail bytes, so count the run of lead bytes before the end.
    int run = 0;
    while (run < length && IsDBCSLeadByteEx(codePage, b[length - 1 - run]))
        ++run;
    return run % 2;
}

KqString KqTextCodec::toUnicode(unsigned codePage, const char* bytes, int length)
{
    if (!bytes || length <= 0)
        return KqString(u"", 0);
    length -= incompleteTail(codePage, bytes, length);
    if (length <= 0)
        return KqString(u"", 0);
    // Without MB_ERR_INVALID_CHARS an invalid byte becomes U+FFFD and the
    // text after it is kept.
    int needed = MultiByteToWideChar(codePage, 0, bytes, length, nullptr, 0);
    if (needed <= 0) {
        KqDebugStream() << "MultiByteToWideChar: Cannot convert multibyte text";
        return KqString(u"", 0);
    }
    KqString result;
    if (!result.setLength(needed))
        return KqString(u"", 0);
    int written = MultiByteToWideChar(codePage, 0, bytes, length, reinterpret_cast<wchar_t*>(const_cast<KqChar*>(result.data())), needed);
    result.setLength(written > 0 ? written : 0);
    if (written <= 0)
        return KqString(u"", 0);
    return result;
}

KqByteArray KqTextCodec::fromUnicode(unsigned codePage, const KqChar* units, int length)
{
    if (!units || length <= 0)
        return KqByteArray("", 0);
    const wchar_t* wide = reinterpret_cast<const wchar_t*>(units);
    int needed = WideCharToMultiByte(codePage, 0, wide, length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) {
        KqDebugStream() << "KqTextCodec::fromUnicode WideCharToMultiByte error: " << static_cast<unsigned>(GetLastError());
        return KqByteArray("", 0);
    }
    KqByteArray result;
    if (!result.setLength(needed))
        return KqByteArray("", 0);
    int written = WideCharToMultiByte(codePage, 0, wide, length, result.mutableData(), needed, nullptr, nullptr);
    result.setLength(written);
    return result;
}
