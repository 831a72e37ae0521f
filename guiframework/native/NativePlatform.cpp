// Host stand-ins for the framework's platform calls, for the sanitizer build
// on the development machine: the pool is off (every block comes from the C
// heap, where the sanitizers watch it), the ANSI page is Latin-1, and the
// digest is a plain checksum that only serves the caching logic above it.
#include "KqPlatform.h"
#include "KqObject.h"
#include "KqServices.h"
#include "KqTextCodec.h"
#include "MemPool.h"

#include <malloc.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

// Memory pool: off.

namespace {
MpReportHook g_reportHook;
MpAllocHook g_allocHook;

bool refused(unsigned size)
{
    if (!g_allocHook || g_allocHook(size))
        return false;
    char text[128];
    snprintf(text, sizeof text, "mp_alloc - no memory for %u bytes!", size);
    if (g_reportHook)
        g_reportHook(text);
    return true;
}
} // namespace

void mp_init() {}
bool mp_disabled() { return true; }
void* mp_alloc(unsigned size) { return refused(size) ? nullptr : malloc(size ? size : 1); }
void mp_free(void* p) { free(p); }
size_t mp_size(void* p) { return p ? malloc_usable_size(p) : 0; }
void* mp_realloc(void* p, unsigned size)
{
    // Like the pool, a block that already holds the size needs no memory.
    if ((!p || size > malloc_usable_size(p)) && refused(size))
        return nullptr;
    return realloc(p, size ? size : 1);
}
bool mp_owns(const void*) { return false; }
void mp_set_report_hook(MpReportHook hook) { g_reportHook = hook; }
void mp_set_alloc_hook(MpAllocHook hook) { g_allocHook = hook; }
unsigned mp_chunk_count() { return 0; }
size_t mp_bytes_in_use() { return 0; }
bool mp_chunk_info(unsigned, uint32_t*, uint32_t*) { return false; }

int mp_size_class(unsigned size)
{
    if (size == 0)
        size = 1;
    if (size <= 32)
        return static_cast<int>((size - 1) / 8);
    if (size <= 96)
        return static_cast<int>(4 + (size - 33) / 16);
    if (size <= 256)
        return static_cast<int>(8 + (size - 97) / 32);
    return -1;
}

// Text: UTF-8 for page 65001, Latin-1 for every other page.

namespace {

const unsigned kUtf8Page = 65001;

// Length of the valid sequence at b (1 for an invalid byte, which becomes
// one U+FFFD as on Windows), and its code point.
int decodeOne(const unsigned char* b, int left, uint32_t* code)
{
    unsigned char lead = b[0];
    if (lead < 0x80) {
        *code = lead;
        return 1;
    }
    int needed = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3 : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
    *code = 0xFFFD;
    if (needed == 0 || left < needed)
        return 1;
    unsigned char second = b[1];
    unsigned char low = 0x80, high = 0xBF;
    if (lead == 0xE0)
        low = 0xA0;
    else if (lead == 0xED)
        high = 0x9F;
    else if (lead == 0xF0)
        low = 0x90;
    else if (lead == 0xF4)
        high = 0x8F;
    if (second < low || second > high)
        return 1;
    uint32_t value = lead & (needed == 2 ? 0x1F : needed == 3 ? 0x0F : 0x07);
    for (int i = 1; i < needed; ++i) {
        if ((b[i] & 0xC0) != 0x80)
            return 1;
        value = (value << 6) | (b[i] & 0x3F);
    }
    *code = value;
    return needed;
}

} // namespace

int KqTextCodec::incompleteTail(unsigned codePage, const char* bytes, int length)
{
    return codePage == kUtf8Page ? utf8IncompleteTail(bytes, length) : 0;
}

