// The pin's formats, capabilities, property answers and picture geometry,
// driven directly on a filter object (no graph, no engine).
#include "PictureCheck.h"
#include "VirtualCamFilter.h"

#include <gtest/gtest.h>
#include <uuids.h>

#include <cstddef>
#include <cstring>

namespace {

class FilterFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        HRESULT hr = E_FAIL;
        m_object = CVirtualCamFilter::CreateInstance(nullptr, &hr);
        ASSERT_TRUE(m_object);
        ASSERT_EQ(hr, S_OK);
        m_object->NonDelegatingAddRef();
        m_filter = static_cast<CVirtualCamFilter*>(m_object);
        m_pin = m_filter->Stream();
        ASSERT_TRUE(m_pin);
    }
    void TearDown() override
    {
        if (m_object)
            m_object->NonDelegatingRelease();
        CoUninitialize();
    }
    CUnknown* m_object = nullptr;
    CVirtualCamFilter* m_filter = nullptr;
    CVirtualCamStream* m_pin = nullptr;
};

const VIDEOINFOHEADER& Vih(const AM_MEDIA_TYPE& mt)
{
    return *reinterpret_cast<const VIDEOINFOHEADER*>(mt.pbFormat);
}

TEST_F(FilterFixture, LadderOffersEightyBySixtySteps)
{
    for (int position = 1; position <= 10; ++position) {
        CMediaType mt;
        ASSERT_EQ(m_pin->GetMediaType(position, &mt), S_OK) << position;
        EXPECT_EQ(mt.majortype, MEDIATYPE_Video);
        EXPECT_EQ(mt.subtype, MEDIASUBTYPE_RGB24);
        EXPECT_EQ(mt.formattype, FORMAT_VideoInfo);
        const VIDEOINFOHEADER& vih = Vih(mt);
        EXPECT_EQ(vih.bmiHeader.biWidth, 80 * position);
        EXPECT_EQ(vih.bmiHeader.biHeight, 60 * position);
        EXPECT_EQ(vih.bmiHeader.biBitCount, 24);
        EXPECT_EQ(vih.bmiHeader.biSizeImage, DWORD(80 * position * 3 * 60 * position));
        EXPECT_EQ(vih.AvgTimePerFrame, 1000000);
        EXPECT_EQ(mt.lSampleSize, vih.bmiHeader.biSizeImage);
    }
    CMediaType mt;
    EXPECT_EQ(m_pin->GetMediaType(11, &mt), VFW_S_NO_MORE_ITEMS);
    EXPECT_EQ(m_pin->GetMediaType(-1, &mt), E_INVALIDARG);
    ASSERT_EQ(m_pin->GetMediaType(0, &mt), S_OK);
    EXPECT_EQ(Vih(mt).bmiHeader.biWidth, 320);
    EXPECT_EQ(Vih(mt).bmiHeader.biHeight, 240);
    EXPECT_EQ(m_pin->CheckMediaType(&mt), S_OK);
    CMediaType other;
    m_pin->GetMediaType(8, &other);
    EXPECT_EQ(m_pin->CheckMediaType(&other), E_INVALIDARG);
}

TEST_F(FilterFixture, CapsTableIsFilledForEveryEntry)
{
    struct Entry { int width, height; REFERENCE_TIME frameTime; };
    const Entry table[] = {{320, 240, 333333}, {320, 240, 666666}, {320, 240, 1000000}, {640, 480, 1000000},
                           {640, 480, 666666}, {640, 480, 333333}, {800, 600, 333333}, {800, 600, 666666},
                           {800, 600, 1000000}, {400, 300, 333333}, {400, 300, 666666}, {400, 300, 1000000},
                           {480, 360, 333333}, {480, 360, 666666}, {480, 360, 1000000}};
    int count = 0, size = 0;
    ASSERT_EQ(m_pin->GetNumberOfCapabilities(&count, &size), S_OK);
    EXPECT_EQ(count, 16);
    EXPECT_EQ(size, 128);
    for (int index = 0; index < 16; ++index) {
        AM_MEDIA_TYPE* mt = nullptr;
        VIDEO_STREAM_CONFIG_CAPS caps;
        memset(&caps, 0xCD, sizeof(caps));
        ASSERT_EQ(m_pin->GetStreamCaps(index, &mt, reinterpret_cast<BYTE*>(&caps)), S_OK) << index;
        const Entry expected = index == 0 ? Entry{320, 240, 1000000} : table[index - 1];
        EXPECT_EQ(Vih(*mt).bmiHeader.biWidth, expected.width) << index;
        EXPECT_EQ(Vih(*mt).bmiHeader.biHeight, expected.height) << index;
        EXPECT_EQ(Vih(*mt).AvgTimePerFrame, expected.frameTime) << index;
        EXPECT_EQ(mt->cbFormat, 88u);
        EXPECT_EQ(mt->lSampleSize, ULONG(expected.width * expected.height * 3));
        EXPECT_EQ(caps.guid, FORMAT_VideoInfo);
        EXPECT_EQ(caps.MinOutputSize.cx, expected.width);
        EXPECT_EQ(caps.MaxOutputSize.cy, expected.height);
        EXPECT_EQ(caps.InputSize.cx, expected.width);
        EXPECT_LE(caps.MinFrameInterval, expected.frameTime);
        EXPECT_GE(caps.MaxFrameInterval, expected.frameTime);
        EXPECT_GT(caps.MinBitsPerSecond, 0);
        EXPECT_GE(caps.MaxBitsPerSecond, caps.MinBitsPerSecond);
        DeleteMediaTypeCopy(mt);
    }
    AM_MEDIA_TYPE* mt = nullptr;
    BYTE caps[128];
    EXPECT_EQ(m_pin->GetStreamCaps(16, &mt, caps), VFW_S_NO_MORE_ITEMS);
    EXPECT_EQ(m_pin->GetStreamCaps(-1, &mt, caps), E_INVALIDARG);
}

