// CWinInetHttpBase against the scripted loopback server: outcomes, the
// request as the server saw it, chunking, listener refusals, pacing, short
// and cut bodies, redirects, oversized headers, a large body, silence and
// handle use over many requests; then both tables called by slot number.
#include "LoopbackHttpServer.h"  // Winsock before windows.h
#include "WinInetHttpBase.h"

#include "SetupLog.h"
#include "TestFolder.h"
#include "testing/SlotCall.h"

#include <gtest/gtest.h>
#include <psapi.h>

#include <algorithm>
#include <memory>

namespace {

// Records what the client reports; can refuse the header or the Nth chunk.
class RecordingListener : public IWinInetHttpListener {
public:
    bool OnResponseHeader(uint32_t contentLength, uint32_t status, const char* headerText, void* userData) override
    {
        ++headerCalls;
        this->contentLength = contentLength;
        this->status = status;
        this->headerText = headerText ? headerText : "<null>";
        this->userData = userData;
        return !refuseHeader;
    }
    bool OnResponseData(const uint8_t* bytes, uint32_t count, void* userData) override
    {
        ++chunks;
        largestChunk = std::max<uint64_t>(largestChunk, count);
        for (uint32_t i = 0; i < count; ++i, ++total)
            if (checkPattern && bytes[i] != LoopbackHttpServer::patternByte(total))
                patternBroken = true;
        if (keepBody)
            body.append(reinterpret_cast<const char*>(bytes), count);
        this->userData = userData;
        return refuseChunk == 0 || chunks < refuseChunk;
    }
    void OnRequestComplete(bool result, const wchar_t* url, void* userData) override
    {
        ++completions;
        completedWith = result;
        completedUrl = url ? url : L"<null>";
        this->userData = userData;
    }

    bool refuseHeader = false;
    uint64_t refuseChunk = 0;  // 1-based chunk to refuse; 0 never
    bool checkPattern = true;
    bool keepBody = false;

    int headerCalls = 0;
    uint32_t contentLength = 0;
    uint32_t status = 0;
    std::string headerText;
    uint64_t chunks = 0;
    uint64_t largestChunk = 0;
    uint64_t total = 0;
    bool patternBroken = false;
    std::string body;
    int completions = 0;
    bool completedWith = false;
    std::wstring completedUrl;
    void* userData = nullptr;
};

CWinInetHttpPtr openClient()
{
    CWinInetHttpPtr http(new CWinInetHttpBase());
    EXPECT_TRUE(http->Open());
    http->SetUseCache(false);
    return http;
}

std::string narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

size_t currentMemory()
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters.PagefileUsage;
}

size_t peakMemory()
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters.PagefileUsage;
}

} // namespace

TEST(HttpClient, OutcomeByStatus)
{
    struct Case {
        int status;
        bool succeeds;
    };
    const Case cases[] = {{200, true}, {206, true}, {404, false}, {500, false}, {204, false}};
    TestFolder logFolder(L"http_log");
    std::wstring logName = L"http_" + std::to_wstring(GetCurrentProcessId()) + L".log";
    setLogFileName(logName.c_str());
    for (const Case& c : cases) {
        LoopbackHttpServer server;
        ASSERT_TRUE(server.start([&](const LoopbackRequest&, size_t) {
            LoopbackResponse r = LoopbackResponse::generated(c.status == 204 ? 0 : 3000);
            r.status = c.status;
            r.reason = "Status";
            return r;
        }));
        auto http = openClient();
        RecordingListener listener;
        int tag = 0;
        http->SetListener(&listener);
        http->SetUserData(&tag);
        const std::wstring url = server.url("/stat?x=" + std::to_string(c.status));
        EXPECT_EQ(c.succeeds, http->Request(url.c_str(), nullptr, nullptr, 0, false)) << c.status;
        EXPECT_EQ(1, listener.completions) << c.status;
        EXPECT_EQ(c.succeeds, listener.completedWith) << c.status;
        EXPECT_EQ(url, listener.completedUrl);
        EXPECT_EQ(&tag, listener.userData);
        if (c.succeeds) {
            EXPECT_EQ(1, listener.headerCalls);
            EXPECT_EQ(static_cast<uint32_t>(c.status), listener.status);
            EXPECT_EQ(3000u, listener.contentLength);
            EXPECT_EQ(3000u, listener.total);
            EXPECT_FALSE(listener.patternBroken);
        } else {
            EXPECT_EQ(0, listener.headerCalls) << c.status;
            EXPECT_EQ(0u, listener.chunks) << c.status;
        }
    }
    std::string bytes = readFileBytes(setupLog().filePath());
    DeleteFileW(setupLog().filePath().c_str());
    std::wstring text(bytes.size() / 2, L'\0');
    if (!text.empty())
        memcpy(&text[0], bytes.data(), text.size() * 2);
    EXPECT_NE(std::wstring::npos, text.find(L"] CWinInetHttpBase::RecvResponse, nStatus 404.\r\n"));
    EXPECT_NE(std::wstring::npos, text.find(L"] CWinInetHttpBase::RecvResponse, nStatus 206.\r\n"));
}