KqString KqTextCodec::toUnicode(unsigned codePage, const char* bytes, int length)
{
    if (!bytes || length <= 0)
        return KqString(u"", 0);
    length -= incompleteTail(codePage, bytes, length);
    std::u16string units;
    const unsigned char* b = reinterpret_cast<const unsigned char*>(bytes);
    for (int i = 0; i < length;) {
        uint32_t code = b[i];
        i += codePage == kUtf8Page ? decodeOne(b + i, length - i, &code) : 1;
        if (code >= 0x10000) {
            units += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
            units += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
        } else {
            units += static_cast<char16_t>(code);
        }
    }
    return KqString(units.data(), static_cast<int>(units.size()));
}

KqByteArray KqTextCodec::fromUnicode(unsigned codePage, const KqChar* units, int length)
{
    if (!units || length <= 0)
        return KqByteArray("", 0);
    std::string bytes;
    for (int i = 0; i < length; ++i) {
        uint32_t code = units[i];
        if (code >= 0xD800 && code < 0xDC00 && i + 1 < length && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000)
            code = 0x10000 + ((code - 0xD800) << 10) + (units[++i] - 0xDC00);
        else if (code >= 0xD800 && code < 0xE000)
            code = 0xFFFD;
        if (codePage != kUtf8Page) {
            bytes += code < 0x100 ? static_cast<char>(code) : '?';
        } else if (code < 0x80) {
            bytes += static_cast<char>(code);
        } else if (code < 0x800) {
            bytes += static_cast<char>(0xC0 | (code >> 6));
            bytes += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            bytes += static_cast<char>(0xE0 | (code >> 12));
            bytes += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            bytes += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            bytes += static_cast<char>(0xF0 | (code >> 18));
            bytes += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            bytes += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            bytes += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return KqByteArray(bytes.data(), static_cast<int>(bytes.size()));
}

// Services.

bool kqPlatformTick64(int64_t* now)
{
    *now = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
    return true;
}

uint32_t kqPlatformTick32()
{
    int64_t now;
    kqPlatformTick64(&now);
    return static_cast<uint32_t>(now);
}

void kqPlatformDebugOutput(const KqString& message)
{
    KqByteArray text = message.toUtf8();
    printf("Debug: %s\n", text.data());
    fflush(stdout);
}

KqString kqModuleFileName(void*)
{
    std::string path(4096, '\0');
    ssize_t n = readlink("/proc/self/exe", &path[0], path.size());
    return n > 0 ? KqString::fromUtf8(path.data(), static_cast<int>(n)) : KqString();
}

// Digest stand-in: two running 64-bit FNV-1a sums spread over the length.

namespace {

class ChecksumDigest : public KqDigest {
public:
    explicit ChecksumDigest(int algorithm) : m_state{0xcbf29ce484222325ull ^ static_cast<uint64_t>(algorithm), 0x84222325cbf29ce4ull} {}
    void add(const char* bytes, int length) override
    {
        for (int i = 0; i < length; ++i) {
            m_state[0] = (m_state[0] ^ static_cast<unsigned char>(bytes[i])) * 0x100000001b3ull;
            m_state[1] = (m_state[1] + m_state[0]) * 0x9E3779B97F4A7C15ull;
        }
    }
    bool peek(char* out, int length) override
    {
        for (int i = 0; i < length; ++i)
            out[i] = static_cast<char>(m_state[i % 2] >> (8 * (i / 2 % 8)));
        return true;
    }

private:
    uint64_t m_state[2];
};

} // namespace

KqDigest* kqCreateDigest(int algorithm) { return new ChecksumDigest(algorithm); }

// No window timers on the host: the tests flush the deferred deleter by hand.
KqDeferredDeleter::~KqDeferredDeleter()
{
    if (m_queue.count())
        flush();
}

void KqDeferredDeleter::setTicking(bool on) { m_wantsTicks = on; }

// The host build holds only the portable classes; the full ordered list, and
// the tests of its numbering, stay with the Windows build.
void kqRegisterFrameworkClasses() { kqRegisterClass("KqRttiObject", &KqRttiObject::classInfo, 'KROT'); }
