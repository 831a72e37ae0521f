#include "KqServices.h"

#include "KqPlatform.h"

namespace {
uint32_t (*g_tickSource)();
uint32_t g_lastTick;
uint32_t g_wraps;
void (*g_capture)(const KqString&);
} // namespace

void kqSetTickSource(uint32_t (*source)())
{
    g_tickSource = source;
    g_lastTick = 0;
    g_wraps = 0;
}

int64_t kqClockNow()
{
    int64_t now;
    if (!g_tickSource && kqPlatformTick64(&now))
        return now;
    // Only the 32-bit tick: count its wraps.
    uint32_t tick = g_tickSource ? g_tickSource() : kqPlatformTick32();
    if (tick < g_lastTick)
        ++g_wraps;
    g_lastTick = tick;
    return (static_cast<int64_t>(g_wraps) << 32) + tick;
}

void kqSetDebugCapture(void (*capture)(const KqString&)) { g_capture = capture; }

KqDebugStream::~KqDebugStream()
{
    kqPlatformDebugOutput(m_message);
    if (g_capture)
        g_capture(m_message);
}

KqDebugStream& KqDebugStream::operator<<(const char* text)
{
    m_message.append(KqString::fromAnsi(text ? text : "(null)"));
    m_message.append(KqChar(u' '));
    return *this;
}

KqDebugStream& KqDebugStream::operator<<(const KqChar* text)
{
    m_message.append(KqString(text ? text : u"(null)"));
    m_message.append(KqChar(u' '));
    return *this;
}

KqDebugStream& KqDebugStream::operator<<(const KqString& text)
{
    m_message.append(text);
    m_message.append(KqChar(u' '));
    return *this;
}

KqDebugStream& KqDebugStream::operator<<(long long number)
{
    if (number < INT32_MIN || number > INT32_MAX) {
        char digits[24];
        int pos = 23;
        digits[pos] = 0;
        unsigned long long magnitude = number < 0 ? 0ull - static_cast<unsigned long long>(number) : static_cast<unsigned long long>(number);
        do {
            digits[--pos] = static_cast<char>('0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude);
        if (number < 0)
            digits[--pos] = '-';
        return *this << (digits + pos);
    }
    m_message.append(KqString::fromInt(static_cast<int>(number)));
    m_message.append(KqChar(u' '));
    return *this;
}

KqString kqDirOfPath(const KqString& path)
{
    int slash = path.lastIndexOf(KqChar(u'/'), -1);
    int backslash = path.lastIndexOf(KqChar(u'\\'), -1);
    int cut = slash > backslash ? slash : backslash;
    if (cut < 0)
        return path;
    return path.prefix(cut);
}

namespace {
struct ApplicationPath {
    KqString path = kqModuleFileName(nullptr);
};
}

KqString applicationFilePath() { return KqSingleton<ApplicationPath>::instance()->path; }

KqString applicationDirPath() { return kqDirOfPath(applicationFilePath()); }