TEST(HttpClient, RequestAsTheServerSawIt)
{
    LoopbackHttpServer server;
    ASSERT_TRUE(server.start([](const LoopbackRequest&, size_t) { return LoopbackResponse::ok("fine"); }));
    auto http = openClient();
    std::string body;
    for (int i = 0; i < 3000; ++i)
        body += static_cast<char>('a' + i % 26);

    struct Case {
        const char* what;
        const wchar_t* headers;
        const void* body;
        uint32_t length;
        bool forcePost;
        const char* method;
        const char* version;
    };
    const Case cases[] = {
        {"plain GET", nullptr, nullptr, 0, false, "GET", "HTTP/1.0"},
        {"GET with a header", L"X-Tq: one\r\n", nullptr, 0, false, "GET", "HTTP/1.0"},
        {"POST with a body", L"Content-Type: text/plain\r\n", body.data(), 3000, false, "POST", "HTTP/1.1"},
        {"forced POST without body", nullptr, nullptr, 0, true, "POST", "HTTP/1.1"},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        const Case& c = cases[i];
        std::wstring url = server.url("/TqSorvaInstall.php?mac=01AB&version=1.0.3.0&installed=1");
        EXPECT_TRUE(http->Request(url.c_str(), c.headers, c.body, c.length, c.forcePost)) << c.what;
        ASSERT_TRUE(server.waitForRequests(i + 1, 10000)) << c.what;
        LoopbackRequest seen = server.requests().at(i);
        EXPECT_EQ(c.method, seen.method) << c.what;
        EXPECT_EQ(c.version, seen.version) << c.what;
        EXPECT_EQ("/TqSorvaInstall.php?mac=01AB&version=1.0.3.0&installed=1", seen.target) << c.what;
        EXPECT_EQ("*/*", seen.header("Accept")) << c.what;
        EXPECT_EQ("127.0.0.1:" + std::to_string(server.port()), seen.header("Host")) << c.what;
        if (c.body) {
            EXPECT_EQ(body, seen.body) << c.what;
        }
        if (c.headers && wcsstr(c.headers, L"X-Tq")) {
            EXPECT_EQ("one", seen.header("X-Tq")) << c.what;
        }
    }
}

TEST(HttpClient, BodyArrivesInBoundedPiecesExactInTotal)
{
    struct Case {
        uint64_t bytes;
        uint64_t largestPiece;
    };
    const Case cases[] = {{5000, 1024}, {8192, 1024}, {60000, 8192}, {100000, 16384}};
    for (const Case& c : cases) {
        LoopbackHttpServer server;
        ASSERT_TRUE(server.start([&](const LoopbackRequest&, size_t) { return LoopbackResponse::generated(c.bytes); }));
        auto http = openClient();
        RecordingListener listener;
        http->SetListener(&listener);
        EXPECT_TRUE(http->Request(server.url("/body").c_str(), nullptr, nullptr, 0, false)) << c.bytes;
        EXPECT_EQ(c.bytes, listener.total) << c.bytes;
        EXPECT_LE(listener.largestChunk, c.largestPiece) << c.bytes;
        EXPECT_GE(listener.chunks, (c.bytes + c.largestPiece - 1) / c.largestPiece) << c.bytes;
        EXPECT_FALSE(listener.patternBroken) << c.bytes;
    }
}

TEST(HttpClient, ListenerRefusalFailsTheRequest)
{
    struct Case {
        const char* what;
        bool refuseHeader;
        uint64_t refuseChunk;
    };
    const Case cases[] = {{"header refused", true, 0}, {"first chunk refused", false, 1},
                          {"third chunk refused", false, 3}};
    for (const Case& c : cases) {
        LoopbackHttpServer server;
        ASSERT_TRUE(server.start([](const LoopbackRequest&, size_t) { return LoopbackResponse::generated(20000); }));
        auto http = openClient();
        RecordingListener listener;
        listener.refuseHeader = c.refuseHeader;
        listener.refuseChunk = c.refuseChunk;
        http->SetListener(&listener);
        EXPECT_FALSE(http->Request(server.url("/x").c_str(), nullptr, nullptr, 0, false)) << c.what;
        EXPECT_EQ(c.refuseHeader ? 0u : c.refuseChunk, listener.chunks) << c.what;
        EXPECT_EQ(1, listener.completions) << c.what;
        EXPECT_FALSE(listener.completedWith) << c.what;
    }
}

