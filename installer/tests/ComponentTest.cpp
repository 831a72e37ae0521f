// The per-user component update against a loopback server: the list decides
// whether the archive is fetched; failed, cut or foreign downloads fail the
// update and leave no archive behind.
#include "LoopbackHttpServer.h"
#include "InstallerTestSupport.h"
#include "Md5.h"
#include "SorvaSetupDecompressor.h"
#include "SystemUtils.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

std::string componentArchive() { return readFileBytes(fixturePath(L"component.7z")); }

class ComponentUpdate : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_folder = getAppDataDir() + L"\\component\\";
        deleteDirectory(m_folder.substr(0, m_folder.size() - 1));
    }
    void TearDown() override
    {
        m_server.reset();
        SetEnvironmentVariableW(L"TQ_SERVICE_URL", nullptr);
        deleteDirectory(m_folder.substr(0, m_folder.size() - 1));
    }

    // Serves the list and the archive answers the case gives.
    void serve(LoopbackResponse list, LoopbackResponse archive)
    {
        m_server.reset(new LoopbackHttpServer());
        ASSERT_TRUE(m_server->start([list, archive](const LoopbackRequest& request, size_t) {
            if (request.target == "/tqsorva/component/component.xml")
                return list;
            if (request.target == "/tqsorva/component/component.7z")
                return archive;
            return LoopbackResponse::statusOnly(404, "Not Found");
        }));
        std::wstring base = m_server->url("");
        SetEnvironmentVariableW(L"TQ_SERVICE_URL", base.c_str());
    }

    std::vector<std::string> targets()
    {
        std::vector<std::string> all;
        for (const LoopbackRequest& request : m_server->requests())
            all.push_back(request.target);
        return all;
    }

    std::unique_ptr<LoopbackHttpServer> m_server;
    std::wstring m_folder;
};

const std::vector<std::string> kListOnly = {"/tqsorva/component/component.xml"};
const std::vector<std::string> kListAndArchive = {"/tqsorva/component/component.xml",
                                                  "/tqsorva/component/component.7z"};

TEST_F(ComponentUpdate, AnUnreadableListMeansNoDownload)
{
    serve(LoopbackResponse::ok("this is not a component list <<<"), LoopbackResponse::ok(componentArchive()));
    SorvaSetupDecompressor decompressor;
    EXPECT_TRUE(decompressor._downloadcomp());
    EXPECT_EQ(targets(), kListOnly);
}

TEST_F(ComponentUpdate, AChangedFileFetchesAndUnpacksTheArchive)
{
    createDirectories(m_folder);
    ASSERT_TRUE(writeFileBytes(m_folder + L"comp.txt", "an older component"));
    serve(LoopbackResponse::ok("<files><file name=\"comp.txt\" md5=\"" + md5Hex("component one", 13) +
                               "\"/></files>"),
          LoopbackResponse::ok(componentArchive()));
    SorvaSetupDecompressor decompressor;
    RecordingListener listener;
    decompressor.setListener(&listener);
    EXPECT_TRUE(decompressor._downloadcomp());
    EXPECT_EQ(targets(), kListAndArchive);
    EXPECT_EQ(readFileBytes(m_folder + L"comp.txt"), "component one");
    EXPECT_EQ(readFileBytes(m_folder + L"c2.txt"), "component two");
    EXPECT_FALSE(fileExists(m_folder + L"component.7z"));
    ASSERT_FALSE(listener.texts.empty());
    EXPECT_EQ(listener.texts.front(), L"正在验证组件信息，请稍等...");
}

TEST_F(ComponentUpdate, MatchingFilesNeedNoDownloadAndUnsafeNamesAreNeverOpened)
{
    createDirectories(m_folder);
    ASSERT_TRUE(writeFileBytes(m_folder + L"comp.txt", "component one"));
    const std::string md5 = md5Hex("component one", 13);
    serve(LoopbackResponse::ok("<files><file name=\"comp.txt\" md5=\"" + md5 +
                               "\"/><file name=\"..\\..\\..\\canary.txt\" md5=\"1\"/>"
                               "<file name=\"C:\\windows\\win.ini\" md5=\"2\"/></files>"),
          LoopbackResponse::ok(componentArchive()));
    SorvaSetupDecompressor decompressor;
    EXPECT_TRUE(decompressor._downloadcomp());
    EXPECT_EQ(targets(), kListOnly);
}

