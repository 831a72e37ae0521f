// The extraction sink: routes archive entry names to folders on disk and
// writes the entries' bytes there, reporting progress to the listener.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

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

private:
    bool writeFile(const std::wstring& target, const void* data, size_t size);

    std::wstring m_root;
    SorvaSetupListener* m_listener;
    bool m_allowOutsideRoots;
    mutable std::wstring m_lastBase;  // the folder route() chose for the last entry
};

// True for an entry name that stays below whatever folder it is joined to:
// relative, no drive or stream (":"), no part made only of dots and blanks
// (".." and what Windows trims to it), no empty part in the middle.
bool isSafeRelativeName(const std::wstring& name);