TEST(HttpClient, PacedShortAndCutBodies)
{
    struct Case {
        const char* what;
        LoopbackResponse response;
        bool succeeds;
        uint64_t received;
    };
    auto drip = LoopbackResponse::generated(3000);
    drip.piece = 97;
    drip.pauseMs = 3;
    auto cut = LoopbackResponse::generated(10000);
    cut.closeAfterBodyBytes = 4000;
    auto shortBody = LoopbackResponse::generated(5000);
    shortBody.announcedLength = 6000;
    auto noLength = LoopbackResponse::generated(7000);
    noLength.sendContentLength = false;
    const Case cases[] = {
        {"slow drip", drip, true, 3000},
        {"closed mid-body", cut, false, 4000},
        {"shorter than announced", shortBody, false, 5000},
        {"no length, ends with the connection", noLength, true, 7000},
    };
    for (const Case& c : cases) {
        LoopbackHttpServer server;
        ASSERT_TRUE(server.start([&](const LoopbackRequest&, size_t) { return c.response; }));
        auto http = openClient();
        RecordingListener listener;
        http->SetListener(&listener);
        EXPECT_EQ(c.succeeds, http->Request(server.url("/p").c_str(), nullptr, nullptr, 0, false)) << c.what;
        EXPECT_EQ(c.received, listener.total) << c.what;
        EXPECT_FALSE(listener.patternBroken) << c.what;
    }
}

TEST(HttpClient, RedirectsAreFollowedLoopsFail)
{
    LoopbackHttpServer server;
    ASSERT_TRUE(server.start([&](const LoopbackRequest& request, size_t) {
        if (request.target == "/old")
            return LoopbackResponse::redirect(narrow(server.url("/new")));
        if (request.target == "/loop")
            return LoopbackResponse::redirect("/loop");
        return LoopbackResponse::ok("arrived");
    }));
    auto http = openClient();
    RecordingListener listener;
    listener.checkPattern = false;
    listener.keepBody = true;
    http->SetListener(&listener);
    EXPECT_TRUE(http->Request(server.url("/old").c_str(), nullptr, nullptr, 0, false));
    EXPECT_EQ("arrived", listener.body);
    auto seen = server.requests();
    ASSERT_EQ(2u, seen.size());
    EXPECT_EQ("/new", seen[1].target);

    EXPECT_FALSE(http->Request(server.url("/loop").c_str(), nullptr, nullptr, 0, false));
    EXPECT_LT(server.requestCount(), 200u);
}