// A type as a consumer would patch it out of GetFormat.
CMediaType Rgb24(int width, int height)
{
    CMediaType mt;
    CVirtualCamStream::BuildRgb24Type(mt, width, height, 333333);
    return mt;
}

TEST_F(FilterFixture, SetFormatTakesSaneRgb24AndRecomputesSizes)
{
    struct Case { int width, height; };
    for (const Case c : {Case{640, 480}, Case{1280, 720}, Case{321, 241}, Case{4096, 1}}) {
        CMediaType mt = Rgb24(c.width, c.height);
        auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(mt.pbFormat);
        vih->bmiHeader.biSizeImage = 7;  // stale, as a caller that patched only the size leaves it
        mt.lSampleSize = 7;
        ASSERT_EQ(m_pin->SetFormat(&mt), S_OK) << c.width << "x" << c.height;
        AM_MEDIA_TYPE* now = nullptr;
        ASSERT_EQ(m_pin->GetFormat(&now), S_OK);
        const size_t image = vcamtest::Stride(c.width) * size_t(c.height);
        EXPECT_EQ(Vih(*now).bmiHeader.biWidth, c.width);
        EXPECT_EQ(Vih(*now).bmiHeader.biSizeImage, image);
        EXPECT_EQ(now->lSampleSize, image);
        DeleteMediaTypeCopy(now);
    }
}

TEST_F(FilterFixture, SetFormatRefusesWhatItCannotStream)
{
    struct Case {
        const char* what;
        void (*spoil)(CMediaType&);
    };
    const Case cases[] = {
        {"no format block", [](CMediaType& mt) { mt.Clear(); mt.majortype = MEDIATYPE_Video; mt.subtype = MEDIASUBTYPE_RGB24; }},
        {"RGB32 subtype", [](CMediaType& mt) { mt.subtype = MEDIASUBTYPE_RGB32; }},
        {"audio", [](CMediaType& mt) { mt.majortype = MEDIATYPE_Audio; }},
        {"VideoInfo2", [](CMediaType& mt) { mt.formattype = FORMAT_VideoInfo2; }},
        {"short block", [](CMediaType& mt) { mt.cbFormat = sizeof(VIDEOINFOHEADER) - 4; }},
        {"header longer than block", [](CMediaType& mt) { reinterpret_cast<VIDEOINFOHEADER*>(mt.pbFormat)->bmiHeader.biSize = 200; }},
        // 48 + this wraps to 32 in 32-bit arithmetic: refused by both builds.
        {"header size near 2^32", [](CMediaType& mt) { reinterpret_cast<VIDEOINFOHEADER*>(mt.pbFormat)->bmiHeader.biSize = 0xFFFFFFF0u; }},
        {"tiny header", [](CMediaType& mt) { reinterpret_cast<VIDEOINFOHEADER*>(mt.pbFormat)->bmiHeader.biSize = 12; }},
        {"zero width", [](CMediaType& mt) { reinterpret_cast<VIDEOINFOHEADER*>(mt.pbFormat)->bmiHeader.biWidth = 0; }},
        {"negative height", [](CMediaType& mt) { reinterpret_cast<VIDEOINFOHEADER*>(mt.pbFormat)->bmiHeader.biHeight = -480; }},
        {"width 4097", [](CMediaType& mt) { reinterpret_cast<VIDEOINFOHEADER*>(mt.pbFormat)->bmiHeader.biWidth = 4097; }},
        {"height 100000", [](CMediaType& mt) { reinterpret_cast<VIDEOINFOHEADER*>(mt.pbFormat)->bmiHeader.biHeight = 100000; }},
        {"32 bits", [](CMediaType& mt) { reinterpret_cast<VIDEOINFOHEADER*>(mt.pbFormat)->bmiHeader.biBitCount = 32; }},
        {"bit fields", [](CMediaType& mt) { reinterpret_cast<VIDEOINFOHEADER*>(mt.pbFormat)->bmiHeader.biCompression = BI_BITFIELDS; }},
    };
    for (const Case& c : cases) {
        CMediaType mt = Rgb24(640, 480);
        c.spoil(mt);
        EXPECT_EQ(m_pin->SetFormat(&mt), VFW_E_INVALIDMEDIATYPE) << c.what;
        AM_MEDIA_TYPE* now = nullptr;
        ASSERT_EQ(m_pin->GetFormat(&now), S_OK);
        EXPECT_EQ(Vih(*now).bmiHeader.biWidth, 320) << c.what << ": the current type changed";
        DeleteMediaTypeCopy(now);
    }
    EXPECT_EQ(m_pin->SetFormat(nullptr), E_POINTER);
}

