// The extraction sink: routes archive entry names to folders on disk and
// writes the entries' bytes there, reporting progress to the listener.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

class SorvaSetupListener;

class CDiskOutputer {
public:
    // Longest progress text, in characters, terminator excluded.
    static constexpr size_t kMaxProgressChars = 1023;
    // Attempts at creating and writing one file (moving a held one aside between them).
    static constexpr int kMaxWriteAttempts = 5;

    // root: the extraction root ("/" turned into "\\", trailing "\\" added).
    // allowOutsideRoots: whether the "AppData", "TEMP" and "VQM" markers may
    // route entries out of the root (the product's own payload only).
    CDiskOutputer(const std::wstring& root, SorvaSetupListener* listener, bool allowOutsideRoots = true);

    bool accept(const std::wstring& name);
    bool output(const std::wstring& name, bool isDirectory, const void* data, size_t size);
    bool shouldContinue();
    void progress(size_t index, size_t count, const std::wstring& shortName);

    // Where an entry goes: target path, or empty with skipped set for a
    // marker-only name. False for a name that must not be written (parent
    // steps, absolute or drive names, a refused marker).
    bool route(const std::wstring& entryName, std::wstring& target, bool& skipped) const;

    const std::wstring& root() const { return m_root; }

    // Removes what this outputer created: the files that were not there
    // before it wrote them, then the folders it made, when they are empty.
    // Files it replaced stay (an earlier install keeps working). Returns the
    // number of files removed.
    size_t removeWritten();

    // Measuring instead of writing: every entry is refused before it is
    // decoded, and the longest path below the root it would take is kept.
    void setMeasureOnly(bool on) { m_measureOnly = on; }
    // Characters of the longest file path below the root, and of the
    // longest folder path below it (the entry names as the root's children).
    size_t longestFileBelowRoot() const { return m_longestFile; }
    size_t longestFolderBelowRoot() const { return m_longestFolder; }

private:
    bool writeFile(const std::wstring& target, const void* data, size_t size);
    // Notes the folders from path upwards that do not exist yet.
    void noteMissingFolders(const std::wstring& path);

    std::wstring m_root;
    SorvaSetupListener* m_listener;
    bool m_allowOutsideRoots;
    mutable std::wstring m_lastBase;  // the folder route() chose for the last entry
    struct Created {
        std::wstring base;  // the routed folder: nothing through a link above it is removed
        std::wstring path;
    };
    std::vector<Created> m_createdFiles;
    std::vector<Created> m_createdFolders;  // outermost first
    bool m_measureOnly = false;
    size_t m_longestFile = 0;
    size_t m_longestFolder = 0;
};

// True for an entry name that stays below whatever folder it is joined to:
// relative, no drive or stream (":"), no part made only of dots and blanks
// (".." and what Windows trims to it), no empty part in the middle.
bool isSafeRelativeName(const std::wstring& name);
