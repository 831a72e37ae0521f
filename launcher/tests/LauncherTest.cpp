// TqSorva.exe end to end: each test lays out a product folder (the launcher,
// "Launcher.xml", version folders with the stand-in updater and a fake
// "mainframe.dll") and runs the launcher as a real process. The updater and
// the fake main library append what they saw to one trace file.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const char kMainResult[] = "42";

std::wstring Widen(const std::string& s)
{
    int n = MultiByteToWideChar(CP_UTF8, 0, s.c_str(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.c_str(), static_cast<int>(s.size()), &w[0], n);
    return w;
}

std::string Narrow(const std::wstring& w)
{
    int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), &s[0], n, nullptr, nullptr);
    return s;
}

// The folder of this test program, where the build puts its peers.
std::wstring BinDir()
{
    wchar_t path[MAX_PATH];
    std::wstring p(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
    return p.substr(0, p.find_last_of(L'\\') + 1);
}

void RemoveTree(const std::wstring& path)
{
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = data.cFileName;
            if (name == L"." || name == L"..")
                continue;
            std::wstring child = path + L"\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
                DeleteFileW(child.c_str());
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    RemoveDirectoryW(path.c_str());
}

void WriteBytes(const std::wstring& path, const std::string& bytes)
{
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    DWORD written = 0;
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
}

std::string ReadBytes(const std::wstring& path)
{
    std::string bytes;
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return bytes;
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(h, buffer, sizeof buffer, &n, nullptr) && n > 0)
        bytes.append(buffer, n);
    CloseHandle(h);
    return bytes;
}

void SetVariable(const wchar_t* name, const std::string& value)
{
    SetEnvironmentVariableW(name, Widen(value).c_str());
}

std::string VersionInfos(const std::string& entries)
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<LauncherInfo>\r\n" + entries + "</LauncherInfo>\r\n";
}

// One product folder under the test's working folder.
class Product {
public:
    explicit Product(const std::string& name)
    {
        wchar_t cwd[MAX_PATH];
        std::wstring products = std::wstring(cwd, GetCurrentDirectoryW(MAX_PATH, cwd)) + L"\\products";
        CreateDirectoryW(products.c_str(), nullptr);
        root = products + L"\\" + Widen(name);
        RemoveTree(root);
        CreateDirectoryW(root.c_str(), nullptr);
        EXPECT_TRUE(CopyFileW((BinDir() + L"TqSorva.exe").c_str(), (root + L"\\TqSorva.exe").c_str(), FALSE));
    }

    // A folder relative to the product root ("" = the root itself) as the launcher spells it.
    std::string Dir(const std::string& folder) const
    {
        return Narrow(root) + "\\" + (folder.empty() ? "" : folder + "\\");
    }

    void Folder(const std::string& folder) { CreateDirectoryW(Widen(Dir(folder)).c_str(), nullptr); }

    void Updater(const std::string& folder)
    {
        Folder(folder);
        EXPECT_TRUE(CopyFileW((BinDir() + L"update.exe").c_str(), Widen(Dir(folder) + "update.exe").c_str(), FALSE));
    }

    void Mainframe(const std::string& folder)
    {
        Folder(folder);
        EXPECT_TRUE(CopyFileW((BinDir() + L"launcher_fake_mainframe.dll").c_str(),
                              Widen(Dir(folder) + "mainframe.dll").c_str(), FALSE));
    }

    void LauncherXml(const std::string& text) { WriteBytes(root + L"\\Launcher.xml", text); }

    // Runs the launcher from the product root (as its current folder) and
    // returns its exit code, or -1000 when it did not end within a minute.
    int Run(const std::string& arguments)
    {
        SetVariable(L"TQ_UPDATE_LOG", Narrow(TracePath()));
        SetVariable(L"TQ_FAKE_MAINFRAME_LOG", Narrow(TracePath()));
        std::wstring command = L"\"" + root + L"\\TqSorva.exe\" " + Widen(arguments);
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi = {};
        if (!CreateProcessW((root + L"\\TqSorva.exe").c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                            root.c_str(), &si, &pi)) {
            ADD_FAILURE() << "TqSorva.exe did not start: " << GetLastError();
            return -2000;
        }
        CloseHandle(pi.hThread);
        DWORD code = static_cast<DWORD>(-1000);
        if (WaitForSingleObject(pi.hProcess, 60000) == WAIT_OBJECT_0)
            GetExitCodeProcess(pi.hProcess, &code);
        CloseHandle(pi.hProcess);
        return static_cast<int>(code);
    }

