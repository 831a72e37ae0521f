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
    serve(LoopbackResponse::ok("<files><file name=\"comp.txt\" md5=\"00000000000000000000000000000000\"/></files>"),
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
    }
}

TEST_F(ComponentUpdate, WithoutAServiceAddressNothingIsRequested)
{
    SetEnvironmentVariableW(L"TQ_SERVICE_URL", nullptr);
    SorvaSetupDecompressor decompressor;
    EXPECT_TRUE(decompressor._downloadcomp());
}

} // namespace
