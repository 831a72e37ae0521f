#include "FileSniffer.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

namespace {
struct Signature {
    int kind;
    const char* name;
    unsigned char bytes[6];
    size_t length;
};

// A zero byte in a signature matches anything.
const Signature kSignatures[] = {
    {FileKindJpeg, "JPEG/JPG", {0xFF, 0xD8}, 2},
    {FileKindPng, "PNG", {0x89, 0x50}, 2},
    {FileKindGif, "GIF", {'G', 'I', 'F', '8', '9'}, 5},
    {FileKindGif, "GIF", {'G', 'I', 'F', '8', '7'}, 5},
};
}

int SniffBytes(const unsigned char* bytes, size_t count)
{
    for (const Signature& signature : kSignatures) {
        const size_t length = std::min<size_t>(signature.length, 6);
        // A short file matches only a signature it holds whole.
        if (count < length)
            continue;
        bool matches = true;
        for (size_t i = 0; i < length && matches; ++i)
            matches = signature.bytes[i] == 0 || signature.bytes[i] == bytes[i];
        if (matches)
            return signature.kind;
    }
    return FileKindUnknown;
}

int SniffFileKind(const std::string& path)
{
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) {
        perror("fopen error\n");
        return FileKindUnknown;
    }
    unsigned char head[10] = {};
    const size_t got = fread(head, 1, sizeof head, file);
    fclose(file);
    return SniffBytes(head, got);
}

bool HasFlashExtension(const std::string& path)
{
    if (path.size() < 4)
        return false;
    const std::string tail = path.substr(path.size() - 4);
    return tail == ".swf" || tail == ".SWF";
}

bool HasGifExtension(const std::string& path)
{
    if (path.size() < 4)
        return false;
    std::string tail = path.substr(path.size() - 4);
    std::transform(tail.begin(), tail.end(), tail.begin(), [](unsigned char c) { return char(tolower(c)); });
    return tail == ".gif";
}