    std::vector<std::string> Trace() const
    {
        std::vector<std::string> lines;
        std::string bytes = ReadBytes(TracePath());
        size_t at = 0;
        for (size_t end; (end = bytes.find("\r\n", at)) != std::string::npos; at = end + 2)
            lines.push_back(bytes.substr(at, end - at));
        return lines;
    }

    // Waits until a program not waited for has written its line count times.
    bool WaitForLine(const std::string& line, size_t count = 1, int timeoutMs = 20000) const
    {
        for (int waited = 0; waited < timeoutMs; waited += 50) {
            if (Count(Trace(), line) >= count)
                return true;
            Sleep(50);
        }
        return false;
    }

    static size_t Count(const std::vector<std::string>& lines, const std::string& line)
    {
        size_t n = 0;
        for (const std::string& l : lines)
            n += l == line ? 1 : 0;
        return n;
    }

    static int IndexOf(const std::vector<std::string>& lines, const std::string& line)
    {
        for (size_t i = 0; i < lines.size(); ++i) {
            if (lines[i] == line)
                return static_cast<int>(i);
        }
        return -1;
    }

    static int FirstMainframeLine(const std::vector<std::string>& lines)
    {
        for (size_t i = 0; i < lines.size(); ++i) {
            if (lines[i].compare(0, 10, "mainframe ") == 0)
                return static_cast<int>(i);
        }
        return -1;
    }

    // What the fake main library recorded under key; "<none>" when it was not called.
    static std::string Seen(const std::vector<std::string>& lines, const std::string& key)
    {
        const std::string prefix = "mainframe " + key + "=";
        for (const std::string& line : lines) {
            if (line.compare(0, prefix.size(), prefix) == 0)
                return line.substr(prefix.size());
        }
        return "<none>";
    }

    static std::vector<std::string> UpdaterStarts(const std::vector<std::string>& lines)
    {
        std::vector<std::string> starts;
        for (const std::string& line : lines) {
            if (line.compare(0, 13, "update start ") == 0)
                starts.push_back(line.substr(13));
        }
        return starts;
    }

    std::wstring TracePath() const { return root + L"\\trace.log"; }

    std::wstring root;
};

class Launcher : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetVariable(L"TQ_UPDATE_VERDICT", "0");
        SetVariable(L"TQ_UPDATE_DELAY_MS", "0");
        SetVariable(L"TQ_FAKE_MAINFRAME_RESULT", kMainResult);
    }
};

} // namespace

