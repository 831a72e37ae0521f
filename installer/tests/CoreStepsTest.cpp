// Install steps on their own: the effect list merge, the retargeting of
// pinned links and the statistics request.
#include "LoopbackHttpServer.h"  // Winsock before windows.h

#include "InstallerTestSupport.h"
#include "SorvaSetupCore.h"
#include "SystemUtils.h"
#include "XmlDocument.h"

#include <gtest/gtest.h>

#include <objbase.h>
#include <shlobj.h>

#include <ctime>
#include <map>

namespace {

const char kShippedList[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<aurae>\r\n<music>\r\n"
    "<file file_path=\"music\\a.mp3\" file_md5=\"new-a\" duration=\"10\" type=\"0\" user=\"0\" name=\"A new\"/>\r\n"
    "<file file_path=\"music\\shipped-only.mp3\" file_md5=\"s\" duration=\"3\" type=\"0\" user=\"0\" name=\"S\"/>\r\n"
    "</music>\r\n<animation>\r\n"
    "<file file_path=\"animation\\one.gif\" file_md5=\"1\" ico_path=\"animation\\one.png\" ico_md5=\"i1\" tip_path=\"t1\" type=\"1\" user=\"0\" name=\"One\"/>\r\n"
    "<file file_path=\"animation\\two.gif\" file_md5=\"2\" ico_path=\"animation\\two.png\" ico_md5=\"i2\" tip_path=\"t2\" type=\"1\" user=\"0\" name=\"Two\"/>\r\n"
    "</animation>\r\n</aurae>\r\n";

const char kUserList[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<aurae>\r\n<music>\r\n"
    "<file file_path=\"music\\a.mp3\" file_md5=\"old-a\" duration=\"9\" type=\"5\" user=\"1\" name=\"A old\"/>\r\n"
    "<file file_path=\"music\\mine.mp3\" file_md5=\"m\" duration=\"4\" type=\"0\" user=\"1\" name=\"Mine\"/>\r\n"
    "</music>\r\n<animation>\r\n"
    "<file file_path=\"animation\\gone.gif\" file_md5=\"g\" ico_path=\"\" ico_md5=\"\" tip_path=\"\" type=\"1\" user=\"1\" name=\"Gone\"/>\r\n"
    "</animation>\r\n</aurae>\r\n";

using Attributes = std::map<std::wstring, std::wstring>;

std::vector<Attributes> readSection(const std::wstring& path, const wchar_t* section, std::vector<const wchar_t*> keys)
{
    std::vector<Attributes> entries;
    CXmlDocument document;
    if (!document.Load(path) || !document.findElement(L"aurae") || !document.enterElement() ||
        !document.findElement(section) || !document.enterElement())
        return entries;
    while (document.findElement(L"file")) {
        Attributes attributes;
        for (const wchar_t* key : keys)
            attributes[key] = document.getAttribute(key);
        entries.push_back(attributes);
    }
    return entries;
}

class AuraeMerge : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_data = getAppDataDir() + L"\\aurae";
        deleteDirectory(m_data);
        m_core.setPath(m_folder.path());
        const std::wstring shipped = m_folder / L"1.0.3.0\\res\\aurae\\";
        createDirectories(shipped + L"music");
        createDirectories(shipped + L"animation");
        ASSERT_TRUE(writeFileBytes(shipped + L"auraelist.xml", kShippedList));
        ASSERT_TRUE(writeFileBytes(shipped + L"music\\a.mp3", "a"));
        ASSERT_TRUE(writeFileBytes(shipped + L"animation\\one.gif", "1"));
    }
    void TearDown() override { deleteDirectory(m_data); }

    TestFolder m_folder{L"aurae"};
    RecordingListener m_listener;
    SorvaSetupCore m_core{&m_listener};
    std::wstring m_data;
};

TEST_F(AuraeMerge, AFirstInstallStartsFromTheShippedListAndFolders)
{
    m_core.mergeAuraeList();
    EXPECT_EQ(readFileBytes(m_data + L"\\auraelist.xml"), kShippedList);
    EXPECT_EQ(readFileBytes(m_data + L"\\music\\a.mp3"), "a");
    EXPECT_EQ(readFileBytes(m_data + L"\\animation\\one.gif"), "1");
}

TEST_F(AuraeMerge, ARepeatInstallUpdatesKnownMusicAndReplacesAnimations)
{
    createDirectories(m_data);
    ASSERT_TRUE(writeFileBytes(m_data + L"\\auraelist.xml", kUserList));
    m_core.mergeAuraeList();

    const std::wstring list = m_data + L"\\auraelist.xml";
    auto music = readSection(list, L"music", {L"file_path", L"file_md5", L"duration", L"type", L"user", L"name"});
    ASSERT_EQ(music.size(), 2u);
    EXPECT_EQ(music[0], (Attributes{{L"file_path", L"music\\a.mp3"}, {L"file_md5", L"new-a"}, {L"duration", L"10"},
                                    {L"type", L"0"}, {L"user", L"0"}, {L"name", L"A new"}}));
    EXPECT_EQ(music[1][L"file_path"], L"music\\mine.mp3");
    EXPECT_EQ(music[1][L"name"], L"Mine");

    auto animations = readSection(list, L"animation", {L"file_path", L"file_md5", L"ico_path", L"ico_md5", L"tip_path",
                                                       L"type", L"user", L"name"});
    ASSERT_EQ(animations.size(), 2u);
    EXPECT_EQ(animations[0], (Attributes{{L"file_path", L"animation\\one.gif"}, {L"file_md5", L"1"},
                                         {L"ico_path", L"animation\\one.png"}, {L"ico_md5", L"i1"}, {L"tip_path", L"t1"},
                                         {L"type", L"1"}, {L"user", L"0"}, {L"name", L"One"}}));
    EXPECT_EQ(animations[1][L"name"], L"Two");
    // The music folder is not copied over the user's; the animations are.
    EXPECT_FALSE(fileExists(m_data + L"\\music\\a.mp3"));
    EXPECT_EQ(readFileBytes(m_data + L"\\animation\\one.gif"), "1");
}

struct Com {
    Com() { CoInitialize(nullptr); }
    ~Com() { CoUninitialize(); }
};

bool makeLink(const std::wstring& link, const std::wstring& target)
{
    IShellLinkW* shellLink = nullptr;
    IPersistFile* file = nullptr;
    bool ok = SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                         reinterpret_cast<void**>(&shellLink))) &&
              SUCCEEDED(shellLink->SetPath(target.c_str())) &&
              SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
              SUCCEEDED(file->Save(link.c_str(), TRUE));
    if (file)
        file->Release();
    if (shellLink)
        shellLink->Release();
    return ok;
}