TEST_F(FilterFixture, PinCategoryIsCapture)
{
    GUID category = GUID_NULL;
    DWORD returned = 0;
    EXPECT_EQ(m_pin->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category, sizeof(category), &returned), S_OK);
    EXPECT_EQ(category, PIN_CATEGORY_CAPTURE);
    EXPECT_EQ(returned, sizeof(GUID));
    EXPECT_EQ(m_pin->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category, 8, &returned), E_UNEXPECTED);
    EXPECT_EQ(m_pin->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, nullptr, 0, nullptr), E_POINTER);
    returned = 0;
    EXPECT_EQ(m_pin->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, nullptr, 0, &returned), S_OK);
    EXPECT_EQ(returned, sizeof(GUID));
    EXPECT_EQ(m_pin->Get(PIN_CATEGORY_CAPTURE, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category, 16, &returned),
              E_PROP_SET_UNSUPPORTED);
    EXPECT_EQ(m_pin->Get(AMPROPSETID_Pin, 7, nullptr, 0, &category, 16, &returned), E_PROP_ID_UNSUPPORTED);
    DWORD support = 0;
    EXPECT_EQ(m_pin->QuerySupported(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, &support), S_OK);
    EXPECT_EQ(support, DWORD(KSPROPERTY_SUPPORT_GET));
    EXPECT_EQ(m_pin->Set(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category, 16), E_NOTIMPL);
}

TEST_F(FilterFixture, FilterPassesCaptureInterfacesToThePinButNotTheProbe)
{
    IUnknown* filter = m_filter->GetOwner();
    for (const IID* iid : {&IID_IAMStreamConfig, &IID_IKsPropertySet, &IID_IVirtualCamFrameSync,
                           &IID_IVirtualCamSmoothState, &IID_IVirtualCamFrameRate, &IID_IVirtualCamResize}) {
        IUnknown* answer = nullptr;
        ASSERT_EQ(filter->QueryInterface(*iid, reinterpret_cast<void**>(&answer)), S_OK);
        answer->Release();
    }
    IUnknown* probe = nullptr;
    EXPECT_EQ(filter->QueryInterface(IID_IVirtualCamProbe, reinterpret_cast<void**>(&probe)), E_NOINTERFACE);
    ASSERT_EQ(m_pin->QueryInterface(IID_IVirtualCamProbe, reinterpret_cast<void**>(&probe)), S_OK);
    probe->Release();
    BYTE enabled = 0;
    EXPECT_EQ(m_pin->EnableFrameSync(&enabled), S_OK);
    EXPECT_EQ(enabled, 1);
    BYTE smoothed = 7;
    EXPECT_EQ(m_pin->GetSmoothFlag(&smoothed), S_OK);
    EXPECT_EQ(smoothed, 0);
}