TEST_F(Launcher, UpdaterVerdictsFollowTheExitCodeTable)
{
    const struct {
        int verdict;
        const char* followUp;  // nullptr: no second run
        bool followUpWaited;
        bool mainLibrary;
        int exitCode;
    } cases[] = {
        {1, "-normalupdate", true, true, 42},
        {2, "-forceupdate", false, false, 0},
        {3, "-silenceupdate", false, true, 42},
        {5, nullptr, false, false, 0},
        {0, "-checkserver", false, true, 42},
        {4, "-checkserver", false, true, 42},
        {7, "-checkserver", false, true, 42},
    };
    // Every updater run takes this long, so waiting and not waiting differ.
    SetVariable(L"TQ_UPDATE_DELAY_MS", "1500");
    for (const auto& c : cases) {
        SCOPED_TRACE("verdict " + std::to_string(c.verdict));
        Product product("verdict" + std::to_string(c.verdict));
        product.Updater("v2");
        product.Mainframe("v2");
        product.LauncherXml(VersionInfos("<VersionInfo No=\"2.5.0.1\" Path=\"v2\" Enable=\"1\" First=\"0\" Index=\"1\"/>\r\n"));
        SetVariable(L"TQ_UPDATE_VERDICT", std::to_string(c.verdict));

        EXPECT_EQ(c.exitCode, product.Run(""));
        std::vector<std::string> atExit = product.Trace();
        const std::string checkEnd = "update end -checkserver 2.5.0.1";
        const std::string followEnd = c.followUp ? std::string("update end ") + c.followUp + " 2.5.0.1" : "";
        if (c.followUp) {
            const size_t before = followEnd == checkEnd ? 1 : 0;
            EXPECT_EQ(before + (c.followUpWaited ? 1 : 0), Product::Count(atExit, followEnd));
            EXPECT_TRUE(product.WaitForLine(followEnd, before + 1));
        } else {
            Sleep(500);
        }
        std::vector<std::string> trace = product.Trace();

        std::vector<std::string> expected{"-checkserver 2.5.0.1"};
        if (c.followUp)
            expected.push_back(std::string(c.followUp) + " 2.5.0.1");
        EXPECT_EQ(expected, Product::UpdaterStarts(trace));
        // The updater runs in the prepared process state, loaded library or not.
        const std::string v2 = product.Dir("v2");
        EXPECT_LE(0, Product::IndexOf(trace, "update cwd=" + v2.substr(0, v2.size() - 1)));
        EXPECT_LE(0, Product::IndexOf(trace, "update root=" + v2));

        if (c.mainLibrary) {
            EXPECT_EQ("2.5.0.1", Product::Seen(trace, "version"));
            EXPECT_EQ(product.Dir("v2") + "mainframe.dll", Product::Seen(trace, "module"));
            EXPECT_LT(Product::IndexOf(trace, checkEnd), Product::FirstMainframeLine(trace));
            if (c.followUpWaited) {
                EXPECT_LT(Product::IndexOf(trace, followEnd), Product::FirstMainframeLine(trace));
            }
        } else {
            EXPECT_EQ(-1, Product::FirstMainframeLine(trace));
        }
    }
}

TEST_F(Launcher, RunAsSkipsTheUpdaterExactly)
{
    const struct {
        const char* arguments;
        std::vector<std::string> argv;  // after argv[0]
        bool updater;
    } cases[] = {
        {"-runas \"a b\" c", {"-runas", "a b", "c"}, false},
        {"-RUNAS", {"-RUNAS"}, true},
        {"x -runas", {"x", "-runas"}, true},
        {"", {}, true},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        Product product("runas" + std::to_string(n++));
        product.Updater("v1");
        product.Mainframe("v1");
        product.LauncherXml(VersionInfos("<VersionInfo No=\"1.1\" Path=\"v1\" Enable=\"1\" Index=\"0\"/>\r\n"));
        EXPECT_EQ(42, product.Run(c.arguments));
        if (c.updater) {
            EXPECT_TRUE(product.WaitForLine("update end -checkserver 1.1", 2));
        } else {
            Sleep(300);
        }
        std::vector<std::string> trace = product.Trace();
        EXPECT_EQ(c.updater ? 2u : 0u, Product::UpdaterStarts(trace).size());
        EXPECT_EQ(std::to_string(c.argv.size() + 1), Product::Seen(trace, "argc"));
        EXPECT_EQ(product.Dir("") + "TqSorva.exe", Product::Seen(trace, "argv0"));
        for (size_t i = 0; i < c.argv.size(); ++i)
            EXPECT_EQ(c.argv[i], Product::Seen(trace, "argv" + std::to_string(i + 1)));
    }
}

