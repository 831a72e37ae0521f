// Files the layer tests read and write: the pictures made at build time and
// scratch files in the temporary folder.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

inline std::string FixturePath(const std::string& name)
{
    return std::string(TQ_LAYER_FIXTURES) + "/" + name;
}

inline std::vector<uint8_t> ReadBytes(const std::string& path)
{
    std::ifstream file(path.c_str(), std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

inline std::string TempFolder()
{
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    std::string folder = std::string(temp) + "tq-layers";
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

inline std::string WriteTempFile(const std::string& name, const std::vector<uint8_t>& bytes)
{
    const std::string path = TempFolder() + "\\" + name;
    FILE* file = fopen(path.c_str(), "wb");
    if (file) {
        if (!bytes.empty())
            fwrite(bytes.data(), 1, bytes.size(), file);
        fclose(file);
    }
    return path;
}

inline std::string WriteTempText(const std::string& name, const std::string& text)
{
    return WriteTempFile(name, std::vector<uint8_t>(text.begin(), text.end()));
}

// A bottom-up RGB24 frame with recognisable bytes.
inline std::vector<uint8_t> PatternFrame(int width, int height, int seed = 0)
{
    std::vector<uint8_t> frame(size_t(width) * height * 3);
    for (size_t i = 0; i < frame.size(); ++i)
        frame[i] = uint8_t((i * 31 + seed * 17 + i / 7) & 0xFF);
    return frame;
}
