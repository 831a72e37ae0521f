// setup.ini: "key=value" lines ended by CR LF in the per-user data folder.
// Readers skip empty lines; a rewrite keeps every line and replaces the
// file in one step, so a reader never sees half a file.
#include "SystemUtils.h"

#include <vector>

namespace {

enum class TextKind { Ansi, Utf8Bom, Utf16 };

struct IniText {
    TextKind kind = TextKind::Ansi;
    std::vector<std::string> lines;  // ANSI or UTF-8 bytes, without line ends
};

bool readWholeFile(const std::wstring& file, std::string& bytes)
{
    HANDLE handle = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER size = {};
    bool ok = GetFileSizeEx(handle, &size) != FALSE && size.QuadPart < (64 << 20);
    if (ok) {
        bytes.resize(static_cast<size_t>(size.QuadPart));
        DWORD got = 0;
        ok = bytes.empty() || (ReadFile(handle, &bytes[0], static_cast<DWORD>(bytes.size()), &got, nullptr)
                               && got == bytes.size());
    }
    CloseHandle(handle);
    return ok;
}

IniText parse(const std::string& raw)
{
    IniText text;
    std::string bytes = raw;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF
        && static_cast<unsigned char>(bytes[1]) == 0xFE) {
        text.kind = TextKind::Utf16;
        std::wstring wide((bytes.size() - 2) / 2, L'\0');
        if (!wide.empty())
            memcpy(&wide[0], bytes.data() + 2, wide.size() * 2);
        bytes = wideToNarrow(wide, CP_UTF8);
    } else if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        text.kind = TextKind::Utf8Bom;
        bytes.erase(0, 3);
    }
    size_t begin = 0;
    while (begin < bytes.size()) {
        size_t end = bytes.find('\n', begin);
        std::string line = bytes.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        text.lines.push_back(line);
        if (end == std::string::npos)
            break;
        begin = end + 1;
    }
    return text;
}

// The key of a line is the text before its first "=".
bool lineHasKey(const std::string& line, const std::string& key)
{
    size_t equals = line.find('=');
    return equals != std::string::npos && equals == key.size() && line.compare(0, equals, key) == 0;
}

bool writeWholeFile(const std::wstring& file, const std::string& bytes)
{
    HANDLE handle = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool ok = bytes.empty()
              || (WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)
                  && written == bytes.size());
    ok = FlushFileBuffers(handle) && ok;
    CloseHandle(handle);
    return ok;
}

} // namespace

std::wstring setupIniPath()
{
    return getAppDataDir() + L"\\setup.ini";
}

std::string readMacIdFromIniFile(const std::wstring& file)
{
    std::string bytes;
    if (!readWholeFile(file, bytes))
        return std::string();
    IniText text = parse(bytes);
    for (const std::string& line : text.lines) {
        if (line.empty() || !lineHasKey(line, "macId"))
            continue;
        std::string value = line.substr(line.find('=') + 1);
        if (text.kind == TextKind::Ansi)
            value = wideToNarrow(narrowToWide(value, CP_ACP), CP_UTF8);
        return value;
    }
    return std::string();
}

bool writeIniFileValue(const std::wstring& file, const std::string& key, const std::string& value)
{
    std::string bytes;
    IniText text;
    if (readWholeFile(file, bytes))
        text = parse(bytes);
    bool found = false;
    for (std::string& line : text.lines) {
        if (!lineHasKey(line, key))
            continue;
        line = key + "=" + value;
        found = true;
    }
    if (!found) {
        // A new key goes behind the last line that holds anything.
        while (!text.lines.empty() && text.lines.back().empty())
            text.lines.pop_back();
        text.lines.push_back(key + "=" + value);
    }
    std::string out;
    if (text.kind != TextKind::Ansi)
        out = "\xEF\xBB\xBF";  // UTF-16 files are written back as UTF-8
    for (const std::string& line : text.lines)
        out += line + "\r\n";

    // Written beside the file, then swapped in: a stop in between leaves
    // the old file whole.
    std::wstring temporary = file + L".new";
    if (!writeWholeFile(temporary, out)) {
        DeleteFileW(temporary.c_str());
        return false;
    }
    if (!MoveFileExW(temporary.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(temporary.c_str());
        return false;
    }
    return true;
}

std::string readMacIdFromSetupIni()
{
    return readMacIdFromIniFile(setupIniPath());
}

void writeSetupIni(const std::string& key, const std::string& value)
{
    writeIniFileValue(setupIniPath(), key, value);
}
