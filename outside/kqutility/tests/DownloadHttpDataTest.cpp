// The download service stand-in against the scripted loopback server: files
// land whole or not at all, reports come on the object's own thread, and an
// owner that lets go hears nothing more.
#include "KqUtilityDownload.h"
#include "LoopbackHttpServer.h"

#include <gtest/gtest.h>

#include "testing/SlotCall.h"

#include <condition_variable>
#include <fstream>
#include <mutex>
#include <sstream>

namespace {

using KqUtility::http::IDownloadDataCallback;
using KqUtility::http::IDownloadHttpData;

class Reports : public IDownloadDataCallback {
public:
    struct Report {
        std::wstring url, savePath;
        int third;
        bool ok;
        DWORD thread;
    };
    void OnDownload2FileAsyn(const wchar_t* url, const wchar_t* savePath, int third, bool ok) override
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_reports.push_back({url, savePath, third, ok, GetCurrentThreadId()});
        m_changed.notify_all();
    }
    void OnDownload2MemoryAsyn(const wchar_t*, const uint8_t*, uint32_t, bool) override {}

    bool waitFor(size_t count, DWORD ms = 60000)
    {
        std::unique_lock<std::mutex> hold(m_lock);
        return m_changed.wait_for(hold, std::chrono::milliseconds(ms), [&] { return m_reports.size() >= count; });
    }
    std::vector<Report> reports()
    {
        std::lock_guard<std::mutex> hold(m_lock);
        return m_reports;
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<Report> m_reports;
};

std::wstring tempPath(const wchar_t* name)
{
    wchar_t base[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, base);
    return std::wstring(base) + L"kqutility_" + std::to_wstring(GetCurrentProcessId()) + L"_" + name;
}

std::string readFile(const std::wstring& path)
{
    std::ifstream in(path.c_str(), std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}

bool exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// 10 MiB in small pieces with pauses: still arriving when the test acts.
LoopbackResponse SlowLargeBody(const LoopbackRequest&, size_t)
{
    LoopbackResponse slow = LoopbackResponse::generated(10u << 20);
    slow.piece = 16384;
    slow.pauseMs = 20;
    return slow;
}

class KqUtilityDownloadTest : public ::testing::Test {
protected:
    void TearDown() override { server.stop(); }
    LoopbackHttpServer server;
    Reports reports;
};

TEST_F(KqUtilityDownloadTest, SlotsInTheirOrderFetchAWholeFileAndReportOnTheirOwnThread)
{
    const std::string body(100000, 'a');
    ASSERT_TRUE(server.start([&](const LoopbackRequest&, size_t) {
        LoopbackResponse r = LoopbackResponse::ok(body);
        r.piece = 4096;
        return r;
    }));
    std::wstring target = tempPath(L"song.mp3");
    DeleteFileW(target.c_str());
    std::wstring url = server.url("/files/song.mp3");

    IDownloadHttpData* object = CreateDownloadHttpData();
    ASSERT_NE(nullptr, object);
    CallSlot<void>(object, 0, static_cast<IDownloadDataCallback*>(&reports));
    ASSERT_TRUE(CallSlot<bool>(object, 1, url.c_str(), target.c_str(), 0));
    ASSERT_TRUE(reports.waitFor(1));
    std::vector<Reports::Report> got = reports.reports();
    EXPECT_EQ(url, got[0].url);
    EXPECT_EQ(target, got[0].savePath);
    EXPECT_EQ(0, got[0].third);
    EXPECT_TRUE(got[0].ok);
    EXPECT_NE(GetCurrentThreadId(), got[0].thread);
    EXPECT_EQ(body, readFile(target));
    EXPECT_FALSE(exists(target + L".part"));
    EXPECT_EQ("/files/song.mp3", server.requests().at(0).target);
    CallSlot<void>(object, 2);  // Release
    DeleteFileW(target.c_str());
}

TEST_F(KqUtilityDownloadTest, FailuresLeaveNoFileAndKeepAnOlderOne)
{
    ASSERT_TRUE(server.start([](const LoopbackRequest& request, size_t) {
        if (request.target == "/missing")
            return LoopbackResponse::statusOnly(404, "Not Found");
        LoopbackResponse cut = LoopbackResponse::generated(50000);
        cut.closeAfterBodyBytes = 1000;
        return cut;
    }));
    std::wstring target = tempPath(L"kept.mp3");
    {
        std::ofstream older(target.c_str(), std::ios::binary);
        older << "older";
    }
    for (const char* path : {"/missing", "/cut"}) {
        IDownloadHttpData* object = CreateDownloadHttpData();
        object->SetCallback(&reports);
        size_t before = reports.reports().size();
        ASSERT_TRUE(object->Start(server.url(path).c_str(), target.c_str(), 7));
        ASSERT_TRUE(reports.waitFor(before + 1)) << path;
        Reports::Report last = reports.reports().back();
        EXPECT_FALSE(last.ok) << path;
        EXPECT_EQ(7, last.third);
        EXPECT_EQ("older", readFile(target)) << path;
        EXPECT_FALSE(exists(target + L".part")) << path;
        object->Release();
    }
    DeleteFileW(target.c_str());
}

TEST_F(KqUtilityDownloadTest, StartRefusesWhatItCannotWrite)
{
    IDownloadHttpData* object = CreateDownloadHttpData();
    object->SetCallback(&reports);
    std::wstring target = tempPath(L"no_such_folder\\x.mp3");
    EXPECT_FALSE(object->Start(L"http://127.0.0.1:1/x", target.c_str(), 0));
    EXPECT_FALSE(object->Start(L"", tempPath(L"y.mp3").c_str(), 0));
    object->Release();
    EXPECT_TRUE(reports.reports().empty());
}

TEST_F(KqUtilityDownloadTest, ReleasedObjectReportsNothingAndStopsItsTransfer)
{
    ASSERT_TRUE(server.start(SlowLargeBody));
    std::wstring target = tempPath(L"released.mp3");
    DeleteFileW(target.c_str());
    IDownloadHttpData* object = CreateDownloadHttpData();
    object->SetCallback(&reports);
    ASSERT_TRUE(object->Start(server.url("/big").c_str(), target.c_str(), 0));
    ASSERT_TRUE(server.waitForRequests(1, 60000));
    object->Release();
    // The transfer ends early: the part file goes away without a report.
    DWORD start = GetTickCount();
    while (exists(target + L".part") && GetTickCount() - start < 60000)
        Sleep(10);
    EXPECT_FALSE(exists(target + L".part"));
    EXPECT_FALSE(exists(target));
    EXPECT_TRUE(reports.reports().empty());
}

// An owner that lets go of a download that may never end removes its
// unfinished file; the download then neither lands nor reports.
TEST_F(KqUtilityDownloadTest, OwnerRemovesTheUnfinishedFileOfARunningDownload)
{
    ASSERT_TRUE(server.start(SlowLargeBody));
    std::wstring target = tempPath(L"removed.mp3");
    DeleteFileW(target.c_str());
    IDownloadHttpData* object = CreateDownloadHttpData();
    object->SetCallback(&reports);
    ASSERT_TRUE(object->Start(server.url("/big").c_str(), target.c_str(), 0));
    ASSERT_TRUE(server.waitForRequests(1, 60000));
    std::wstring part = target + KqUtility::http::kPartFileSuffix;
    EXPECT_TRUE(DeleteFileW(part.c_str())) << "error " << GetLastError();
    object->Release();
    DWORD start = GetTickCount();
    while (exists(part) && GetTickCount() - start < 60000)
        Sleep(10);
    EXPECT_FALSE(exists(part));
    EXPECT_FALSE(exists(target));
    EXPECT_TRUE(reports.reports().empty());
}

}  // namespace
