// Where the recorder's tests write their files: TQ_RECORD_OUT when set (the
// native checks read them there), else a folder under the temp folder.
#pragma once

#include <windows.h>
#include <cstdlib>
#include <string>

namespace rectest {

inline std::string OutputFolder()
{
    static std::string folder;
    if (folder.empty()) {
        const char* fromEnv = getenv("TQ_RECORD_OUT");
        if (fromEnv && *fromEnv) {
            folder = fromEnv;
        } else {
            char temp[MAX_PATH];
            GetTempPathA(MAX_PATH, temp);
            folder = std::string(temp) + "tq_record_tests";
        }
        CreateDirectoryA(folder.c_str(), nullptr);
        if (folder.back() != '\\' && folder.back() != '/')
            folder += '\\';
    }
    return folder;
}

inline std::string OutputPath(const std::string& name)
{
    std::string path = OutputFolder() + name;
    DeleteFileA(path.c_str());
    return path;
}

inline bool FileExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

} // namespace rectest