TEST_F(ComponentUpdate, FailedDownloadsFailTheUpdate)
{
    const std::string archive = componentArchive();
    LoopbackResponse cut = LoopbackResponse::ok(archive);
    cut.closeAfterBodyBytes = static_cast<int64_t>(archive.size() / 2);
    struct Case { const char* what; LoopbackResponse answer; };
    const Case cases[] = {
        {"404", LoopbackResponse::statusOnly(404, "Not Found")},
        {"cut body", cut},
        {"not a 7z", LoopbackResponse::ok("hello, this is no archive")},
        {"entries routed out of the folder", LoopbackResponse::ok(readFileBytes(fixturePath(L"compbad.7z")))},
    };
    const std::wstring tempX = environmentValue(L"TEMP") + L"\\x";
    DeleteFileW(tempX.c_str());
    for (const Case& c : cases) {
        serve(LoopbackResponse::statusOnly(500, "Server Error"), c.answer);
        SorvaSetupDecompressor decompressor;
        EXPECT_FALSE(decompressor._downloadcomp()) << c.what;
        EXPECT_EQ(targets(), kListAndArchive) << c.what;
        EXPECT_FALSE(fileExists(m_folder + L"component.7z")) << c.what;
        EXPECT_FALSE(fileExists(tempX)) << c.what;
        // The routed-out entry comes after "comp.txt": every name is checked
        // before the first write, so nothing of the archive is written.
        EXPECT_FALSE(fileExists(m_folder + L"comp.txt")) << c.what;
    }
}

// Each case plants files around the component folder; whatever the server
// sends, they keep their contents.
TEST_F(ComponentUpdate, ArchivesBeyondTheListOrTheLimitsAreNotKept)
{
    const std::string archive = componentArchive();
    const std::string one = md5Hex("component one", 13);
    const std::string two = md5Hex("component two", 13);
    LoopbackResponse withoutLength = LoopbackResponse::ok(archive);
    withoutLength.sendContentLength = false;
    struct Case {
        const char* what;
        std::string list;
        LoopbackResponse answer;
        unsigned long long maxDownload, maxUnpacked;
        bool succeeds;
        const char* compTxt;  // expected contents; nullptr: absent
        bool c2Txt;
    };
    const unsigned long long big = SorvaSetupDecompressor::kMaxDownloadBytes;
    const unsigned long long bigUnpacked = SorvaSetupDecompressor::kMaxUnpackedBytes;
    const std::string bothMatch = "<files><file name=\"comp.txt\" md5=\"" + one +
                                  "\"/><file name=\"c2.txt\" md5=\"" + two + "\"/></files>";
    const Case cases[] = {
        {"both files match the list", bothMatch, LoopbackResponse::ok(archive), big, bigUnpacked, true,
         "component one", true},
        {"a file that differs from the list is removed",
         "<files><file name=\"comp.txt\" md5=\"" + one +
             "\"/><file name=\"c2.txt\" md5=\"0123456789abcdef0123456789abcdef\"/></files>",
         LoopbackResponse::ok(archive), big, bigUnpacked, false, "component one", false},
        {"a listed file the archive lacks",
         bothMatch.substr(0, bothMatch.size() - 8) + "<file name=\"sub/c3.txt\" md5=\"" + one + "\"/></files>",
         LoopbackResponse::ok(archive), big, bigUnpacked, false, "component one", true},
        {"announced length above the cap", bothMatch, LoopbackResponse::ok(archive), archive.size() - 1, bigUnpacked,
         false, nullptr, false},
        {"no length, body above the cap", bothMatch, withoutLength, archive.size() - 1, bigUnpacked, false, nullptr,
         false},
        {"unpacks to more than allowed", bothMatch, LoopbackResponse::ok(archive), big, 25, false, nullptr, false},
        // Its first block is harmless; the second announces more than the disk holds.
        {"announces more than the free space", bothMatch,
         LoopbackResponse::ok(readFileBytes(fixturePath(L"comphuge.7z"))), big, ~0ull, false, nullptr, false},
    };
    const std::wstring data = getAppDataDir();
    const std::vector<std::wstring> canaries = {data + L"\\component_canary.txt", m_folder + L"user.txt",
                                                m_folder + L"sub\\user.txt"};
    for (const Case& c : cases) {
        deleteDirectory(m_folder.substr(0, m_folder.size() - 1));
        createDirectories(m_folder + L"sub");
        for (const std::wstring& canary : canaries)
            ASSERT_TRUE(writeFileBytes(canary, "canary " + std::string(canary.begin(), canary.end())));
        serve(LoopbackResponse::ok(c.list), c.answer);
        SorvaSetupDecompressor decompressor;
        decompressor.setComponentLimits(c.maxDownload, c.maxUnpacked);
        EXPECT_EQ(c.succeeds, decompressor._downloadcomp()) << c.what;
        EXPECT_EQ(targets(), kListAndArchive) << c.what;
        if (c.compTxt)
            EXPECT_EQ(readFileBytes(m_folder + L"comp.txt"), c.compTxt) << c.what;
        else
            EXPECT_FALSE(fileExists(m_folder + L"comp.txt")) << c.what;
        EXPECT_EQ(c.c2Txt, fileExists(m_folder + L"c2.txt")) << c.what;
        EXPECT_FALSE(fileExists(m_folder + L"component.7z")) << c.what;
        for (const std::wstring& canary : canaries)
            EXPECT_EQ(readFileBytes(canary), "canary " + std::string(canary.begin(), canary.end())) << c.what;
    }
    DeleteFileW(canaries[0].c_str());
}

