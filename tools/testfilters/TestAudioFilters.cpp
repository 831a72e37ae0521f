// Test-only stand-ins for three other vendors' sound filters that the music
// players build into their graphs by class id, so that their connections can
// be proven where the real ones are absent:
//   an ADTS source under the Mpa Source id (output pin "Audio", one sample
//     per ADTS frame, IFileSourceFilter);
//   a silence decoder under the MPC MPA decoder id (pins "In" and "Out": MPEG
//     or AAC audio in, as much PCM silence as each input sample lasts out);
//   a pass-through under the AC3 Filter id (pins "In" and "Out": PCM in, the
//     same PCM out).
// Registered only by tests, in their own Wine prefix, with no filter-mapper
// entry: DirectShow never picks them by itself.
#include "TestFilterBase.h"
#include "TestMediaFilters.h"

#include <mmreg.h>
#include <uuids.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

const CLSID kMpaSource = {0x59A0DB73, 0x0287, 0x4C9A, {0x9D, 0x3C, 0x8C, 0xFF, 0x39, 0xF8, 0xE5, 0xDB}};
const CLSID kMpcMpaDecoder = {0x3D446B6F, 0x71DE, 0x4437, {0xBE, 0x15, 0x8C, 0xE4, 0x71, 0x74, 0x34, 0x0F}};
const CLSID kAc3Filter = {0xA753A1EC, 0x973E, 0x4718, {0xAF, 0x8E, 0xA3, 0xF5, 0x54, 0xD4, 0x5C, 0x44}};
// WAVE_FORMAT_MPEG_ADTS_AAC (0x1600) as a subtype.
const GUID kSubtypeAdtsAac = {0x00001600, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

HMODULE g_module = nullptr;

AM_MEDIA_TYPE WaveType(const GUID& subtype, WORD tag, DWORD rate, WORD channels, WORD bits)
{
    AM_MEDIA_TYPE type = {};
    type.majortype = MEDIATYPE_Audio;
    type.subtype = subtype;
    type.formattype = FORMAT_WaveFormatEx;
    type.bFixedSizeSamples = subtype == MEDIASUBTYPE_PCM;
    type.cbFormat = sizeof(WAVEFORMATEX);
    auto* format = static_cast<WAVEFORMATEX*>(CoTaskMemAlloc(sizeof(WAVEFORMATEX)));
    *format = WAVEFORMATEX();
    format->wFormatTag = tag;
    format->nChannels = channels;
    format->nSamplesPerSec = rate;
    format->wBitsPerSample = bits;
    format->nBlockAlign = WORD(bits ? channels * bits / 8 : 1);
    format->nAvgBytesPerSec = rate * format->nBlockAlign;
    type.pbFormat = reinterpret_cast<BYTE*>(format);
    type.lSampleSize = format->nBlockAlign;
    return type;
}

const WAVEFORMATEX* WaveFormatOf(const AM_MEDIA_TYPE& type)
{
    return type.formattype == FORMAT_WaveFormatEx && type.cbFormat >= sizeof(WAVEFORMATEX) && type.pbFormat
               ? reinterpret_cast<const WAVEFORMATEX*>(type.pbFormat)
               : nullptr;
}

// --- ADTS source -------------------------------------------------------------

struct AdtsFrame {
    size_t offset, size;
};

class CAdtsSource : public CTestFileSource {
public:
    CAdtsSource() : CTestFileSource(kMpaSource) { AddPin(new CTestPin(this, PINDIR_OUTPUT, L"Audio")); }
    ~CAdtsSource() override { OnInactive(); }

    HRESULT STDMETHODCALLTYPE Load(LPCOLESTR fileName, const AM_MEDIA_TYPE*) override
    {
        std::ifstream in(fileName, std::ios::binary);
        if (!in)
            return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
        m_bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        static const DWORD rates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025, 8000, 7350};
        m_frames.clear();
        for (size_t at = 0; at + 7 <= m_bytes.size();) {
            const auto* b = reinterpret_cast<const unsigned char*>(m_bytes.data() + at);
            if (b[0] != 0xFF || (b[1] & 0xF6) != 0xF0)
                break;
            const size_t length = (size_t(b[3] & 3) << 11) | (size_t(b[4]) << 3) | (b[5] >> 5);
            const unsigned rateIndex = (b[2] >> 2) & 15;
            if (length < 7 || at + length > m_bytes.size() || rateIndex >= 13)
                break;
            if (m_frames.empty()) {
                m_rate = rates[rateIndex];
                m_channels = WORD(((b[2] & 1) << 2) | (b[3] >> 6));
            }
            m_frames.push_back({at, length});
            at += length;
        }
        if (m_frames.empty())
            return VFW_E_INVALID_FILE_FORMAT;
        m_fileName = fileName;
        return S_OK;
    }

    bool Accepts(CTestPin*, const AM_MEDIA_TYPE&) override { return false; }
    std::vector<AM_MEDIA_TYPE> Offers(CTestPin*) override
    {
        if (m_frames.empty())
            return {};
        return {WaveType(kSubtypeAdtsAac, 0x1600, m_rate, m_channels ? m_channels : 2, 0)};
    }
    void OnActive() override
    {
        m_stop = false;
        AddRef();  // the streaming thread's
        m_thread = CreateThread(nullptr, 0, &CAdtsSource::StreamThread, this, 0, nullptr);
        if (!m_thread)
            Release();
    }
    void OnInactive() override
    {
        m_stop = true;
        if (m_thread) {
            WaitForSingleObject(m_thread, INFINITE);
            CloseHandle(m_thread);
            m_thread = nullptr;
        }
    }

private:
    static DWORD WINAPI StreamThread(void* self)
    {
        auto* source = static_cast<CAdtsSource*>(self);
        source->Stream();
        source->Release();
        return 0;
    }
    void Stream()
    {
        CTestPin* out = OutputPin();
        out->NewSegment(0, REFERENCE_TIME(m_frames.size()) * 1024 * 10000000 / m_rate, 1.0);
        for (size_t i = 0; i < m_frames.size() && !m_stop; ++i) {
            REFERENCE_TIME start = REFERENCE_TIME(i) * 1024 * 10000000 / m_rate;
            REFERENCE_TIME stop = REFERENCE_TIME(i + 1) * 1024 * 10000000 / m_rate;
            if (out->DeliverCopy(m_bytes.data() + m_frames[i].offset, long(m_frames[i].size), &start, &stop, true,
                                 i == 0) != S_OK)
                return;
        }
        if (!m_stop)
            out->DeliverEndOfStream();
    }

    std::string m_bytes;
    std::vector<AdtsFrame> m_frames;
    DWORD m_rate = 44100;
    WORD m_channels = 2;
    HANDLE m_thread = nullptr;
    std::atomic<bool> m_stop{false};
};

