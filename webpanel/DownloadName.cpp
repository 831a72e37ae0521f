#include "DownloadName.h"

#include <cwctype>

namespace {

bool isAsciiAlnum(wchar_t c)
{
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9');
}

std::wstring lowerAscii(std::wstring text)
{
    for (wchar_t& c : text)
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c - L'A' + L'a');
    return text;
}

bool isReservedDeviceName(const std::wstring& name)
{
    // The device part is what comes before the first dot, blanks trimmed.
    std::wstring stem = lowerAscii(name.substr(0, name.find(L'.')));
    while (!stem.empty() && stem.back() == L' ')
        stem.pop_back();
    static const wchar_t* const kNames[] = {L"con", L"prn", L"aux", L"nul", L"conin$", L"conout$"};
    for (const wchar_t* reserved : kNames)
        if (stem == reserved)
            return true;
    if (stem.size() == 4 && (stem.compare(0, 3, L"com") == 0 || stem.compare(0, 3, L"lpt") == 0) &&
        stem[3] >= L'0' && stem[3] <= L'9')
        return true;
    return false;
}

}  // namespace

bool IsSafeDownloadName(const std::wstring& name)
{
    if (name.empty() || name.size() > 200)
        return false;
    for (wchar_t c : name) {
        if (c < 0x20 || c == 0x7F)
            return false;
        if (wcschr(L"\\/:*?\"<>|", c))
            return false;
    }
    if (name.find(L"..") != std::wstring::npos)
        return false;
    if (name.back() == L'.' || name.back() == L' ' || name.front() == L' ')
        return false;
    return !isReservedDeviceName(name);
}

std::wstring DownloadExtension(const std::wstring& url)
{
    std::wstring path = url.substr(0, url.find_first_of(L"?#"));
    size_t dot = path.rfind(L'.');
    std::wstring extension = dot == std::wstring::npos ? path : path.substr(dot);
    size_t first = (!extension.empty() && extension[0] == L'.') ? 1 : 0;
    if (extension.size() <= first)
        return std::wstring();
    for (size_t i = first; i < extension.size(); ++i)
        if (!isAsciiAlnum(extension[i]))
            return std::wstring();
    return extension;
}
