// The running product and the install: the real launcher with the stand-in
// main window runs from a test install folder; the decompressor finds it
// only there, asks it to quit by message 33369, ends one that ignores the
// request, and after a cancel writes nothing.
#include "InstallerTestSupport.h"
#include "SetupLog.h"
#include "SorvaSetupDecompressor.h"
#include "SystemUtils.h"

#include <gtest/gtest.h>

namespace {

const wchar_t kMainFrameClass[] = L"BRENLO SPEAK MAIN FRAME | 4D1BB563-E5FC-4771-AD17-6442A4147044";

std::wstring binFolder()
{
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p(path, n);
    return p.substr(0, p.find_last_of(L'\\') + 1);
}

// A product folder as the installer lays it out.
void layOutProduct(const std::wstring& folder)
{
    const std::wstring bin = binFolder();
    createDirectories(folder + L"1.0.3.0");
    ASSERT_TRUE(CopyFileW((bin + L"TqSorva.exe").c_str(), (folder + L"TqSorva.exe").c_str(), FALSE));
    ASSERT_TRUE(CopyFileW((bin + L"Launcher.xml").c_str(), (folder + L"Launcher.xml").c_str(), FALSE));
    for (const wchar_t* name : {L"mainframe.dll", L"lumeo.dll", L"update.exe", L"kqlog.dll", L"Sonvex.dll"})
        ASSERT_TRUE(CopyFileW((bin + name).c_str(), (folder + L"1.0.3.0\\" + name).c_str(), FALSE)) << name;
}

class RunningProduct {
public:
    RunningProduct(const std::wstring& folder, const wchar_t* switches)
    {
        std::wstring line = L"\"" + folder + L"TqSorva.exe\" -nobackground -seconds 120 " + switches;
        // The stand-in main window reports on its standard output.
        m_outputPath = folder + L"product.out";
        SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
        HANDLE output = CreateFileW(m_outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    &inherit, CREATE_ALWAYS, 0, nullptr);
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = output;
        startup.hStdError = output;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        std::vector<wchar_t> buffer(line.begin(), line.end());
        buffer.push_back(0);
        m_started = CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, TRUE, 0, nullptr, folder.c_str(),
                                   &startup, &m_process) != 0;
        CloseHandle(output);
    }
    std::string output() const { return readFileBytes(m_outputPath); }
    ~RunningProduct()
    {
        if (!m_started)
            return;
        if (WaitForSingleObject(m_process.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(m_process.hProcess, 1);
            WaitForSingleObject(m_process.hProcess, 30000);
        }
        CloseHandle(m_process.hThread);
        CloseHandle(m_process.hProcess);
    }
    // Until its main window exists and its engine runs (the product is up),
    // within a generous bound.
    bool waitForWindow()
    {
        for (int i = 0; i < 1200 && m_started; ++i) {
            if (findProcessWindow(m_process.dwProcessId, kMainFrameClass) &&
                output().find("mainframe: engine running") != std::string::npos)
                return true;
            if (WaitForSingleObject(m_process.hProcess, 50) == WAIT_OBJECT_0)
                return false;
        }
        return false;
    }
    bool ended() const { return WaitForSingleObject(m_process.hProcess, 0) == WAIT_OBJECT_0; }
    DWORD pid() const { return m_process.dwProcessId; }

private:
    PROCESS_INFORMATION m_process = {};
    bool m_started = false;
    std::wstring m_outputPath;
};

size_t countInLog(const std::wstring& text)
{
    std::string bytes = readFileBytes(setupLog().filePath());
    std::wstring log(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
    size_t count = 0;
    for (size_t at = log.find(text); at != std::wstring::npos; at = log.find(text, at + 1))
        ++count;
    return count;
}

TEST(RunningProduct, FoundOnlyInTheInstallFolderAndEndedByItsQuitMessage)
{
    TestFolder folder(L"running_quit");
    layOutProduct(folder.path());
    RunningProduct product(folder.path(), L"");
    ASSERT_TRUE(product.waitForWindow());

    SorvaSetupDecompressor elsewhere;
    elsewhere.setPath(folder / L"Other");
    DWORD pid = 0;
    EXPECT_FALSE(elsewhere._isTqRunning(pid));

    SorvaSetupDecompressor decompressor;
    decompressor.setPath(folder.path());
    ASSERT_TRUE(decompressor._isTqRunning(pid));
    EXPECT_EQ(pid, product.pid());
    decompressor._quitTq(pid);
    EXPECT_TRUE(product.ended());
    EXPECT_FALSE(decompressor._isTqRunning(pid));
    const std::string output = product.output();
    EXPECT_NE(output.find("mainframe: quit request\r\n"), std::string::npos) << output;
}

TEST(RunningProduct, OneIgnoringTheRequestIsTerminated)
{
    TestFolder folder(L"running_ignore");
    layOutProduct(folder.path());
    RunningProduct product(folder.path(), L"-ignorequit");
    ASSERT_TRUE(product.waitForWindow());
    SorvaSetupDecompressor decompressor;
    decompressor.setPath(folder.path());
    DWORD pid = 0;
    ASSERT_TRUE(decompressor._isTqRunning(pid));
    const size_t terminations = countInLog(L"will terminate process");
    decompressor._quitTq(pid);
    EXPECT_TRUE(product.ended());
    EXPECT_EQ(countInLog(L"will terminate process"), terminations + 1);
    EXPECT_NE(product.output().find("mainframe: quit request ignored"), std::string::npos);
}

TEST(RunningProduct, TheWorkerWaitsForTheAnswerAndGoesOnOnceTheProductEnded)
{
    TestFolder folder(L"running_worker");
    layOutProduct(folder.path());
    RunningProduct product(folder.path(), L"-ignorequit");
    ASSERT_TRUE(product.waitForWindow());

    RecordingListener listener;
    SorvaSetupDecompressor decompressor(&listener);
    decompressor.setPath(folder.path());
    decompressor.setSilent(true);  // no cleanup, no component update
    ASSERT_TRUE(decompressor.start(true));
    for (int i = 0; i < 600 && listener.events().empty(); ++i)
        Sleep(50);
    ASSERT_EQ(listener.events(), std::vector<std::wstring>{L"running"});
    EXPECT_FALSE(product.ended());
    decompressor.forceQuit();
    decompressor.join();
    EXPECT_TRUE(product.ended());
    // This test program carries no payload: the extraction after it fails.
    EXPECT_EQ(listener.events(), (std::vector<std::wstring>{L"running", L"finish 1"}));
}

TEST(RunningProduct, CancellingTheWaitReportsNothingAndWritesNothing)
{
    TestFolder folder(L"running_cancel");
    layOutProduct(folder.path());
    RunningProduct product(folder.path(), L"");
    ASSERT_TRUE(product.waitForWindow());

    RecordingListener listener;
    SorvaSetupDecompressor decompressor(&listener);
    decompressor.setPath(folder.path());
    ASSERT_TRUE(decompressor.start(true));
    for (int i = 0; i < 600 && listener.events().empty(); ++i)
        Sleep(50);
    ASSERT_EQ(listener.events(), std::vector<std::wstring>{L"running"});
    decompressor.stop();
    EXPECT_EQ(listener.events(), std::vector<std::wstring>{L"running"});
    EXPECT_FALSE(product.ended());
    EXPECT_TRUE(fileExists(folder / L"1.0.3.0\\mainframe.dll")) << "no cleanup ran";
}

} // namespace