TEST_F(Launcher, VersionChoiceAndPreparedProcess)
{
    const char* const kShipped = "shipped";
    const struct {
        const char* name;
        const char* launcherXml;  // nullptr: no file; kShipped: the program's own
        std::vector<std::string> folders;
        const char* chosen;  // "" = the launcher's own folder
        const char* version;
    } cases[] = {
        {"highest", "<VersionInfo No=\"1\" Path=\"v1\" Enable=\"1\" Index=\"1\"/>"
                    "<VersionInfo No=\"3\" Path=\"v3\" Enable=\"1\" Index=\"3\"/>"
                    "<VersionInfo No=\"2\" Path=\"v2\" Enable=\"1\" Index=\"2\"/>",
         {"v1", "v2", "v3"}, "v3", "3"},
        {"tie", "<VersionInfo No=\"A\" Path=\"a\" Enable=\"1\" Index=\"2\"/><VersionInfo No=\"B\" Path=\"b\" Enable=\"1\" Index=\"2\"/>",
         {"a", "b"}, "a", "A"},
        {"noenable", "<VersionInfo No=\"A\" Path=\"a\" Index=\"5\"/><VersionInfo No=\"B\" Path=\"b\" Enable=\"1\" Index=\"1\"/>",
         {"a", "b"}, "b", "B"},
        {"disabled", "<VersionInfo No=\"A\" Path=\"a\" Enable=\"0\" Index=\"5\"/><VersionInfo No=\"B\" Path=\"b\" Enable=\"2\" Index=\"1\"/>",
         {"a", "b"}, "b", "B"},
        {"noindex", "<VersionInfo No=\"B\" Path=\"b\" Enable=\"1\" Index=\"-1\"/><VersionInfo No=\"A\" Path=\"a\" Enable=\"1\"/>",
         {"a", "b"}, "a", "A"},
        {"nofolder", "<VersionInfo No=\"X\" Path=\"x\" Enable=\"1\" Index=\"9\"/><VersionInfo No=\"A\" Path=\"a\" Enable=\"1\" Index=\"1\"/>",
         {"a"}, "a", "A"},
        {"nono", "<VersionInfo Path=\"a\" Enable=\"1\" Index=\"1\"/>", {"a"}, "a", "1.0.3.0"},
        {"nousable", "<VersionInfo No=\"A\" Path=\"a\" Enable=\"0\" Index=\"1\"/><VersionInfo No=\"X\" Path=\"x\" Enable=\"1\" Index=\"1\"/>"
                     "<VersionInfo No=\"C\" Path=\"c\" Enable=\"1\" Index=\"-2\"/>",
         {"a", "c"}, "", "1.0.3.0"},
        {"refused", "<VersionInfo No=\"U\" Path=\"..\\refused-outside\" Enable=\"1\" Index=\"9\"/>"
                    "<VersionInfo No=\"S\" Path=\"sub\\deep\" Enable=\"1\" Index=\"9\"/>"
                    "<VersionInfo No=\"F\" Path=\"sub/deep\" Enable=\"1\" Index=\"9\"/>"
                    "<VersionInfo No=\"D\" Path=\"C:\\windows\" Enable=\"1\" Index=\"9\"/>"
                    "<VersionInfo No=\"T\" Path=\".\" Enable=\"1\" Index=\"9\"/>"
                    "<VersionInfo No=\"E\" Path=\"\" Enable=\"1\" Index=\"9\"/>"
                    "<VersionInfo No=\"A\" Path=\"a\" Enable=\"1\" Index=\"1\"/>",
         {"a", "sub", "sub\\deep", "..\\refused-outside"}, "a", "A"},
        {"nofile", nullptr, {"a"}, "", "1.0.3.0"},
        {"illformed", "<VersionInfo No=\"A\" Path=\"a\" Enable=\"1\" Index=\"1\">", {"a"}, "", "1.0.3.0"},
        {"otherroot", "<Other><VersionInfo No=\"A\" Path=\"a\" Enable=\"1\" Index=\"1\"/></Other>",
         {"a"}, "", "1.0.3.0"},
        {kShipped, kShipped, {"1.0.3.0"}, "1.0.3.0", "1.0.3.0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Product product(c.name);
        for (const std::string& folder : c.folders)
            product.Mainframe(folder);
        product.Mainframe("");
        if (c.launcherXml == kShipped)
            product.LauncherXml(ReadBytes(BinDir() + L"Launcher.xml"));
        else if (c.launcherXml && std::string(c.launcherXml).compare(0, 12, "<VersionInfo") == 0)
            product.LauncherXml(VersionInfos(std::string(c.launcherXml) + "\r\n"));
        else if (c.launcherXml)
            product.LauncherXml(c.launcherXml);

        EXPECT_EQ(42, product.Run("-runas"));
        std::vector<std::string> trace = product.Trace();
        const std::string dir = product.Dir(c.chosen);
        EXPECT_EQ(dir + "mainframe.dll", Product::Seen(trace, "module"));
        EXPECT_EQ(c.version, Product::Seen(trace, "version"));
        EXPECT_EQ(dir, Product::Seen(trace, "root"));
        EXPECT_EQ(dir, Product::Seen(trace, "crtroot"));
        EXPECT_EQ(dir.substr(0, dir.size() - 1), Product::Seen(trace, "cwd"));
        EXPECT_EQ(dir, Product::Seen(trace, "dlldir"));
    }
}

TEST_F(Launcher, MissingUpdaterEndsWithoutTheMainLibrary)
{
    Product product("noupdater");
    product.Mainframe("v2");
    product.Updater("");  // beside the launcher, not in the version folder
    product.LauncherXml(VersionInfos("<VersionInfo No=\"2\" Path=\"v2\" Enable=\"1\" Index=\"1\"/>\r\n"));
    EXPECT_EQ(0, product.Run(""));
    Sleep(300);
    EXPECT_TRUE(product.Trace().empty());
}

TEST_F(Launcher, MissingMainLibraryEndsWithZero)
{
    Product product("nomainframe");
    product.Updater("v2");
    product.LauncherXml(VersionInfos("<VersionInfo No=\"2\" Path=\"v2\" Enable=\"1\" Index=\"1\"/>\r\n"));
    EXPECT_EQ(0, product.Run(""));
    EXPECT_TRUE(product.WaitForLine("update end -checkserver 2", 2));
    EXPECT_EQ(2u, Product::UpdaterStarts(product.Trace()).size());
    EXPECT_EQ(-1, Product::FirstMainframeLine(product.Trace()));
}

TEST_F(Launcher, UpdaterThatCannotStartStillEntersTheMainLibrary)
{
    Product product("badupdater");
    product.Mainframe("v2");
    WriteBytes(Widen(product.Dir("v2") + "update.exe"), "not a program");
    product.LauncherXml(VersionInfos("<VersionInfo No=\"2\" Path=\"v2\" Enable=\"1\" Index=\"1\"/>\r\n"));
    EXPECT_EQ(42, product.Run(""));
    std::vector<std::string> trace = product.Trace();
    EXPECT_TRUE(Product::UpdaterStarts(trace).empty());
    EXPECT_EQ("2", Product::Seen(trace, "version"));
}

TEST_F(Launcher, LongVersionReachesTheUpdaterWhole)
{
    const std::string version(1500, '7');
    Product product("longversion");
    product.Updater("v");
    product.LauncherXml(VersionInfos("<VersionInfo No=\"" + version + "\" Path=\"v\" Enable=\"1\" Index=\"1\"/>\r\n"));
    SetVariable(L"TQ_UPDATE_VERDICT", "5");
    EXPECT_EQ(0, product.Run(""));
    EXPECT_EQ(std::vector<std::string>{"-checkserver " + version}, Product::UpdaterStarts(product.Trace()));
}

TEST_F(Launcher, MainLibraryResultIsTheExitCode)
{
    Product product("result");
    product.Mainframe("");
    SetVariable(L"TQ_FAKE_MAINFRAME_RESULT", "-7");
    EXPECT_EQ(-7, product.Run("-runas"));
}

TEST(LauncherProgram, ManifestAsksForTheInvokersLevel)
{
    HMODULE exe = LoadLibraryExW((BinDir() + L"TqSorva.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(exe != nullptr);
    HRSRC resource = FindResourceW(exe, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    ASSERT_TRUE(resource != nullptr);
    const char* data = static_cast<const char*>(LockResource(LoadResource(exe, resource)));
    std::string manifest(data, SizeofResource(exe, resource));
    EXPECT_NE(std::string::npos, manifest.find("level=\"asInvoker\""));
    FreeLibrary(exe);
}