TEST_F(FilterFixture, CropAndScaleCutsTheExcessEvenlyBeforeScaling)
{
    struct Case { int width, height, cropWidth, cropHeight; };
    // 352 x 288 from 480 x 360: 20 columns off each side; 480 x 272: 44 rows off top and bottom.
    for (const Case c : {Case{352, 288, 440, 360}, Case{480, 272, 480, 272}, Case{200, 200, 360, 360}}) {
        std::vector<uint8_t> source = vcamtest::MakeGradient(480, 360);
        std::vector<uint8_t> work = source;
        std::vector<uint8_t> out(size_t(c.width) * c.height * 3);
        ASSERT_TRUE(m_pin->CropAndScale(work.data(), 480, 360, out.data(), c.width, c.height));
        const auto reference = vcamtest::ReferenceScale(vcamtest::Crop(source, 480, 360, c.cropWidth, c.cropHeight),
                                                        c.cropWidth, c.cropHeight, c.width, c.height);
        const auto d = vcamtest::Compare(out.data(), size_t(c.width) * 3, reference, c.width, c.height);
        EXPECT_LE(d.mean, vcamtest::kMeanTolerance) << c.width << "x" << c.height;
        EXPECT_LE(d.max, vcamtest::kMaxTolerance) << c.width << "x" << c.height;
    }
}

TEST_F(FilterFixture, ResizeStepsWritePaddedRowsAndNeverPastTheSample)
{
    const std::vector<ResizeStep> steps = {{640, 480}, {250, 200}};
    ASSERT_EQ(m_pin->SetResizeSteps(&steps), S_OK);
    const std::vector<uint8_t> source = vcamtest::MakeGradient(320, 240);
    const size_t stride = vcamtest::Stride(250);  // 752: two bytes of padding a row
    std::vector<uint8_t> sample(stride * 200 + 16, 0xAB);
    ASSERT_TRUE(m_pin->ResizeFrame(source.data(), 320, 240, sample.data(), stride * 200));
    LONG width = 0, height = 0;
    m_pin->GetTargetSize(&width, &height);
    EXPECT_EQ(width, 250);
    EXPECT_EQ(height, 200);
    for (int row = 0; row < 200; ++row)
        ASSERT_EQ(sample[row * stride + 750] | sample[row * stride + 751], 0) << "padding of row " << row;
    for (size_t i = stride * 200; i < sample.size(); ++i)
        ASSERT_EQ(sample[i], 0xAB) << "written past the sample";
    // 320x240 -> 640x480, then 20 columns off each side -> 250x200.
    const auto doubled = vcamtest::ReferenceScale(source, 320, 240, 640, 480);
    const auto reference = vcamtest::ReferenceScale(vcamtest::Crop(doubled, 640, 480, 600, 480), 600, 480, 250, 200);
    const auto d = vcamtest::Compare(sample.data(), stride, reference, 250, 200);
    // Two scalings in a row: the fast scaler's doubling strays further from
    // the reference than one scaling does, a misplaced crop much further.
    EXPECT_LE(d.mean, 2 * vcamtest::kMeanTolerance);

    std::vector<uint8_t> small(stride * 100, 0xCD);
    EXPECT_FALSE(m_pin->ResizeFrame(source.data(), 320, 240, small.data(), small.size()));
    EXPECT_EQ(small[0], 0xCD);
}

TEST_F(FilterFixture, ResizeStepsOutsideTheWorkBuffersAreRefused)
{
    const std::vector<ResizeStep> good = {{320, 240}};
    ASSERT_EQ(m_pin->SetResizeSteps(&good), S_OK);
    for (const ResizeStep bad : {ResizeStep{0, 240}, ResizeStep{640, -1}, ResizeStep{1280, 720}, ResizeStep{100000, 100000}}) {
        const std::vector<ResizeStep> steps = {{640, 480}, bad};
        EXPECT_EQ(m_pin->SetResizeSteps(&steps), E_INVALIDARG) << bad.width << "x" << bad.height;
    }
    EXPECT_EQ(m_pin->SetResizeSteps(nullptr), E_POINTER);
}

// The consumer reads the connection's type: with no downstream pin to take a
// new type, whatever the sample buffer's size suggests, pictures go out at
// the connected 320 x 240.
TEST_F(FilterFixture, SampleBufferSizeNeverChangesTheConnectedSize)
{
    const long cases[] = {640 * 480 * 3, 800 * 600 * 3, 80 * 60 * 3, 12345, 320 * 240 * 3};
    for (const long bufferSize : cases) {
        m_pin->GuessSizeFromSample(bufferSize);
        int width = 0, height = 0;
        m_pin->NegotiatedSize(width, height);
        EXPECT_EQ(width, 320) << bufferSize;
        EXPECT_EQ(height, 240) << bufferSize;
    }
}

} // namespace
