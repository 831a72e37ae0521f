// The stand-in Flash control (tools/testflash) set up for a test: a copy of
// it in a folder of its own with its settings, registered under the control's
// class id or named in the Flash folder's "install.ini", and its journal.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

// The version the stand-in reports.
const long kTestFlashVersion = 0x0B020000;

inline std::wstring BinFolder()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    return folder.substr(0, folder.find_last_of(L'\\'));
}

inline std::wstring AppDataFlashFolder()
{
    wchar_t appData[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, appData);
    return std::wstring(appData) + L"\\brenlo\\tqsorva\\flashplayer";
}

inline std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }
inline std::string Narrow(const std::wstring& text)
{
    std::string out;
    for (wchar_t c : text)
        out += char(c);
    return out;
}

// One frame of a stand-in movie: a rectangle and its colour (0xRRGGBB).
struct TestMovieFrame {
    int left, top, width, height;
    unsigned colour;
};

inline std::string WriteTestMovie(const std::wstring& path, const std::vector<TestMovieFrame>& frames, int rate)
{
    std::ostringstream text;
    text << "tqflash\nframes " << frames.size() << "\nrate " << rate << "\n";
    for (const TestMovieFrame& f : frames) {
        char line[96];
        snprintf(line, sizeof line, "rect %d %d %d %d %06x\n", f.left, f.top, f.width, f.height, f.colour);
        text << line;
    }
    std::ofstream file(path.c_str(), std::ios::binary);
    file << text.str();
    return text.str();
}

class FlashStage {
public:
    // `folder` is made afresh; the stand-in is copied into it with `settings`
    // as its [control] section.
    explicit FlashStage(const std::wstring& name, const std::string& settings = std::string())
    {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        m_folder = std::wstring(temp) + L"tq-flash-" + name;
        CreateDirectoryW(m_folder.c_str(), nullptr);
        DeleteFileW(Journal().c_str());
        m_library = m_folder + L"\\testflash.dll";
        CopyFileW((BinFolder() + L"\\testflash.dll").c_str(), m_library.c_str(), FALSE);
        std::ofstream ini((m_folder + L"\\testflash.ini").c_str());
        ini << "[control]\n" << settings;
    }
    ~FlashStage() { Unregister(); }

    bool Register() { m_registered = CallServer("DllRegisterServer"); return m_registered; }
    void Unregister()
    {
        if (m_registered)
            CallServer("DllUnregisterServer");
        m_registered = false;
    }

    const std::wstring& Folder() const { return m_folder; }
    std::wstring Journal() const { return m_folder + L"\\testflash.journal"; }
    void ClearJournal() const { DeleteFileW(Journal().c_str()); }
    std::vector<std::string> JournalLines() const
    {
        std::vector<std::string> lines;
        std::ifstream file(Journal().c_str());
        std::string line;
        while (std::getline(file, line))
            lines.push_back(line);
        return lines;
    }
    // Position of the first line starting with `prefix`, -1 when none.
    int Find(const std::string& prefix) const
    {
        const std::vector<std::string> lines = JournalLines();
        for (size_t i = 0; i < lines.size(); ++i)
            if (lines[i].compare(0, prefix.size(), prefix) == 0)
                return int(i);
        return -1;
    }
    int Count(const std::string& prefix) const
    {
        int count = 0;
        for (const std::string& line : JournalLines())
            count += line.compare(0, prefix.size(), prefix) == 0;
        return count;
    }

private:
    bool CallServer(const char* name)
    {
        HMODULE module = LoadLibraryW(m_library.c_str());
        if (!module)
            return false;
        typedef HRESULT(STDAPICALLTYPE * ServerFn)();
        auto call = reinterpret_cast<ServerFn>(GetProcAddress(module, name));
        const bool done = call && SUCCEEDED(call());
        FreeLibrary(module);
        return done;
    }

    std::wstring m_folder;
    std::wstring m_library;
    bool m_registered = false;
};

// "install.ini" in the Flash folder naming `file` (copied there from the
// stand-in when `copyStandIn`); removed again on destruction.
class FlashIni {
public:
    FlashIni(const std::wstring& file, bool copyStandIn, const std::string& settings = std::string())
    {
        const std::wstring folder = AppDataFlashFolder();
        SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
        m_ini = folder + L"\\install.ini";
        std::ofstream ini(m_ini.c_str());
        ini << "[FlashPlayer]\nfilename=" << Narrow(file) << "\n";
        if (copyStandIn) {
            m_copy = folder + L"\\" + file;
            CopyFileW((BinFolder() + L"\\testflash.dll").c_str(), m_copy.c_str(), FALSE);
            std::ofstream settingsFile((folder + L"\\testflash.ini").c_str());
            settingsFile << "[control]\n" << settings;
            DeleteFileW((folder + L"\\testflash.journal").c_str());
        }
    }
    ~FlashIni()
    {
        DeleteFileW(m_ini.c_str());
        if (!m_copy.empty())
            DeleteFileW(m_copy.c_str());
    }
    std::wstring Journal() const { return AppDataFlashFolder() + L"\\testflash.journal"; }

private:
    std::wstring m_ini;
    std::wstring m_copy;
};
