// Reads text from a device line by line. The encoding comes from a
// byte-order mark (none: the ANSI page) and is fixed at the first read.
#pragma once

#include "KqString.h"
#include "KqTextCodec.h"

#include <cstdint>

class KqIODevice;

class KqTextStream {
public:
    enum Encoding { Undetected = 0, Ansi = 1, Utf8 = 2, Utf16Le = 3, Utf16Be = 4 };
    // Bytes taken from the device per fill.
    static const int kChunkBytes = 0x4000;

    explicit KqTextStream(KqIODevice* device);
    KqTextStream(const KqTextStream&) = delete;
    KqTextStream& operator=(const KqTextStream&) = delete;

    // The next line without its line feed, carriage returns dropped; at most
    // maxLength units when it is above 0 (the rest comes next). A blank line
    // is empty, the end of the text gives the null string.
    KqString readLine(int64_t maxLength = 0);
    int encoding() const { return m_encoding; }

private:
    void detectEncoding();
    bool fillBuffer();
    bool getChar(KqChar* unit);
    void decode(const char* bytes, int length);

    KqIODevice* m_device;
    KqString m_buffer;
    int m_taken = 0; // units of m_buffer already handed out
    int32_t m_encoding = Undetected;
    KqTextCodec m_codec;
    // Bytes of a character not yet complete, kept for the next fill.
    char m_carry[4];
    int m_carried = 0;
};