TEST(HttpClient, RedirectsNeverLeaveHttpOrDropTls)
{
    struct Case {
        const wchar_t* from;
        const wchar_t* to;
        bool secure;  // SetHttps(true)
        bool allowed;
    };
    const Case cases[] = {
        {L"http://a.example/x", L"http://b.example/y", false, true},
        {L"http://a.example/x", L"https://b.example/y", false, true},
        {L"https://a.example/x", L"https://b.example/y", false, true},
        {L"HTTPS://a.example/x", L"HTTPS://a.example/y", false, true},
        {L"https://a.example/x", L"http://a.example/y", false, false},
        {L"HTTPS://a.example/x", L"Http://a.example/y", false, false},
        {L"http://a.example/x", L"http://a.example/y", true, false},
        {L"http://a.example/x", L"https://a.example/y", true, true},
        {L"http://a.example/x", L"ftp://a.example/y", false, false},
        {L"http://a.example/x", L"file:///C:/windows/win.ini", false, false},
        {L"https://a.example/x", L"httpx://a.example/y", false, false},
        {L"http://a.example/x", L"", false, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.allowed, isRedirectAllowed(c.from, c.to, c.secure)) << narrow(c.from) << " -> " << narrow(c.to);

    // Through the client: a redirect out of http(s) is not followed.
    LoopbackHttpServer server;
    ASSERT_TRUE(server.start([&](const LoopbackRequest& request, size_t) {
        if (request.target == "/ftp")
            return LoopbackResponse::redirect("ftp://127.0.0.1:" + std::to_string(server.port()) + "/x");
        return LoopbackResponse::redirect("file:///C:/windows/win.ini");
    }));
    auto http = openClient();
    RecordingListener listener;
    http->SetListener(&listener);
    EXPECT_FALSE(http->Request(server.url("/ftp").c_str(), nullptr, nullptr, 0, false));
    EXPECT_FALSE(http->Request(server.url("/file").c_str(), nullptr, nullptr, 0, false));
    EXPECT_EQ(2u, server.requestCount());
    EXPECT_EQ(0, listener.headerCalls);
}

TEST(HttpClient, OversizedHeadersAreSurvived)
{
    LoopbackHttpServer server;
    const std::string encoding(1000, 'z');
    ASSERT_TRUE(server.start([&](const LoopbackRequest& request, size_t) {
        LoopbackResponse r = LoopbackResponse::generated(2000);
        if (request.target == "/big")
            r.headers.push_back({"X-Big", std::string(65536, 'b')});
        else
            r.headers.push_back({"Content-Encoding", encoding});
        return r;
    }));
    auto http = openClient();
    RecordingListener listener;
    http->SetListener(&listener);
    EXPECT_TRUE(http->Request(server.url("/big").c_str(), nullptr, nullptr, 0, false));
    EXPECT_EQ(2000u, listener.total);

    RecordingListener encoded;
    http->SetListener(&encoded);
    EXPECT_TRUE(http->Request(server.url("/enc").c_str(), nullptr, nullptr, 0, false));
    EXPECT_EQ(encoding.substr(0, 254), encoded.headerText) << "cut at the buffer, not past it";
    EXPECT_EQ(2000u, encoded.total);
}

TEST(HttpClient, LargeBodyStreamsInFlatMemory)
{
    const uint64_t size = 100ull << 20;
    LoopbackHttpServer server;
    ASSERT_TRUE(server.start([&](const LoopbackRequest&, size_t) {
        LoopbackResponse r = LoopbackResponse::generated(size);
        r.piece = 1 << 20;
        return r;
    }));
    auto http = openClient();
    RecordingListener listener;
    http->SetListener(&listener);
    const size_t before = peakMemory();
    EXPECT_TRUE(http->Request(server.url("/large").c_str(), nullptr, nullptr, 0, false));
    const size_t after = peakMemory();
    EXPECT_EQ(size, listener.total);
    EXPECT_FALSE(listener.patternBroken);
    EXPECT_LT(after > before ? after - before : 0, size_t(24) << 20) << "the body was held in memory";
}

TEST(HttpClient, SilentServerFailsWithinTheTimeout)
{
    LoopbackHttpServer server;
    ASSERT_TRUE(server.start([](const LoopbackRequest&, size_t) {
        LoopbackResponse r;
        r.silent = true;
        return r;
    }));
    auto http = openClient();
    http->SetTimeout(1500);
    EXPECT_EQ(1500u, http->timeout());
    const ULONGLONG start = GetTickCount64();
    EXPECT_FALSE(http->Request(server.url("/silent").c_str(), nullptr, nullptr, 0, false));
    const ULONGLONG waited = GetTickCount64() - start;
    EXPECT_TRUE(server.waitForRequests(1, 0));
    EXPECT_LT(waited, 1500u * 4 + 2000) << "waited " << waited << " ms";
}

TEST(HttpClient, ManyRequestsOnOneObjectKeepHandlesFlat)
{
    LoopbackHttpServer server;
    ASSERT_TRUE(server.start([](const LoopbackRequest&, size_t) { return LoopbackResponse::generated(1500); }));
    auto http = openClient();
    for (int i = 0; i < 10; ++i)
        ASSERT_TRUE(http->Request(server.url("/warm").c_str(), nullptr, nullptr, 0, false));
    DWORD before = 0;
    GetProcessHandleCount(GetCurrentProcess(), &before);
    const size_t memoryBefore = currentMemory();
    for (int i = 0; i < 100; ++i)
        ASSERT_TRUE(http->Request(server.url("/again").c_str(), nullptr, nullptr, 0, false)) << i;
    DWORD after = 0;
    GetProcessHandleCount(GetCurrentProcess(), &after);
    const size_t memoryAfter = currentMemory();
    EXPECT_LT(after, before + 20) << before << " -> " << after;
    // Each request left open holds a few hundred KB here: 100 of them show.
    EXPECT_LT(memoryAfter > memoryBefore ? memoryAfter - memoryBefore : 0, size_t(8) << 20)
        << memoryBefore << " -> " << memoryAfter;
    http->Close();
    EXPECT_FALSE(http->Request(server.url("/closed").c_str(), nullptr, nullptr, 0, false));
}

TEST(HttpClient, CacheAndSecureFlags)
{
    CWinInetHttpPtr http(new CWinInetHttpBase());
    EXPECT_EQ(0u, http->requestFlags());
    EXPECT_EQ(CWinInetHttpBase::kDefaultTimeoutMs, http->timeout());
    struct Step {
        int op;  // 0 SetUseCache, 1 SetHttps
        bool on;
        uint32_t flags;
    };
    const Step steps[] = {
        {0, false, 0x84000000}, {1, true, 0x84CC8200}, {1, false, 0x84000000},
        {0, true, 0},           {1, true, 0x80CC8200}, {1, false, 0},
    };
    for (const Step& s : steps) {
        if (s.op == 0)
            http->SetUseCache(s.on);
        else
            http->SetHttps(s.on);
        EXPECT_EQ(s.flags, http->requestFlags()) << s.op << " " << s.on;
    }
    EXPECT_FALSE(http->Request(L"not a url", nullptr, nullptr, 0, false)) << "no session yet";
}

namespace {

// A host's listener: nothing but a table of plain functions.
struct HandListener {
    void* const* table;
    int calls[3];
    uint32_t status;
    uint64_t bytes;
    bool result;
};
bool TQ_THISCALL HandOnHeader(HandListener* self, uint32_t, uint32_t status, const char*, void*)
{
    ++self->calls[0];
    self->status = status;
    return true;
}
bool TQ_THISCALL HandOnData(HandListener* self, const uint8_t*, uint32_t count, void*)
{
    ++self->calls[1];
    self->bytes += count;
    return true;
}
void TQ_THISCALL HandOnComplete(HandListener* self, bool result, const wchar_t*, void*)
{
    ++self->calls[2];
    self->result = result;
}
void* const kHandListenerTable[kWinInetHttpListenerSlots] = {reinterpret_cast<void*>(&HandOnHeader),
                                                             reinterpret_cast<void*>(&HandOnData),
                                                             reinterpret_cast<void*>(&HandOnComplete)};

} // namespace

TEST(HttpClientSlots, EveryOperationAnswersAtItsSlot)
{
    static_assert(kWinInetHttpBaseSlots == 9, "deleting destructor and eight operations");
    LoopbackHttpServer server;
    ASSERT_TRUE(server.start([](const LoopbackRequest&, size_t) { return LoopbackResponse::generated(3000); }));

    void* object = new CWinInetHttpBase();
    auto* http = static_cast<CWinInetHttpBase*>(object);
    HandListener listener = {kHandListenerTable, {0, 0, 0}, 0, 0, false};
    int tag = 0;
    CallSlot<void, void*>(object, 1, &listener);          // SetListener
    CallSlot<void, bool>(object, 2, false);               // SetUseCache
    EXPECT_EQ(0x84000000u, http->requestFlags());
    CallSlot<void, void*>(object, 3, &tag);               // SetUserData
    EXPECT_TRUE(CallSlot<bool>(object, 4));               // Open
    CallSlot<void, uint32_t>(object, 8, 20000u);          // SetTimeout
    EXPECT_EQ(20000u, http->timeout());
    std::wstring url = server.url("/slots");
    EXPECT_TRUE((CallSlot<bool, const wchar_t*, const wchar_t*, const void*, uint32_t, bool>(
        object, 6, url.c_str(), nullptr, nullptr, 0u, false)));  // Request
    EXPECT_EQ(1, listener.calls[0]);
    EXPECT_EQ(200u, listener.status);
    EXPECT_EQ(3000u, listener.bytes);
    EXPECT_EQ(1, listener.calls[2]);
    EXPECT_TRUE(listener.result);
    CallSlot<void, bool>(object, 7, true);                // SetHttps
    EXPECT_TRUE(http->isSecure());
    CallSlot<void, bool>(object, 7, false);
    EXPECT_EQ(0x84000000u, http->requestFlags());
    CallSlot<void>(object, 5);                            // Close
    EXPECT_FALSE((CallSlot<bool, const wchar_t*, const wchar_t*, const void*, uint32_t, bool>(
        object, 6, url.c_str(), nullptr, nullptr, 0u, false)));
    CallSlot<void, unsigned>(object, 0, 1u);              // deleting destructor frees it
}
