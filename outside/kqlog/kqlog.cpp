// Stand-in for the outside log library kqlog.dll. kqlog.def exports these two
// functions under the decorated names the product looks up; the record file
// is described in KqlogRecords.h.
#include "KqlogRecords.h"

#include <windows.h>

#include <cstdlib>
#include <cwchar>
#include <mutex>
#include <string>

namespace {

std::wstring Variable(const wchar_t* name)
{
    DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    if (!size)
        return std::wstring();
    std::wstring value(size, L'\0');
    DWORD length = GetEnvironmentVariableW(name, &value[0], size);
    value.resize(length < size ? length : 0);
    return value;
}

std::string AnsiField(const char* text)
{
    return tq::kqlog::EscapeField(tq::kqlog::ToUtf8(tq::kqlog::FromCodePage(text ? text : "", CP_ACP)));
}

std::mutex g_fileLock;

} // namespace

extern "C" bool __cdecl KqlogIsLogLevelEnabled(unsigned short level)
{
    if (Variable(tq::kqlog::kFileVariable).empty())
        return false;
    const std::wstring minimum = Variable(tq::kqlog::kLevelVariable);
    return minimum.empty() || level >= wcstoul(minimum.c_str(), nullptr, 10);
}

extern "C" void __cdecl KqlogDoLog(unsigned short level, const char* module, const char* file, unsigned short line,
                                   const char* function, const wchar_t* text)
{
    const std::wstring path = Variable(tq::kqlog::kFileVariable);
    if (path.empty())
        return;
    std::string record = std::to_string(level) + '\t' + AnsiField(module) + '\t' + AnsiField(file) + '\t'
        + std::to_string(line) + '\t' + AnsiField(function) + '\t'
        + tq::kqlog::EscapeField(tq::kqlog::ToUtf8(text ? text : L"")) + '\n';

    // One write per record, appended, so records of several threads or
    // processes never mix.
    std::lock_guard<std::mutex> lock(g_fileLock);
    HANDLE handle = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(handle, record.data(), DWORD(record.size()), &written, nullptr);
    CloseHandle(handle);
}