// --- silence decoder -------------------------------------------------------------

class CSilenceDecoder : public CTestFilter {
public:
    CSilenceDecoder() : CTestFilter(kMpcMpaDecoder)
    {
        AddPin(new CTestPin(this, PINDIR_INPUT, L"In"));
        AddPin(new CTestPin(this, PINDIR_OUTPUT, L"Out"));
        OutputPin()->bufferSize = 65536;
    }
    bool Accepts(CTestPin* pin, const AM_MEDIA_TYPE& type) override
    {
        if (pin->Direction() != PINDIR_INPUT)
            return false;
        return type.majortype == MEDIATYPE_Audio && type.subtype != MEDIASUBTYPE_PCM;
    }
    std::vector<AM_MEDIA_TYPE> Offers(CTestPin* pin) override
    {
        if (pin->Direction() != PINDIR_OUTPUT || !InputPin()->IsConnected())
            return {};
        const WAVEFORMATEX* in = WaveFormatOf(InputPin()->Type());
        return {WaveType(MEDIASUBTYPE_PCM, WAVE_FORMAT_PCM, in && in->nSamplesPerSec ? in->nSamplesPerSec : 44100,
                         WORD(in && in->nChannels ? in->nChannels : 2), 16)};
    }
    void OnActive() override { m_nextStart = 0; }
    HRESULT OnReceive(CTestPin*, IMediaSample* input) override
    {
        CTestPin* out = OutputPin();
        const WAVEFORMATEX* format = WaveFormatOf(out->Type());
        if (!format)
            return VFW_E_NOT_CONNECTED;
        // As long as the input sample lasts: its times, else one frame of its kind.
        REFERENCE_TIME start = 0, stop = 0;
        const bool timed = SUCCEEDED(input->GetTime(&start, &stop)) && stop > start;
        if (!timed) {
            const long frameSamples = InputPin()->Type().subtype == kSubtypeAdtsAac ? 1024 : 1152;
            start = m_nextStart;
            stop = start + REFERENCE_TIME(frameSamples) * 10000000 / format->nSamplesPerSec;
        }
        m_nextStart = stop;
        long bytes = long((stop - start) * format->nAvgBytesPerSec / 10000000);
        bytes -= bytes % format->nBlockAlign;
        while (bytes > 0) {
            IMediaSample* sample = nullptr;
            HRESULT hr = out->GetDeliveryBuffer(&sample);
            if (FAILED(hr) || !sample)
                return hr;
            BYTE* data = nullptr;
            sample->GetPointer(&data);
            long size = std::min(bytes, sample->GetSize());
            size -= size % format->nBlockAlign;
            memset(data, 0, size_t(size));
            sample->SetActualDataLength(size);
            REFERENCE_TIME partStop = start + REFERENCE_TIME(size) * 10000000 / format->nAvgBytesPerSec;
            sample->SetTime(&start, &partStop);
            sample->SetSyncPoint(TRUE);
            hr = out->Deliver(sample);
            sample->Release();
            if (hr != S_OK)
                return hr;
            start = partStop;
            bytes -= size;
        }
        return S_OK;
    }
private:
    REFERENCE_TIME m_nextStart = 0;
};

// --- pass-through ----------------------------------------------------------------

