#include "ComPtr.h"
#include "GraphHelpers.h"
#include "Worker.h"

#include <gtest/gtest.h>

#include "DShowGuids.h"

#include <qedit.h>

#include <cstring>
#include <map>

using namespace tq;

TEST(GraphHelpers, LowerExtension)
{
    const struct { const char* name; const char* ext; } cases[] = {
        {"song.MP3", "mp3"}, {"a.b.Flv", "flv"}, {"NOEXT", "noext"}, {"dir.x\\file", "x\\file"}, {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.ext, GetLowerExtension(c.name)) << c.name;
}

TEST(GraphHelpers, RotNameUsesEightLowerCaseHexDigits)
{
    EXPECT_EQ(L"FilterGraph 00abcdef pid 0000001c", RotName(reinterpret_cast<void*>(0xABCDEF), 28));
}

TEST(GraphHelpers, FileSizeOfMissingFileIsMinusOne)
{
    EXPECT_EQ(-1, GetFileSize64("C:\\no\\such\\file.bin"));
}

namespace {
class GraphTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                               graph.ReceiveVoid())));
        ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_SampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                               grabber.ReceiveVoid())));
        ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                               renderer.ReceiveVoid())));
        graph->AddFilter(grabber.Get(), L"Grabber");
        graph->AddFilter(renderer.Get(), L"Null Renderer");
    }
    CComInit com;
    ComPtr<IGraphBuilder> graph;
    ComPtr<IBaseFilter> grabber;
    ComPtr<IBaseFilter> renderer;
};
}

TEST_F(GraphTest, PinsByDirectionIndexAndName)
{
    ComPtr<IPin> in, out, none;
    in.Attach(GetInputPin(grabber.Get(), 0));
    out.Attach(GetOutputPin(grabber.Get(), 0));
    none.Attach(GetOutputPin(grabber.Get(), 1));
    EXPECT_TRUE(in);
    EXPECT_TRUE(out);
    EXPECT_FALSE(none);
    PIN_DIRECTION dir;
    out->QueryDirection(&dir);
    EXPECT_EQ(PINDIR_OUTPUT, dir);

    PIN_INFO info = {};
    in->QueryPinInfo(&info);
    if (info.pFilter) info.pFilter->Release();
    ComPtr<IPin> byName;
    std::wstring upper(info.achName);
    for (auto& ch : upper) ch = towupper(ch);
    byName.Attach(FindPinByName(grabber.Get(), upper.c_str()));
    EXPECT_EQ(in.Get(), byName.Get());
}

TEST_F(GraphTest, FiltersByAnsiNameAndRemoval)
{
    ComPtr<IBaseFilter> found;
    found.Attach(FindFilterByAnsiName(graph.Get(), "Null Renderer"));
    EXPECT_EQ(renderer.Get(), found.Get());
    found.Attach(FindFilterByAnsiName(graph.Get(), "null renderer"));
    EXPECT_FALSE(found);

    RemoveAllFilters(graph.Get());
    ComPtr<IEnumFilters> filters;
    graph->EnumFilters(filters.Receive());
    ComPtr<IBaseFilter> left;
    EXPECT_NE(S_OK, filters->Next(1, left.Receive(), nullptr));
}

