// What a layer file holds, told by its first bytes, and Flash movies by name.
#pragma once

#include <string>

enum FileKind { FileKindUnknown = 0, FileKindJpeg = 1, FileKindPng = 4, FileKindGif = 8 };

// Reads up to 10 bytes of the file; a file that cannot be opened is reported
// on the standard error stream and counts as unknown.
int SniffFileKind(const std::string& path);
// The kind of a file's first bytes (only the bytes given are compared).
int SniffBytes(const unsigned char* bytes, size_t count);
// A name ending in ".swf" or ".SWF" (no other letter case).
bool HasFlashExtension(const std::string& path);
// A name ending in ".gif", in any letter case.
bool HasGifExtension(const std::string& path);