std::wstring linkTarget(const std::wstring& link, std::wstring* folder = nullptr)
{
    IShellLinkW* shellLink = nullptr;
    IPersistFile* file = nullptr;
    wchar_t target[MAX_PATH] = {}, work[MAX_PATH] = {};
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void**>(&shellLink))) &&
        SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
        SUCCEEDED(file->Load(link.c_str(), STGM_READ))) {
        shellLink->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH);
        shellLink->GetWorkingDirectory(work, MAX_PATH);
    }
    if (file)
        file->Release();
    if (shellLink)
        shellLink->Release();
    if (folder)
        *folder = work;
    return target;
}

TEST(PinnedLinks, OnlyLinksIntoTheInstallFolderAreRetargeted)
{
    Com com;
    TestFolder folder(L"pinned");
    const std::wstring install = folder / L"TqSorva\\";
    const std::wstring other = folder / L"Other\\";
    createDirectories(install);
    createDirectories(other);
    for (const std::wstring& file : {install + L"tqlauncher.exe", other + L"tqlauncher.exe", install + L"tqsorva.exe"})
        ASSERT_TRUE(writeFileBytes(file, "MZ"));
    const std::wstring quick = environmentValue(L"APPDATA") + L"\\Microsoft\\Internet Explorer\\Quick Launch";
    const std::wstring taskbar = quick + L"\\User Pinned\\TaskBar";
    createDirectories(taskbar);
    const std::wstring ours = taskbar + L"\\TqNelu pinned.lnk";
    const std::wstring theirs = taskbar + L"\\Other pinned.lnk";
    const std::wstring quickOurs = quick + L"\\TqNelu quick.lnk";
    ASSERT_TRUE(makeLink(ours, install + L"tqlauncher.exe"));
    ASSERT_TRUE(makeLink(theirs, other + L"tqlauncher.exe"));
    ASSERT_TRUE(makeLink(quickOurs, install + L"TqSorva.exe"));

    RecordingListener listener;
    SorvaSetupCore core(&listener);
    core.setPath(install);
    core._fixPinnedShortcuts();

    std::wstring work;
    EXPECT_EQ(_wcsicmp(linkTarget(ours, &work).c_str(), (install + L"tqsorva.exe").c_str()), 0);
    EXPECT_EQ(work, core.getPath(3));
    EXPECT_EQ(_wcsicmp(linkTarget(quickOurs).c_str(), (install + L"tqsorva.exe").c_str()), 0);
    EXPECT_EQ(_wcsicmp(linkTarget(theirs).c_str(), (other + L"tqlauncher.exe").c_str()), 0);
    for (const std::wstring& link : {ours, theirs, quickOurs})
        DeleteFileW(link.c_str());
}

} // namespace