class CPassThrough : public CTestFilter {
public:
    CPassThrough() : CTestFilter(kAc3Filter)
    {
        AddPin(new CTestPin(this, PINDIR_INPUT, L"In"));
        AddPin(new CTestPin(this, PINDIR_OUTPUT, L"Out"));
    }
    bool Accepts(CTestPin* pin, const AM_MEDIA_TYPE& type) override
    {
        return pin->Direction() == PINDIR_INPUT && type.majortype == MEDIATYPE_Audio && type.subtype == MEDIASUBTYPE_PCM;
    }
    std::vector<AM_MEDIA_TYPE> Offers(CTestPin* pin) override
    {
        if (pin->Direction() != PINDIR_OUTPUT || !InputPin()->IsConnected())
            return {};
        AM_MEDIA_TYPE type;
        CopyType(type, InputPin()->Type());
        return {type};
    }
    HRESULT OnReceive(CTestPin*, IMediaSample* input) override
    {
        BYTE* from = nullptr;
        input->GetPointer(&from);
        REFERENCE_TIME start = 0, stop = 0;
        const bool timed = SUCCEEDED(input->GetTime(&start, &stop));
        return OutputPin()->DeliverCopy(from, input->GetActualDataLength(), timed ? &start : nullptr,
                                        timed ? &stop : nullptr, input->IsSyncPoint() == S_OK, false);
    }
};

// --- COM server ---------------------------------------------------------------------
// It serves these three and the media-file stand-ins of TestMediaFilters.cpp.

struct FilterClass {
    const CLSID* clsid;
    const wchar_t* name;
    IBaseFilter* (*make)();
};
const FilterClass kClasses[] = {
    {&kMpaSource, L"Mpa Source (test ADTS source)", [] { return static_cast<IBaseFilter*>(new CAdtsSource); }},
    {&kMpcMpaDecoder, L"MPC MPA Decoder (test silence decoder)", [] { return static_cast<IBaseFilter*>(new CSilenceDecoder); }},
    {&kAc3Filter, L"AC3 Filter (test pass-through)", [] { return static_cast<IBaseFilter*>(new CPassThrough); }},
    {&LavSourceClsid(), L"LAV Splitter Source (test raw AVI source)", &MakeRawAviSource},
    {&LavVideoDecoderClsid(), L"LAV Video Decoder (test raw picture pass-through)", &MakeRawVideoDecoder},
    {&LavAudioDecoderClsid(), L"LAV Audio Decoder (test PCM pass-through)", &MakePcmDecoder},
};

class CFactory : public IClassFactory {
public:
    explicit CFactory(const FilterClass& cls) : m_class(cls) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *ppv = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { ++g_testFilterObjects; return 2; }
    ULONG STDMETHODCALLTYPE Release() override { --g_testFilterObjects; return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override
    {
        if (outer)
            return CLASS_E_NOAGGREGATION;
        IBaseFilter* filter = m_class.make();
        const HRESULT hr = filter->QueryInterface(riid, ppv);
        filter->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override
    {
        lock ? ++g_testFilterObjects : --g_testFilterObjects;
        return S_OK;
    }
private:
    const FilterClass& m_class;
};
CFactory g_factories[] = {CFactory(kClasses[0]), CFactory(kClasses[1]), CFactory(kClasses[2]),
                          CFactory(kClasses[3]), CFactory(kClasses[4]), CFactory(kClasses[5])};
static_assert(sizeof g_factories / sizeof g_factories[0] == sizeof kClasses / sizeof kClasses[0], "a factory per class");

std::wstring ClsidText(const CLSID& clsid)
{
    wchar_t text[64];
    StringFromGUID2(clsid, text, 64);
    return text;
}

} // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv)
{
    for (size_t i = 0; i < sizeof kClasses / sizeof kClasses[0]; ++i)
        if (clsid == *kClasses[i].clsid)
            return g_factories[i].QueryInterface(riid, ppv);
    return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllCanUnloadNow()
{
    return g_testFilterObjects.load() == 0 ? S_OK : S_FALSE;
}

STDAPI DllRegisterServer()
{
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(g_module, path, MAX_PATH);
    for (const FilterClass& cls : kClasses) {
        const std::wstring key = L"CLSID\\" + ClsidText(*cls.clsid);
        HKEY clsidKey = nullptr, serverKey = nullptr;
        if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &clsidKey, nullptr))
            return SELFREG_E_CLASS;
        RegSetValueExW(clsidKey, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(cls.name),
                       DWORD((wcslen(cls.name) + 1) * sizeof(wchar_t)));
        if (RegCreateKeyExW(clsidKey, L"InprocServer32", 0, nullptr, 0, KEY_WRITE, nullptr, &serverKey, nullptr) == 0) {
            RegSetValueExW(serverKey, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path),
                           DWORD((wcslen(path) + 1) * sizeof(wchar_t)));
            RegSetValueExW(serverKey, L"ThreadingModel", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"Both"), sizeof L"Both");
            RegCloseKey(serverKey);
        }
        RegCloseKey(clsidKey);
    }
    return S_OK;
}

STDAPI DllUnregisterServer()
{
    for (const FilterClass& cls : kClasses)
        RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"CLSID\\" + ClsidText(*cls.clsid)).c_str());
    return S_OK;
}
