// Helpers of the engine log tests: reading the log file and matching its lines.
#pragma once

#include <windows.h>

#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

namespace enginelog_test {

// "Wed Dec 10 13:46:00 2025", as _ctime64 writes it.
constexpr char kStamp[] = "[A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9][0-9] [0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4}";

inline std::string ReadAll(const std::wstring& path)
{
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The file's lines without their line feeds; a last line without one is
// returned with a trailing "<no newline>" so that tests notice it.
inline std::vector<std::string> ReadLines(const std::wstring& path, size_t fromOffset = 0)
{
    const std::string all = ReadAll(path);
    std::vector<std::string> lines;
    size_t start = fromOffset;
    while (start < all.size()) {
        size_t end = all.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(all.substr(start) + "<no newline>");
            break;
        }
        lines.push_back(all.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// Whether the line is "<stamp>:<prefix><text>" with text matching the pattern.
inline bool IsLine(const std::string& line, const std::string& prefix, const std::string& textPattern)
{
    return std::regex_match(line, std::regex(std::string("^") + kStamp + ":" + prefix + textPattern + "$"));
}

inline std::string Escaped(const std::string& text)
{
    static const std::regex special(R"([.^$|()\[\]{}*+?\\])");
    return std::regex_replace(text, special, R"(\$&)");
}

// Index of the first line at or after `from` matching, or -1.
inline int Find(const std::vector<std::string>& lines, const std::string& prefix, const std::string& textPattern,
                size_t from = 0)
{
    for (size_t i = from; i < lines.size(); ++i)
        if (IsLine(lines[i], prefix, textPattern))
            return int(i);
    return -1;
}

inline int64_t FileSize(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return -1;
    return (int64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

} // namespace enginelog_test