namespace {

TEST(MachineId, WrittenOnlyWhenMissingWithTheTimeInSeconds)
{
    const std::wstring ini = setupIniPath();
    const std::string saved = readFileBytes(ini);
    DeleteFileW(ini.c_str());

    const long long before = static_cast<long long>(_time64(nullptr));
    SorvaSetupCore::writeMachineIdIfMissing();
    const long long after = static_cast<long long>(_time64(nullptr));
    const std::string id = readMacIdFromSetupIni();
    const std::string adapter = getMacId();
    ASSERT_EQ(id.compare(0, adapter.size(), adapter), 0) << id;
    const long long seconds = std::stoll(id.substr(adapter.size()));
    EXPECT_GE(seconds, before);
    EXPECT_LE(seconds, after);
    EXPECT_NE(readFileBytes(ini).find("RaVerePluginInstalled=1\r\n"), std::string::npos);

    SorvaSetupCore::writeMachineIdIfMissing();
    EXPECT_EQ(readMacIdFromSetupIni(), id);

    DeleteFileW(ini.c_str());
    if (!saved.empty())
        writeFileBytes(ini, saved);
}

TEST(Statistics, MachineIdTravelsEscaped)
{
    const std::wstring ini = setupIniPath();
    const std::string saved = readFileBytes(ini);
    LoopbackHttpServer server;
    ASSERT_TRUE(server.start([](const LoopbackRequest&, size_t) { return LoopbackResponse::ok("ok"); }));
    SetEnvironmentVariableW(L"TQ_SERVICE_URL", server.url("").c_str());
    struct Case {
        const char* id;
        const char* sent;
    };
    // setup.ini is the user's file: whatever another program put there stays one query value.
    const Case cases[] = {
        {"00AABBCCDDEEFF1765432100", "00AABBCCDDEEFF1765432100"},
        {"01&installed#x y", "01%26installed%23x%20y"},
        {"01/../admin?q+1%", "01%2F..%2Fadmin%3Fq%2B1%25"},
        {"", ""},
    };
    RecordingListener listener;
    SorvaSetupCore core(&listener);
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        const Case& c = cases[i];
        DeleteFileW(ini.c_str());
        if (*c.id)
            writeSetupIni("macId", c.id);
        core.sendInstallStastics();
        ASSERT_TRUE(server.waitForRequests(i + 1, 30000)) << c.id;
        EXPECT_EQ(server.requests().at(i).target,
                  std::string("/TqSorvaInstall.php?mac=") + c.sent + "&version=1.0.3.0&installed=1")
            << c.id;
    }
    server.stop();
    SetEnvironmentVariableW(L"TQ_SERVICE_URL", nullptr);
    DeleteFileW(ini.c_str());
    if (!saved.empty())
        writeFileBytes(ini, saved);
}

} // namespace

#include "ServiceAddress.h"

#include <tlhelp32.h>

