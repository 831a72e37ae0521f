#include "ComPtr.h"
#include "GraphHelpers.h"
#include "Worker.h"

#include <gtest/gtest.h>

#include "DShowGuids.h"

#include <qedit.h>

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
