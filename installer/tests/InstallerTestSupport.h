// Shared pieces of the in-process installer tests.
#pragma once

#include "SorvaSetupListener.h"
#include "TestFolder.h"

#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

// Records every report it receives.
class RecordingListener : public SorvaSetupListener {
public:
    explicit RecordingListener(bool silent = false) : m_silent(silent) {}
    void onCheckResult(int code) override { add(L"check " + std::to_wstring(code)); }
    void onTqRunning() override { add(L"running"); }
    void onProgress(double fraction, const std::wstring& text) override
    {
        std::lock_guard<std::mutex> lock(m_lock);
        fractions.push_back(fraction);
        texts.push_back(text);
    }
    void onDecompressFinish(int code) override { add(L"finish " + std::to_wstring(code)); }
    bool isSilent() override { return m_silent; }

    std::vector<std::wstring> events()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_events;
    }

    std::vector<double> fractions;
    std::vector<std::wstring> texts;

private:
    void add(const std::wstring& event)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_events.push_back(event);
    }
    std::mutex m_lock;
    std::vector<std::wstring> m_events;
    bool m_silent;
};

inline std::wstring fixturePath(const wchar_t* name)
{
    wchar_t folder[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, folder);
    return std::wstring(folder) + L"\\fixtures\\" + name;
}

inline bool fileExists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

inline std::wstring environmentValue(const wchar_t* name)
{
    wchar_t value[MAX_PATH];
    DWORD n = GetEnvironmentVariableW(name, value, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::wstring(value, n) : std::wstring();
}

// The "InstallDir" value of HKCU\Software\brenlo\tqsorva; present false when missing.
inline std::wstring readInstallDirValue(bool& present)
{
    wchar_t value[1024] = {};
    DWORD size = sizeof(value) - sizeof(wchar_t);
    present = RegGetValueW(HKEY_CURRENT_USER, L"Software\\brenlo\\tqsorva", L"InstallDir", RRF_RT_REG_SZ, nullptr,
                           value, &size) == ERROR_SUCCESS;
    return present ? std::wstring(value) : std::wstring();
}

// Puts back an "InstallDir" value read with readInstallDirValue.
inline void restoreInstallDirValue(const std::wstring& value, bool present)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\brenlo\\tqsorva", 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    if (present)
        RegSetValueExW(key, L"InstallDir", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    else
        RegDeleteValueW(key, L"InstallDir");
    RegCloseKey(key);
}