namespace {

class ServiceVariable {
public:
    explicit ServiceVariable(const std::wstring& value)
    {
        wchar_t saved[1024];
        DWORD n = GetEnvironmentVariableW(L"TQ_SERVICE_URL", saved, 1024);
        m_had = n > 0 && n < 1024;
        if (m_had)
            m_saved.assign(saved, n);
        SetEnvironmentVariableW(L"TQ_SERVICE_URL", value.empty() ? nullptr : value.c_str());
    }
    ~ServiceVariable() { SetEnvironmentVariableW(L"TQ_SERVICE_URL", m_had ? m_saved.c_str() : nullptr); }

private:
    bool m_had;
    std::wstring m_saved;
};

TEST(ServiceAddress, OnlyWebAddressesAreTakenFromTheEnvironment)
{
    struct Case { const wchar_t* variable; const wchar_t* base; };
    const Case cases[] = {
        {L"http://127.0.0.1:8080/", L"http://127.0.0.1:8080"},
        {L"https://service.example.com/base//", L"https://service.example.com/base"},
        {L"HTTP://127.0.0.1", L"HTTP://127.0.0.1"},
        {L"http://[::1]:81", L"http://[::1]:81"},
        {L"", L""},
        {L"C:\\plant", L""},
        {L"\\\\server\\share\\plant", L""},
        {L"file:///C:/plant", L""},
        {L"calc.exe", L""},
        {L"ftp://example.com", L""},
        {L"javascript:alert(1)", L""},
        {L"http://", L""},
        {L"http:///C:/plant", L""},
        {L"http://user@example.com", L""},
        {L"http://exa mple.com", L""},
        {L"http://example.com/\" -x", L""},
        {L"http://example.com/a\\b", L""},
        {L"http:\\\\example.com", L""},
    };
    for (const Case& c : cases) {
        ServiceVariable variable(c.variable);
        EXPECT_EQ(serviceBaseUrl(), c.base) << std::string(c.variable, c.variable + wcslen(c.variable));
    }
}

// Waits for every running process started from program, then tells whether
// marker was written: a started program writes it before it ends.
bool programRan(const std::wstring& program, const std::wstring& marker)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    const std::wstring name = program.substr(program.find_last_of(L'\\') + 1);
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (_wcsicmp(entry.szExeFile, name.c_str()) != 0)
            continue;
        if (HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, entry.th32ProcessID)) {
            WaitForSingleObject(process, INFINITE);
            CloseHandle(process);
        }
    }
    CloseHandle(snapshot);
    return fileExists(marker);
}

TEST(ServiceAddress, TheFullInstallerLinkOpensNoProgram)
{
    // A service address that is a folder holding a program at the place of
    // the full installer's download: the shell would start it with our rights.
    TestFolder folder(L"full_installer");
    const std::wstring program = folder / L"tqsorva\\install\\1.0.3.0\\TqSorvaSetupFull1.0.3.0.exe";
    ASSERT_TRUE(createDirectories(folder / L"tqsorva\\install\\1.0.3.0"));
    wchar_t self[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring bin(self, n);
    bin.resize(bin.find_last_of(L'\\') + 1);
    ASSERT_TRUE(CopyFileW((bin + L"tqwizard.exe").c_str(), program.c_str(), FALSE));
    const std::wstring marker = folder / L"ran.log";
    SetEnvironmentVariableW(L"TQ_TALLYO_LOG", marker.c_str());

    const std::wstring base = folder.path().substr(0, folder.path().size() - 1);
    for (const std::wstring& address : {base, L"file:///" + base}) {
        ServiceVariable variable(address);
        RecordingListener listener;
        SorvaSetupCore core(&listener);
        core.openFullInstaller();
        EXPECT_FALSE(programRan(program, marker)) << std::string(address.begin(), address.end());
    }
    SetEnvironmentVariableW(L"TQ_TALLYO_LOG", nullptr);
}

TEST(Registration, AFilterRegsvr32CannotRegisterIsAFailedRegistration)
{
    struct Case { const char* filter; };  // nullptr: no filter at all
    const Case cases[] = {{"not a library"}, {nullptr}};
    for (const Case& c : cases) {
        TestFolder folder(L"registration");
        ASSERT_TRUE(createDirectories(folder / L"Stable"));
        if (c.filter)
            ASSERT_TRUE(writeFileBytes(folder / L"Stable\\TqVirtualCam.ax", c.filter));
        RecordingListener listener;
        SorvaSetupCore core(&listener);
        core.setPath(folder.path());
        EXPECT_FALSE(core.RegsvrAxCom()) << (c.filter ? c.filter : "(none)");
    }
}

} // namespace
