// Extracts one 7z archive file into a folder the way the installer does
// (CDiskOutputer, entry names routed, one decoder cache for the archive);
// the bench's shell lines time it. Usage: extractbench ARCHIVE FOLDER
#include "DiskOutputer.h"
#include "SevenZipArchive.h"

#include <cstdio>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: extractbench ARCHIVE FOLDER\n");
        return 2;
    }
    CDiskOutputer outputer(argv[2], nullptr);
    if (!extractArchiveFile(argv[1], outputer, {})) {
        fprintf(stderr, "extraction failed\n");
        return 1;
    }
    return 0;
}
