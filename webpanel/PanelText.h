// Conversions between the framework's strings and the standard ones the
// Windows calls and the wire protocols use.
#pragma once

#include "KqString.h"

#include <string>

inline std::wstring toWide(const KqString& text)
{
    return std::wstring(reinterpret_cast<const wchar_t*>(text.data()), static_cast<size_t>(text.length()));
}

inline KqString fromWide(const std::wstring& text)
{
    return KqString(reinterpret_cast<const KqChar*>(text.c_str()), static_cast<int>(text.size()));
}

inline KqString fromWide(const wchar_t* text)
{
    return text ? KqString(reinterpret_cast<const KqChar*>(text)) : KqString();
}

inline std::string toUtf8(const KqString& text)
{
    KqByteArray bytes = text.toUtf8();
    return std::string(bytes.data(), static_cast<size_t>(bytes.size()));
}

inline KqString fromUtf8(const std::string& text)
{
    return KqString::fromUtf8(text.data(), static_cast<int>(text.size()));
}

// Lower case of the ASCII letters only: URL schemes and command words.
inline KqString asciiLower(const KqString& text)
{
    std::wstring wide = toWide(text);
    for (wchar_t& c : wide)
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c - L'A' + L'a');
    return fromWide(wide);
}

inline bool equalsIgnoringCase(const KqString& a, const KqString& b)
{
    return asciiLower(a) == asciiLower(b);
}
