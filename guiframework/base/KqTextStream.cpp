#include "KqTextStream.h"

#include "KqIODevice.h"

#include <cstring>
#include <vector>

KqTextStream::KqTextStream(KqIODevice* device) : m_device(device), m_codec(0) {}

void KqTextStream::detectEncoding()
{
    unsigned char head[3] = {};
    int n = 0;
    while (m_device && n < 3) { // devices may hand over less than asked
        int64_t got = m_device->readData(reinterpret_cast<char*>(head) + n, 3 - n);
        if (got <= 0)
            break;
        n += got < 3 - n ? static_cast<int>(got) : 3 - n;
    }
    int mark = 0;
    if (n == 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF) {
        m_encoding = Utf8;
        mark = 3;
    } else if (n >= 2 && head[0] == 0xFF && head[1] == 0xFE) {
        m_encoding = Utf16Le;
        mark = 2;
    } else if (n >= 2 && head[0] == 0xFE && head[1] == 0xFF) {
        m_encoding = Utf16Be;
        mark = 2;
    } else {
        m_encoding = Ansi;
    }
    m_codec = KqTextCodec(m_encoding == Utf8 ? KqTextCodec::Utf8 : KqTextCodec::Ansi);
    // What follows the mark is text: it goes first into the next fill.
    m_carried = n - mark;
    memcpy(m_carry, head + mark, static_cast<size_t>(m_carried));
}

void KqTextStream::decode(const char* bytes, int length)
{
    int tail = 0;
    if (m_encoding == Utf16Le || m_encoding == Utf16Be) {
        tail = length % 2;
        int units = length / 2;
        if (units > 0) {
            KqString text;
            // Without memory for the units they are dropped; nothing is written.
            if (text.setLength(units)) {
                KqChar* out = const_cast<KqChar*>(text.data());
                const unsigned char* b = reinterpret_cast<const unsigned char*>(bytes);
                int low = m_encoding == Utf16Le ? 0 : 1;
                for (int i = 0; i < units; ++i)
                    out[i] = static_cast<KqChar>(b[2 * i + low] | (b[2 * i + 1 - low] << 8));
                m_buffer.append(text);
            }
        }
    } else {
        // A character cut by the end of the chunk is finished by the next one.
        tail = m_codec.incompleteTail(bytes, length);
        if (length > tail)
            m_buffer.append(m_encoding == Utf8 ? m_codec.toUnicode(bytes, length - tail) : KqString::fromAnsi(bytes, length - tail));
    }
    m_carried = tail;
    memcpy(m_carry, bytes + length - tail, static_cast<size_t>(tail));
}

bool KqTextStream::fillBuffer()
{
    if (!m_device)
        return false;
    std::vector<char> chunk(sizeof m_carry + kChunkBytes);
    // Devices may hand over less than asked: read until some text results.
    while (m_taken >= m_buffer.length()) {
        memcpy(chunk.data(), m_carry, static_cast<size_t>(m_carried));
        int64_t got = m_device->readData(chunk.data() + m_carried, kChunkBytes);
        if (got <= 0) {
            // The end: what is still carried is decoded on its own; a
            // character cut off by the end of the text is dropped.
            if (m_carried > 0)
                decode(chunk.data(), m_carried);
            m_carried = 0;
            return m_taken < m_buffer.length();
        }
        decode(chunk.data(), m_carried + static_cast<int>(got < kChunkBytes ? got : kChunkBytes));
    }
    return true;
}

bool KqTextStream::getChar(KqChar* unit)
{
    if (m_encoding == Undetected)
        detectEncoding();
    if (m_taken >= m_buffer.length()) {
        m_buffer = KqString();
        m_taken = 0;
        if (!fillBuffer())
            return false;
    }
    *unit = m_buffer.unitAt(m_taken++);
    return true;
}

KqString KqTextStream::readLine(int64_t maxLength)
{
    KqString line;
    bool gotAny = false;
    for (;;) {
        if (maxLength > 0 && line.length() >= maxLength)
            break;
        KqChar unit;
        if (!getChar(&unit))
            break;
        gotAny = true;
        if (unit == 10)
            break;
        if (unit != 13)
            line.append(unit);
    }
    if (gotAny && line.isNull())
        return KqString(u"", 0);
    return line;
}
