// The record file of the stand-in kqlog.dll, shared by the library (which
// writes it) and the tests and demos (which read it).
//
// The library appends to the file named by the environment variable
// TQ_KQLOG_FILE, read at every call; without the variable it records
// nothing and IsLogLevelEnabled answers false. TQ_KQLOG_LEVEL (a number,
// default 0) is the lowest level IsLogLevelEnabled wants; DoLog records
// every record it receives, wanted or not.
//
// One record per line, UTF-8, six fields separated by tabs:
//   level \t module \t file \t line \t function \t text \n
// Backslash, tab, carriage return and line feed inside a field are written
// as \\, \t, \r and \n.
#pragma once

#include <windows.h>

#include <fstream>
#include <string>
#include <vector>

namespace tq::kqlog {

constexpr wchar_t kFileVariable[] = L"TQ_KQLOG_FILE";
constexpr wchar_t kLevelVariable[] = L"TQ_KQLOG_LEVEL";

struct Record {
    unsigned level = 0;
    std::string module;    // UTF-8
    std::string file;      // UTF-8
    unsigned line = 0;
    std::string function;  // UTF-8
    std::wstring text;
};

inline std::string ToUtf8(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(size_t(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), &utf8[0], bytes, nullptr, nullptr);
    return utf8;
}

inline std::wstring FromCodePage(const std::string& text, UINT codePage)
{
    if (text.empty())
        return std::wstring();
    int chars = MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring wide(size_t(chars > 0 ? chars : 0), L'\0');
    if (chars > 0)
        MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), &wide[0], chars);
    return wide;
}

inline std::string EscapeField(const std::string& field)
{
    std::string escaped;
    escaped.reserve(field.size());
    for (char c : field) {
        switch (c) {
        case '\\': escaped += "\\\\"; break;
        case '\t': escaped += "\\t"; break;
        case '\r': escaped += "\\r"; break;
        case '\n': escaped += "\\n"; break;
        default: escaped += c;
        }
    }
    return escaped;
}

inline std::string UnescapeField(const std::string& field)
{
    std::string plain;
    plain.reserve(field.size());
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\' || i + 1 == field.size()) {
            plain += field[i];
            continue;
        }
        switch (field[++i]) {
        case 't': plain += '\t'; break;
        case 'r': plain += '\r'; break;
        case 'n': plain += '\n'; break;
        default: plain += field[i];
        }
    }
    return plain;
}

// Reads every complete record of the file; a missing file gives none.
inline std::vector<Record> ReadRecords(const std::wstring& path)
{
    std::vector<Record> records;
    std::ifstream in(path.c_str(), std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> fields;
        size_t start = 0;
        for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
            fields.push_back(UnescapeField(line.substr(start, tab - start)));
        fields.push_back(UnescapeField(line.substr(start)));
        if (fields.size() != 6)
            continue;
        Record record;
        record.level = unsigned(std::stoul(fields[0]));
        record.module = fields[1];
        record.file = fields[2];
        record.line = unsigned(std::stoul(fields[3]));
        record.function = fields[4];
        record.text = FromCodePage(fields[5], CP_UTF8);
        records.push_back(record);
    }
    return records;
}

} // namespace tq::kqlog
