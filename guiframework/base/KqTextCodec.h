// Conversion between UTF-16 and a code page: kind 1 is UTF-8, kind 3 the
// system's ANSI page; other kinds convert to null results.
#pragma once

#include "KqString.h"

class KqTextCodec {
public:
    enum Kind { Utf8 = 1, Ansi = 3 };
    explicit KqTextCodec(int kind) : m_kind(kind) {}
    int codePage() const;
    // Invalid bytes become U+FFFD; an incomplete character at the end is dropped.
    KqString toUnicode(const char* bytes, int length) const;
    KqByteArray fromUnicode(const KqChar* units, int length) const;
    // Bytes at the end of `bytes` that start a character not yet complete
    // (a reader keeps them for its next fill).
    int incompleteTail(const char* bytes, int length) const;

    // The conversions for an explicit code page.
    static KqString toUnicode(unsigned codePage, const char* bytes, int length);
    static KqByteArray fromUnicode(unsigned codePage, const KqChar* units, int length);
    static int incompleteTail(unsigned codePage, const char* bytes, int length);
    static int utf8IncompleteTail(const char* bytes, int length);

private:
    int m_kind;
};
