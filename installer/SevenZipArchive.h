// Extraction of a 7z archive held in memory (the program's own resource or
// a file read whole), entry by entry, into a CDiskOutputer.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

class CDiskOutputer;

struct ArchiveExtractOptions {
    // Only the camera filter, routed as "InstallDir/TqVirtualCam.ax".
    bool checkMode = false;
    // Asked after every entry; true stops the extraction as failed.
    std::function<bool()> cancelled;
    // Largest unpacked total the archive may announce; 0: no limit. Checked
    // before anything is decoded or written.
    unsigned long long maxUnpackedBytes = 0;
};

// Extracts every entry in archive order. Every entry name is routed before
// the first write, so an archive with a refused name writes nothing; so does
// one announcing more than maxUnpackedBytes. False when the archive cannot be
// opened or decoded, a name is refused, an entry cannot be written, or the
// extraction was cancelled; entries written before a later failure stay.
bool extractArchive(const void* data, size_t size, CDiskOutputer& outputer, const ArchiveExtractOptions& options);
// The same for an archive file.
bool extractArchiveFile(const std::wstring& path, CDiskOutputer& outputer, const ArchiveExtractOptions& options);
