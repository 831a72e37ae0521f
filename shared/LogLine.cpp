#include "LogLine.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <cwchar>

namespace {

using IsLogLevelEnabledFn = bool(__cdecl*)(unsigned short level);
using DoLogFn = void(__cdecl*)(unsigned short level, const char* module, const char* file, unsigned short line,
                               const char* function, const wchar_t* text);

constexpr wchar_t kKqlogLibrary[] = L"kqlog.dll";
const wchar_t* g_libraryName = kKqlogLibrary;
std::atomic<FARPROC> g_isLogLevelEnabled{nullptr};
std::atomic<FARPROC> g_doLog{nullptr};

// The export once found; until then, loads the library and looks it up again.
FARPROC ResolveKqlog(std::atomic<FARPROC>& slot, const char* exportName)
{
    FARPROC function = slot.load(std::memory_order_acquire);
    if (function)
        return function;
    HMODULE library = LoadLibraryW(g_libraryName);
    if (!library)
        return nullptr;
    function = GetProcAddress(library, exportName);
    if (!function) {
        FreeLibrary(library);  // no reference piles up while the export is missing
        return nullptr;
    }
    // Kept loaded for the rest of the process: the pointer stays valid.
    slot.store(function, std::memory_order_release);
    return function;
}

constexpr size_t kNumberChars = 32;

} // namespace

void SetKqlogLibraryForTest(const wchar_t* libraryName)
{
    g_libraryName = libraryName ? libraryName : kKqlogLibrary;
    g_isLogLevelEnabled.store(nullptr);
    g_doLog.store(nullptr);
}

CLogLine::CLogLine(const char* module, unsigned short level, const char* file, unsigned short line, const char* function)
    : m_module(module), m_level(level), m_file(file), m_line(line), m_function(function)
{
    m_inline[0] = L'\0';
    if (auto isEnabled = reinterpret_cast<IsLogLevelEnabledFn>(ResolveKqlog(g_isLogLevelEnabled, kKqlogIsLogLevelEnabled)))
        m_enabled = isEnabled(level);
}

CLogLine::~CLogLine()
{
    if (auto doLog = reinterpret_cast<DoLogFn>(ResolveKqlog(g_doLog, kKqlogDoLog)))
        doLog(m_level, m_module, m_file, m_line, m_function, m_text);
    delete[] m_heap;
}

wchar_t* CLogLine::Reserve(size_t n)
{
    if (m_length + n > m_capacity) {
        size_t size = kInlineChars;
        while (size < m_length + n + 1)
            size *= 2;
        wchar_t* buffer = new wchar_t[size];
        wmemcpy(buffer, m_text, m_length + 1);
        delete[] m_heap;
        m_heap = buffer;
        m_text = buffer;
        m_capacity = size - 1;
    }
    return m_text + m_length;
}

void CLogLine::Commit(size_t written)
{
    m_length += written;
    m_text[m_length] = L'\0';
}

CLogLine& CLogLine::AppendInt(int value)
{
    if (m_enabled) {
        wchar_t* at = Reserve(kNumberChars);
        int written = _snwprintf(at, kNumberChars, L"%d", value);
        Commit(written < 0 ? kNumberChars : static_cast<size_t>(written));
    }
    return *this;
}

CLogLine& CLogLine::AppendInt64(int64_t value)
{
    if (m_enabled) {
        wchar_t* at = Reserve(kNumberChars);
        int written = _snwprintf(at, kNumberChars, L"%I64d", static_cast<long long>(value));
        Commit(written < 0 ? kNumberChars : static_cast<size_t>(written));
    }
    return *this;
}

CLogLine& CLogLine::AppendDouble(double value)
{
    if (m_enabled) {
        wchar_t* at = Reserve(kNumberChars);
        int written = _snwprintf(at, kNumberChars, L"%0.6f", value);
        Commit(written < 0 || written > static_cast<int>(kNumberChars) ? kNumberChars : static_cast<size_t>(written));
    }
    return *this;
}

CLogLine& CLogLine::AppendWideChars(const wchar_t* text, size_t count)
{
    if (m_enabled && text && count) {
        wmemcpy(Reserve(count), text, count);
        Commit(count);
    }
    return *this;
}

CLogLine& CLogLine::AppendAnsiChars(const char* text, size_t count)
{
    if (!m_enabled || !text || !count)
        return *this;
    const int chars = MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(count), nullptr, 0);
    if (chars > 0) {
        wchar_t* at = Reserve(static_cast<size_t>(chars));
        Commit(static_cast<size_t>(MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(count), at, chars)));
    }
    return *this;
}

CLogLine& CLogLine::AppendWide(const wchar_t* text)
{
    return AppendWideChars(text, text ? wcslen(text) : 0);
}

CLogLine& CLogLine::AppendNarrow(const char* text)
{
    return AppendAnsiChars(text, text ? strlen(text) : 0);
}

CLogLine& CLogLine::AppendString(const std::string& text)
{
    return AppendAnsiChars(text.data(), text.size());
}