TEST(ComponentVerify, FilesBehindLinksAreNeverRemoved)
{
    // Made by the test's fixture step: link_extract\a.txt -> link_canary\keep.txt
    // and link_extract\sub -> link_canary.
    wchar_t full[MAX_PATH];
    const std::wstring root(full, GetFullPathNameW(L"link_extract", MAX_PATH, full, nullptr));
    const std::wstring canary(full, GetFullPathNameW(L"link_canary\\keep.txt", MAX_PATH, full, nullptr));
    ASSERT_EQ(readFileBytes(canary), "keep\n");
    const std::vector<SorvaSetupDecompressor::ComponentFile> list = {
        {L"sub\\keep.txt", L"0123456789abcdef0123456789abcdef"},
        {L"a.txt", L"0123456789abcdef0123456789abcdef"},
    };
    EXPECT_FALSE(SorvaSetupDecompressor::_verifyComponents(root, list));
    EXPECT_EQ(readFileBytes(canary), "keep\n");
    EXPECT_EQ(readFileBytes(root + L"\\a.txt"), "keep\n");
}

// A listed file counts as up to date only when it reads whole and its digest
// is the listed one: an empty or foreign digest, a folder or a file nobody
// may read never passes, and a file that differs is removed.
TEST(ComponentVerify, OnlyReadableFilesWithTheListedDigestPass)
{
    wchar_t full[MAX_PATH];
    const std::wstring root(full, GetFullPathNameW(L"verify_root", MAX_PATH, full, nullptr));
    deleteDirectory(root);
    createDirectories(root + L"\\folder");
    const std::wstring canary = root + L"_canary.txt";
    ASSERT_TRUE(writeFileBytes(canary, "canary"));
    const std::string one = md5Hex("component one", 13);
    const std::wstring oneW(one.begin(), one.end());
    std::wstring upper = oneW;
    for (wchar_t& c : upper)
        c = static_cast<wchar_t>(towupper(c));
    struct Case {
        const char* what;
        const wchar_t* name;
        std::wstring md5;
        bool locked;
        bool passes;
        bool kept;
    };
    const Case cases[] = {
        {"matching digest", L"comp.txt", oneW, false, true, true},
        {"matching digest in capitals", L"comp.txt", upper, false, true, true},
        {"empty file, digest of no data", L"empty.txt", L"d41d8cd98f00b204e9800998ecf8427e", false, true, true},
        {"other digest", L"comp.txt", L"0123456789abcdef0123456789abcdef", false, false, false},
        {"empty digest", L"comp.txt", L"", false, false, false},
        {"a folder, empty digest", L"folder", L"", false, false, true},
        {"locked file, empty digest", L"comp.txt", L"", true, false, true},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(writeFileBytes(root + L"\\comp.txt", "component one")) << c.what;
        ASSERT_TRUE(writeFileBytes(root + L"\\empty.txt", "")) << c.what;
        const std::wstring path = root + L"\\" + c.name;
        HANDLE lock = c.locked ? CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)
                               : INVALID_HANDLE_VALUE;
        if (c.locked)
            ASSERT_NE(INVALID_HANDLE_VALUE, lock) << c.what;
        EXPECT_EQ(c.passes, SorvaSetupDecompressor::_verifyComponents(root, {{c.name, c.md5}})) << c.what;
        if (lock != INVALID_HANDLE_VALUE)
            CloseHandle(lock);
        EXPECT_EQ(c.kept, fileExists(path)) << c.what;
        EXPECT_EQ(readFileBytes(canary), "canary") << c.what;
    }
    deleteDirectory(root);
    DeleteFileW(canary.c_str());
}

TEST_F(ComponentUpdate, WithoutAServiceAddressNothingIsRequested)
{
    SetEnvironmentVariableW(L"TQ_SERVICE_URL", nullptr);
    SorvaSetupDecompressor decompressor;
    EXPECT_TRUE(decompressor._downloadcomp());
}

} // namespace
