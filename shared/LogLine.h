// CLogLine: one record for the outside log library kqlog. A record is a
// stack object: it asks kqlog at construction whether its level is wanted,
// collects a wide text through the Append operations, and hands level,
// module, source file, line, function and text to kqlog when it is destroyed.
//
//   CLogLine("Lumeo", 1, __FILE__, __LINE__, __FUNCTION__).AppendNarrow("GetBufferData failed!");
//   TQ_LOG_LINE("Lumeo", 1).AppendNarrow("ERROR - Could not get IMediaControl.").AppendWide(L" ,hr = ").AppendInt(hr);
//
// kqlog is "kqlog.dll", loaded with LoadLibraryW; its exports are looked up
// by their decorated names (kKqlogIsLogLevelEnabled, kKqlogDoLog) at every
// record until each is found once, then kept for the rest of the process.
// Without the library or an export, records are dropped silently.
//
// The engine and the web page panel carry their own copies of this code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// bool IsLogLevelEnabled(unsigned short level)
constexpr char kKqlogIsLogLevelEnabled[] = "?IsLogLevelEnabled@@YA_NG@Z";
// void DoLog(unsigned short level, const char* module, const char* file,
//            unsigned short line, const char* function, const wchar_t* text)
constexpr char kKqlogDoLog[] = "?DoLog@@YAXGPBD0G0PBG@Z";

class CLogLine {
public:
    // module, file and function are kept as pointers and must outlive the
    // record (string literals and __FILE__/__FUNCTION__ do).
    CLogLine(const char* module, unsigned short level, const char* file, unsigned short line, const char* function);
    // Hands the record to kqlog's DoLog when the export can be found; a record
    // whose level kqlog did not want goes out with an empty text.
    ~CLogLine();
    CLogLine(const CLogLine&) = delete;
    CLogLine& operator=(const CLogLine&) = delete;

    // Each append does nothing when kqlog does not want the record's level,
    // and returns the record so that calls chain.
    CLogLine& AppendInt(int value);          // "%d"
    CLogLine& AppendInt64(int64_t value);    // "%I64d"
    CLogLine& AppendDouble(double value);    // "%0.6f"
    CLogLine& AppendWide(const wchar_t* text);
    CLogLine& AppendNarrow(const char* text);        // from the ANSI code page
    CLogLine& AppendString(const std::string& text); // from the ANSI code page

    // Returns where n more characters (and a terminator) can be written after
    // the text, moving the text to a heap buffer of the first power of two
    // from 512 up that holds it when the current buffer is too small. The
    // length does not change: the caller's append commits what it wrote.
    wchar_t* Reserve(size_t n);

    const wchar_t* Text() const { return m_text; }
    size_t Length() const { return m_length; }
    // Characters usable before the terminator: 511 for the inline buffer.
    size_t Capacity() const { return m_capacity; }
    bool Enabled() const { return m_enabled; }

private:
    void Commit(size_t written);
    CLogLine& AppendWideChars(const wchar_t* text, size_t count);
    CLogLine& AppendAnsiChars(const char* text, size_t count);

    static constexpr size_t kInlineChars = 512;
    wchar_t m_inline[kInlineChars];
    wchar_t* m_heap = nullptr;
    wchar_t* m_text = m_inline;
    size_t m_length = 0;
    size_t m_capacity = kInlineChars - 1;
    const char* m_module;
    unsigned short m_level;
    const char* m_file;
    unsigned short m_line;
    const char* m_function;
    bool m_enabled = false;
};

// A record with the compiler's file, line and function of the logging statement.
#define TQ_LOG_LINE(module, level) \
    CLogLine((module), static_cast<unsigned short>(level), __FILE__, static_cast<unsigned short>(__LINE__), __FUNCTION__)

// Test seam: makes later records resolve kqlog from another library name
// (nullptr: back to "kqlog.dll") and forgets the exports found so far.
// Not for use while other threads log.
void SetKqlogLibraryForTest(const wchar_t* libraryName);