namespace {
// A graph whose one filter refuses to be removed.
class StubbornGraph : public IFilterGraph, public IEnumFilters {
public:
    explicit StubbornGraph(IBaseFilter* filter) : m_filter(filter) {}
    int removeCalls = 0;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override { *out = nullptr; return E_NOINTERFACE; }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE AddFilter(IBaseFilter*, LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RemoveFilter(IBaseFilter*) override { ++removeCalls; return E_FAIL; }
    HRESULT STDMETHODCALLTYPE EnumFilters(IEnumFilters** out) override { m_done = false; *out = this; return S_OK; }
    HRESULT STDMETHODCALLTYPE FindFilterByName(LPCWSTR, IBaseFilter**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ConnectDirect(IPin*, IPin*, const AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reconnect(IPin*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Disconnect(IPin*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetDefaultSyncSource() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Next(ULONG, IBaseFilter** out, ULONG*) override
    {
        if (m_done) return S_FALSE;
        m_done = true;
        m_filter->AddRef();
        *out = m_filter;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reset() override { m_done = false; return S_OK; }
    HRESULT STDMETHODCALLTYPE Clone(IEnumFilters**) override { return E_NOTIMPL; }
private:
    IBaseFilter* m_filter;
    bool m_done = false;
};
}

TEST_F(GraphTest, RemoveAllFiltersStopsAtAFilterThatRefuses)
{
    StubbornGraph stubborn(renderer.Get());
    RemoveAllFilters(&stubborn);  // must return
    EXPECT_EQ(1, stubborn.removeCalls);
}

TEST_F(GraphTest, MediaTypesOfAPin)
{
    AM_MEDIA_TYPE type = {};
    type.majortype = MEDIATYPE_Video;
    ComPtr<ISampleGrabber> sg;
    ASSERT_TRUE(SUCCEEDED(grabber->QueryInterface(IID_ISampleGrabber, sg.ReceiveVoid())));
    sg->SetMediaType(&type);
    ComPtr<IPin> out;
    out.Attach(GetOutputPin(renderer.Get(), 0));
    EXPECT_FALSE(out);  // a renderer has no output
    EXPECT_FALSE(HasVideoCapturePin(nullptr));
}

namespace {

// Answers every lookup with s_answer and counts the lookups of each class.
struct FakeClasses {
    static HRESULT Create(const CLSID& clsid, IUnknown*, DWORD, const IID&, void** out)
    {
        ++s_lookups[clsid];
        *out = nullptr;
        return s_answer;
    }
    static HRESULT s_answer;
    struct Less {
        bool operator()(const CLSID& a, const CLSID& b) const { return memcmp(&a, &b, sizeof a) < 0; }
    };
    static std::map<CLSID, int, Less> s_lookups;
};
HRESULT FakeClasses::s_answer = S_OK;
std::map<CLSID, int, FakeClasses::Less> FakeClasses::s_lookups;

class ClassLookupTest : public ::testing::Test {
protected:
    void SetUp() override { SetClassCreateFunctionForTest(&FakeClasses::Create); }
    void TearDown() override
    {
        SetClassCreateFunctionForTest(nullptr);
        FakeClasses::s_answer = S_OK;
    }
    static CLSID NewClass()
    {
        CLSID clsid;
        EXPECT_EQ(S_OK, CoCreateGuid(&clsid));
        return clsid;
    }
    CComInit com;
};

} // namespace

// A class that is not there is looked up once; anything else (success, a
// refused interface, no memory) is asked again every time.
TEST_F(ClassLookupTest, MissingClassesAreLookedUpOnce)
{
    const struct { HRESULT answer; bool remembered; } cases[] = {
        {REGDB_E_CLASSNOTREG, true},
        {CLASS_E_CLASSNOTAVAILABLE, true},
        {CO_E_DLLNOTFOUND, true},
        {HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND), true},
        {S_OK, false},
        {E_NOINTERFACE, false},
        {E_OUTOFMEMORY, false},
        {E_FAIL, false},
    };
    for (const auto& c : cases) {
        const CLSID clsid = NewClass();
        FakeClasses::s_answer = c.answer;
        void* out = reinterpret_cast<void*>(1);
        EXPECT_EQ(c.answer, CreateInstanceOnce(clsid, CLSCTX_INPROC_SERVER, IID_IUnknown, &out)) << std::hex << c.answer;
        EXPECT_EQ(nullptr, out);
        FakeClasses::s_answer = S_OK;  // what a second lookup would say
        out = reinterpret_cast<void*>(1);
        EXPECT_EQ(c.remembered ? c.answer : S_OK, CreateInstanceOnce(clsid, CLSCTX_INPROC_SERVER, IID_IUnknown, &out))
            << std::hex << c.answer;
        EXPECT_EQ(nullptr, out) << "a remembered failure hands out nothing";
        EXPECT_EQ(c.remembered ? 1 : 2, FakeClasses::s_lookups[clsid]) << std::hex << c.answer;
        EXPECT_EQ(c.remembered ? c.answer : S_OK, RememberedClassFailure(clsid, CLSCTX_INPROC_SERVER)) << std::hex << c.answer;
    }
}

// What one context did not find another may: each is remembered on its own.
TEST_F(ClassLookupTest, EachContextIsLookedUpOnItsOwn)
{
    const CLSID clsid = NewClass();
    FakeClasses::s_answer = REGDB_E_CLASSNOTREG;
    void* out = nullptr;
    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(REGDB_E_CLASSNOTREG, CreateInstanceOnce(clsid, CLSCTX_INPROC_SERVER, IID_IUnknown, &out));
        EXPECT_EQ(REGDB_E_CLASSNOTREG, CreateInstanceOnce(clsid, CLSCTX_ALL, IID_IUnknown, &out));
    }
    EXPECT_EQ(2, FakeClasses::s_lookups[clsid]);
    EXPECT_EQ(S_OK, RememberedClassFailure(NewClass(), CLSCTX_ALL));
}

// A class registered while the process runs (an installed filter) is found:
// a change under the registry's class keys forgets the missing classes.
TEST_F(ClassLookupTest, AClassRegisteredLaterIsFound)
{
    const CLSID clsid = NewClass();
    FakeClasses::s_answer = REGDB_E_CLASSNOTREG;
    void* out = nullptr;
    EXPECT_EQ(REGDB_E_CLASSNOTREG, CreateInstanceOnce(clsid, CLSCTX_INPROC_SERVER, IID_IUnknown, &out));
    EXPECT_EQ(REGDB_E_CLASSNOTREG, CreateInstanceOnce(clsid, CLSCTX_INPROC_SERVER, IID_IUnknown, &out));
    EXPECT_EQ(1, FakeClasses::s_lookups[clsid]);

    wchar_t name[64];
    ASSERT_GT(StringFromGUID2(clsid, name, 64), 0);
    const std::wstring keyPath = std::wstring(L"Software\\Classes\\CLSID\\") + name;
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                             &key, nullptr));
    const wchar_t value[] = L"Test class";
    RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), sizeof value);
    RegCloseKey(key);

