// Conversions between the framework's strings and the setup code's wide strings.
#pragma once

#include "KqString.h"

#include <string>

inline KqString kqText(const std::wstring& text)
{
    return KqString(reinterpret_cast<const KqChar*>(text.c_str()), static_cast<int>(text.size()));
}

inline std::wstring wideText(const KqString& text)
{
    return std::wstring(reinterpret_cast<const wchar_t*>(text.data()), static_cast<size_t>(text.length()));
}