    // The registry tells of the change on its own time: wait for the lookup.
    FakeClasses::s_answer = S_OK;
    const DWORD start = GetTickCount();
    HRESULT hr = REGDB_E_CLASSNOTREG;
    while (FAILED(hr = CreateInstanceOnce(clsid, CLSCTX_INPROC_SERVER, IID_IUnknown, &out)) && GetTickCount() - start < 10000)
        Sleep(10);
    RegDeleteKeyW(HKEY_CURRENT_USER, keyPath.c_str());
    EXPECT_EQ(S_OK, hr);
    EXPECT_EQ(2, FakeClasses::s_lookups[clsid]);
}

// Through COM itself: an unknown class fails alike every time, a real one
// gives a new object every time.
TEST(ClassLookup, RealLookups)
{
    CComInit com;
    CLSID unknown;
    ASSERT_EQ(S_OK, CoCreateGuid(&unknown));
    for (int round = 0; round < 2; ++round) {
        ComPtr<IUnknown> none;
        EXPECT_EQ(REGDB_E_CLASSNOTREG, CreateInstanceOnce(unknown, CLSCTX_INPROC_SERVER, IID_IUnknown, none.ReceiveVoid()));
        EXPECT_FALSE(none);
    }
    ComPtr<IGraphBuilder> first, second;
    ASSERT_EQ(S_OK, CreateInstanceOnce(CLSID_FilterGraph, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, first.ReceiveVoid()));
    ASSERT_EQ(S_OK, CreateInstanceOnce(CLSID_FilterGraph, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, second.ReceiveVoid()));
    EXPECT_NE(first.Get(), second.Get());
}
